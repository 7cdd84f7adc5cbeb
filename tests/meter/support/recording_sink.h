#pragma once

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/event_sink.h"

namespace meter_link {

// Events as the sink received them; shared between the sink (owned by the meter) and the test.
class RecordedEvents {
 public:
  void Add(const flutter::EncodableValue& event) {
    std::lock_guard<std::mutex> lock(mutex);
    events.push_back(event);
  }
  std::vector<flutter::EncodableValue> All() {
    std::lock_guard<std::mutex> lock(mutex);
    return events;
  }
  // The "typ" of every event, in order ("?" for an event that is not a map with a string "typ").
  std::vector<std::string> Kinds() {
    std::vector<std::string> kinds;
    for (const flutter::EncodableValue& event : All()) kinds.push_back(KindOf(event));
    return kinds;
  }
  // The maps of the events of one kind, in order.
  std::vector<flutter::EncodableMap> OfKind(const std::string& kind) {
    std::vector<flutter::EncodableMap> maps;
    for (const flutter::EncodableValue& event : All()) {
      if (KindOf(event) == kind) maps.push_back(std::get<flutter::EncodableMap>(event));
    }
    return maps;
  }
  static std::string KindOf(const flutter::EncodableValue& event) {
    const auto* map = std::get_if<flutter::EncodableMap>(&event);
    if (map == nullptr) return "?";
    const auto found = map->find(flutter::EncodableValue("typ"));
    const auto* kind = found == map->end() ? nullptr : std::get_if<std::string>(&found->second);
    return kind == nullptr ? "?" : *kind;
  }

 private:
  std::mutex mutex;
  std::vector<flutter::EncodableValue> events;
};

// Reads one entry of an event map; throws when it is missing or of another type.
template <typename T>
const T& Field(const flutter::EncodableMap& map, const char* key) {
  const auto found = map.find(flutter::EncodableValue(key));
  if (found == map.end()) throw std::out_of_range(std::string("no key ") + key);
  return std::get<T>(found->second);
}

// The event sink of the tests: records every event; can be told to throw at one call instead.
class RecordingSink final : public flutter::EventSink<flutter::EncodableValue> {
 public:
  explicit RecordingSink(std::shared_ptr<RecordedEvents> events, int throwOnCall = 0)
      : events(std::move(events)), throwOnCall(throwOnCall) {}

 protected:
  void SuccessInternal(const flutter::EncodableValue* event) override {
    if (++calls == throwOnCall) throw std::runtime_error("sink zepsuty");
    events->Add(event != nullptr ? *event : flutter::EncodableValue());
  }
  void ErrorInternal(const std::string&, const std::string&,
                     const flutter::EncodableValue*) override {
    events->Add(flutter::EncodableValue("unexpected Error"));
  }
  void EndOfStreamInternal() override { events->Add(flutter::EncodableValue("unexpected End")); }

 private:
  std::shared_ptr<RecordedEvents> events;
  int throwOnCall;
  int calls = 0;
};

}  // namespace meter_link
