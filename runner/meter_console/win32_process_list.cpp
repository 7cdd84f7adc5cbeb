#include "runner/meter_console/win32_process_list.h"

#include <windows.h>

#include <tlhelp32.h>

#include "runner/win32_unique_handle.h"

namespace meter_console {

ProgramRunning IsProcessRunning(const wchar_t* exeName) {
  const UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return ProgramRunning::kUnknown;
  PROCESSENTRY32W process{};
  process.dwSize = sizeof process;
  for (BOOL more = Process32FirstW(snapshot.get(), &process); more;
       more = Process32NextW(snapshot.get(), &process)) {
    if (CompareStringOrdinal(process.szExeFile, -1, exeName, -1, TRUE) == CSTR_EQUAL)
      return ProgramRunning::kYes;
  }
  return ProgramRunning::kNo;
}

}  // namespace meter_console
