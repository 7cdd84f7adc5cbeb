#pragma once

#include <string>

#include "channels/channel_diagnostics.h"
#include "channels/handler_exception_guard.h"

namespace flutter {

// Runs a callback that the engine invoked through the C interface. An exception must not unwind
// into the engine, so it ends here as the line "Exception in <who>: <text>". Returns false when
// the callback threw.
template <typename Callback>
bool RunCallbackGuarded(const std::string& who, Callback&& callback) noexcept {
  try {
    callback();
    return true;
  } catch (...) {
    PrintChannelDiagnostic("Exception in " + who + ": " + CurrentExceptionText());
  }
  return false;
}

}  // namespace flutter
