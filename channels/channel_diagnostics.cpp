#include "channels/channel_diagnostics.h"

#include <iostream>

namespace flutter {

void PrintChannelDiagnostic(const std::string& line) {
  // One write per line keeps lines whole when threads report at once.
  std::string text = line;
  text.push_back('\n');
  std::cerr.write(text.data(), static_cast<std::streamsize>(text.size()));
  std::cerr.flush();
}

}  // namespace flutter
