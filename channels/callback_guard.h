#pragma once

#include <exception>
#include <iostream>
#include <string>

namespace flutter {

// Writes one line to standard error and flushes it.
inline void WriteErrorLine(const std::string& line) { std::cerr << line << std::endl; }

// Runs a callback that the engine invoked through the C interface. An exception must not unwind
// into the engine, so it ends here as the line "Error: <who> threw an exception: <text>".
// Returns false when the callback threw.
template <typename Callback>
bool RunCallbackGuarded(const std::string& who, Callback&& callback) noexcept {
  try {
    callback();
    return true;
  } catch (const std::exception& error) {
    WriteErrorLine("Error: " + who + " threw an exception: " + error.what());
  } catch (...) {
    WriteErrorLine("Error: " + who + " threw an exception: unknown exception");
  }
  return false;
}

}  // namespace flutter
