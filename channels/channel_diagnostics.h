#pragma once

#include <string>

namespace flutter {

// Writes one diagnostic line of the channel layer to std::cerr, ends it and flushes.
void PrintChannelDiagnostic(const std::string& line);

}  // namespace flutter
