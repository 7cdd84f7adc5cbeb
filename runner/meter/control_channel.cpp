#include "runner/meter/control_channel.h"

#include <string>

#include "runner/diagnostics/native_log.h"
#include "runner/meter/run_guarded.h"
#include "runner/wide_to_utf8.h"

namespace meter_link {

using flutter::EncodableList;
using flutter::EncodableValue;

void HandleControlCall(const std::shared_ptr<Miernik>& meter,
                       const flutter::MethodCall<EncodableValue>& call,
                       std::unique_ptr<flutter::MethodResult<EncodableValue>> result) {
  const std::string name = call.method_name();
  LogMessage(("metoda: " + name).c_str());
  // Prepared before dispatch: what a failed action still answers.
  bool present = false;
  bool started = false;
  EncodableList names;
  if (name == "stan") {
    RunGuarded("stan", [&] { present = !meter->Platform().FindMeterPorts().empty(); });
    result->Success(EncodableValue(present));
  } else if (name == "start") {
    RunGuarded("start", [&] { started = meter->Start(); });
    result->Success(EncodableValue(started));
  } else if (name == "stop") {
    RunGuarded("stop", [&] { meter->Stop(); });
    result->Success(EncodableValue(true));
  } else if (name == "porty") {
    RunGuarded("porty", [&] {
      for (const MeterPort& port : meter->Platform().FindMeterPorts()) {
        names.emplace_back(WideToUtf8(port.name));
      }
    });
    LogMessage(("porty: widzę " + std::to_string(names.size())).c_str());
    result->Success(EncodableValue(names));
  } else {
    result->NotImplemented();
  }
}

}  // namespace meter_link
