#pragma once

#include <string>
#include <vector>

namespace meter_console {

// What "lumero-meter --help" prints, one line per entry.
std::vector<std::string> HelpLines();

}  // namespace meter_console
