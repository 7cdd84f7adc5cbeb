#include "runner/meter_console/win32_ports_command.h"

#include <string>
#include <vector>

#include "runner/meter/meter_ports.h"
#include "runner/meter_console/console_exit_codes.h"
#include "runner/meter_console/port_line.h"
#include "runner/wide_to_utf8.h"

namespace meter_console {

int RunPortsCommand(ConsoleOutput& output) {
  const std::vector<meter_link::MeterPort> ports = meter_link::FindMeterPorts();
  if (ports.empty()) {
    output.Err("Nie widzę miernika Sonel na USB");
    return kExitNoCable;
  }
  for (size_t i = 0; i < ports.size(); ++i) {
    output.Out(PortLine(WideToUtf8(ports[i].name), WideToUtf8(ports[i].path), i == 0));
  }
  return kExitOk;
}

}  // namespace meter_console
