#include "tools/endurance/wine/process_figures.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>

namespace endurance {
namespace {

// The layout of SystemExtendedHandleInformation (class 64) of NtQuerySystemInformation.
struct HandleEntry {
  void* object;
  ULONG_PTR processId;
  ULONG_PTR handle;
  ULONG access;
  USHORT creatorBackTrace;
  USHORT type;
  ULONG attributes;
  ULONG reserved;
};
struct HandleTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntry entries[1];
};
constexpr ULONG kExtendedHandleInformation = 64;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004L);

DWORD CountOwnHandles() {
  using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return 0;
  std::vector<char> buffer(1 << 16);
  LONG status;
  ULONG length = 0;
  while ((status = query(kExtendedHandleInformation, buffer.data(),
                         static_cast<ULONG>(buffer.size()), &length)) == kInfoLengthMismatch)
    buffer.resize(buffer.size() * 2);
  if (status != 0) return 0;
  const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
  DWORD own = 0;
  for (ULONG_PTR i = 0; i < table->count; ++i)
    own += table->entries[i].processId == GetCurrentProcessId();
  return own;
}

template <typename T>
double MeanOfTenth(const std::vector<T>& values, size_t tenth) {
  const size_t from = values.size() * tenth / 10, to = values.size() * (tenth + 1) / 10;
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(values[i]);
  return to > from ? sum / static_cast<double>(to - from) : 0;
}

}  // namespace

ProcessFigures ReadProcessFigures() {
  ProcessFigures figures;
  figures.handles = CountOwnHandles();
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                           sizeof memory))
    figures.privateBytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
  return figures;
}

bool ReportFlat(const std::vector<ProcessFigures>& cycles) {
  std::vector<double> handles, bytes;
  for (const ProcessFigures& figures : cycles) {
    handles.push_back(figures.handles);
    bytes.push_back(static_cast<double>(figures.privateBytes));
  }
  const double handlesSecond = MeanOfTenth(handles, 1), handlesLast = MeanOfTenth(handles, 9);
  const double bytesSecond = MeanOfTenth(bytes, 1), bytesLast = MeanOfTenth(bytes, 9);
  const double growth = bytesSecond > 0 ? 100.0 * (bytesLast / bytesSecond - 1) : 0;
  const bool handlesFlat = handlesSecond > 0 && handlesLast == handlesSecond;
  const bool bytesFlat = bytesSecond > 0 && growth <= 1.0;
  std::printf("handles: mean %.1f in the second tenth, %.1f in the last (min %.0f, max %.0f): %s\n",
              handlesSecond, handlesLast, *std::min_element(handles.begin(), handles.end()),
              *std::max_element(handles.begin(), handles.end()), handlesFlat ? "flat" : "GREW");
  std::printf(
      "private bytes: mean %.0f KiB in the second tenth, %.0f KiB in the last (%+.2f %%): %s\n",
      bytesSecond / 1024, bytesLast / 1024, growth, bytesFlat ? "flat" : "GREW");
  return handlesFlat && bytesFlat;
}

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

}  // namespace endurance
