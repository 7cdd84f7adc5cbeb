#pragma once

#include <memory>

#include "channels/encodable_value.h"
#include "channels/method_call.h"
#include "channels/method_result.h"
#include "runner/meter/miernik.h"

namespace meter_link {

// The channel of the meter's control methods.
constexpr char kControlChannelName[] = "lumerovantix/sonel_info";

// Answers one call of "stan", "start", "stop" or "porty" (anything else: not implemented). An
// exception inside an action is logged and the call still gets its prepared answer. Window
// thread.
void HandleControlCall(const std::shared_ptr<Miernik>& meter,
                       const flutter::MethodCall<flutter::EncodableValue>& call,
                       std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result);

}  // namespace meter_link
