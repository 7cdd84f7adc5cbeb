// Event delivery of the meter: the Emit operations and PostState run on any thread and only queue
// a task; DeliverEvent and SendState are those tasks' bodies on the UI thread.

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/event_sink.h"
#include "runner/diagnostics/native_log.h"
#include "runner/meter/miernik.h"
#include "runner/meter/ui_task_queue.h"

namespace meter_link {

using flutter::EncodableMap;
using flutter::EncodableValue;

void Miernik::EmitMap(EncodableMap map) {
  std::shared_ptr<Miernik> self = shared_from_this();
  LogMessage("emisja: zlecę zadanie");
  PostToUiThread([self = std::move(self), map = std::move(map)] {
    RunGuarded("emisja", [&] { self->DeliverEvent(map); });
  });
  LogMessage("emisja: zadanie zlecone");
}

void Miernik::PostState() {
  std::shared_ptr<Miernik> self = shared_from_this();
  LogMessage("stan: zlecę zadanie");
  PostToUiThread([self = std::move(self)] { RunGuarded("stan", [&] { self->SendState(); }); });
  LogMessage("stan: zadanie zlecone");
}

void Miernik::EmitReading(const MeterReading& reading) {
  EmitMap(EncodableMap{
      {EncodableValue(std::string("typ")), EncodableValue(std::string("pomiar"))},
      {EncodableValue(std::string("lux")), EncodableValue(reading.lux)},
      {EncodableValue(std::string("raw")), EncodableValue(int32_t{reading.raw})},
      {EncodableValue(std::string("kod")), EncodableValue(int32_t{reading.rangeCode})},
      {EncodableValue(std::string("zakres")), EncodableValue(reading.rangeLabel)},
      {EncodableValue(std::string("ol")), EncodableValue(reading.overload)},
      {EncodableValue(std::string("nr")), EncodableValue(int32_t{reading.nr})},
      {EncodableValue(std::string("t")), EncodableValue(int64_t{platform.WallClockMilliseconds()})},
  });
}

void Miernik::EmitText(const std::string& text) {
  EmitMap(EncodableMap{
      {EncodableValue(std::string("typ")), EncodableValue(std::string("blad"))},
      {EncodableValue(std::string("tekst")), EncodableValue(text)},
  });
}

void Miernik::DeliverEvent(const EncodableMap& map) {
  std::lock_guard<std::mutex> lock(sinkMutex);
  if (!sink) {
    LogMessage("emisja: sink odpięty, pomijam");
    return;
  }
  LogMessage("emisja: Send");
  sink->Success(EncodableValue(map));
  LogMessage("emisja: Send OK");
}

void Miernik::SendState() {
  LogMessage("stan: liczę porty");
  // Counted before the lock: the device enumeration never runs under sinkMutex.
  const bool present = !platform.FindMeterPorts().empty();
  LogMessage(present ? "stan: port widoczny" : "stan: brak portu");
  std::lock_guard<std::mutex> lock(sinkMutex);
  if (!sink) {
    LogMessage("stan: sink odpięty, pomijam");
    return;
  }
  LogMessage("stan: Send");
  sink->Success(EncodableValue(EncodableMap{
      {EncodableValue(std::string("typ")), EncodableValue(std::string("stan"))},
      {EncodableValue(std::string("podlaczony")), EncodableValue(present)},
  }));
  LogMessage("stan: Send OK");
}

}  // namespace meter_link
