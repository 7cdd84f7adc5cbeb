#include "runner/meter_console/port_line.h"

namespace meter_console {

std::string PortLine(const std::string& name, const std::string& path, bool first) {
  return name + "  " + path + (first ? "  (tego portu użyje program)" : "");
}

}  // namespace meter_console
