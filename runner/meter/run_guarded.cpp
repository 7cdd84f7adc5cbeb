#include "runner/meter/run_guarded.h"

#include <exception>

#include "runner/diagnostics/native_log.h"

namespace meter_link {

void RunGuarded(const std::string& context, const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    LogMessage(("WYJĄTEK w " + context + ": " + error.what()).c_str());
  } catch (...) {
    // The one deliberate catch-all: whatever a task throws must end here, logged.
    LogMessage(("WYJĄTEK w " + context + " (nieznany typ)").c_str());
  }
}

}  // namespace meter_link
