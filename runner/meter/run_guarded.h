#pragma once

#include <functional>
#include <string>

namespace meter_link {

// Runs action and turns any exception it throws into one log line starting "WYJĄTEK w " followed
// by context; nothing is rethrown. Every channel action and every queued task runs under it, so no
// exception reaches the engine, the window procedure or a thread's end.
void RunGuarded(const std::string& context, const std::function<void()>& action);

}  // namespace meter_link
