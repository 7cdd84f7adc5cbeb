// lumero-meter.exe: the meter console tool for field support (console subsystem).
#include "runner/meter_console/win32_console_output.h"
#include "runner/meter_console/win32_meter_console.h"
#include "runner/win32_command_line.h"

int main() {
  // The arguments from the wide command line, as the program itself reads them.
  meter_console::Win32ConsoleOutput output;
  return meter_console::RunMeterConsole(CommandLineArgs(), output);
}
