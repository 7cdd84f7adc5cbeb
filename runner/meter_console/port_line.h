#pragma once

#include <string>

namespace meter_console {

// One cable as "ports" lists it: "COM7  \\.\COM7", the first marked "(tego portu użyje program)"
// since the program's start takes the first port found and ignores the others.
std::string PortLine(const std::string& name, const std::string& path, bool first);

}  // namespace meter_console
