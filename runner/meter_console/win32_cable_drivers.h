#pragma once

#include <map>
#include <string>

namespace meter_console {

// The driver version ("DriverVersion" of the driver's key) of every present port, by its port
// name (COM7). Ports whose driver key says nothing are missing.
std::map<std::wstring, std::wstring> PortDriverVersions();

}  // namespace meter_console
