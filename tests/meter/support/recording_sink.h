#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/event_sink.h"

namespace meter_link {

// Reads one entry of an event map; throws when it is missing or of another type.
template <typename T>
const T& Field(const flutter::EncodableMap& map, const char* key) {
  const auto found = map.find(flutter::EncodableValue(key));
  if (found == map.end()) throw std::out_of_range(std::string("no key ") + key);
  return std::get<T>(found->second);
}

// Events as the sink received them (anything but a map as an empty map); shared between the
// sink, which the meter owns, and the test.
class RecordedEvents {
 public:
  std::function<void(const flutter::EncodableMap&)> onAdd;  // called first, on the sink's thread

  void Add(const flutter::EncodableValue* event) {
    const auto* map = event != nullptr ? std::get_if<flutter::EncodableMap>(event) : nullptr;
    if (onAdd && map != nullptr) onAdd(*map);
    std::lock_guard<std::mutex> lock(mutex);
    maps.push_back(map != nullptr ? *map : flutter::EncodableMap());
  }
  std::vector<flutter::EncodableMap> Maps() {
    std::lock_guard<std::mutex> lock(mutex);
    return maps;
  }
  std::vector<std::string> Kinds() {  // the "typ" of every event, "?" where there is none
    std::vector<std::string> kinds;
    for (const auto& map : Maps()) kinds.push_back(KindOf(map));
    return kinds;
  }
  std::vector<flutter::EncodableMap> OfKind(const std::string& kind) {
    std::vector<flutter::EncodableMap> found;
    for (const auto& map : Maps()) {
      if (KindOf(map) == kind) found.push_back(map);
    }
    return found;
  }
  static std::string KindOf(const flutter::EncodableMap& map) {
    const auto found = map.find(flutter::EncodableValue("typ"));
    const auto* kind = found == map.end() ? nullptr : std::get_if<std::string>(&found->second);
    return kind == nullptr ? "?" : *kind;
  }

 private:
  std::mutex mutex;
  std::vector<flutter::EncodableMap> maps;
};

// The event sink of the tests: records every event; can be told to throw at one call instead.
class RecordingSink final : public flutter::EventSink<flutter::EncodableValue> {
 public:
  explicit RecordingSink(std::shared_ptr<RecordedEvents> events, int throwOnCall = 0)
      : events(std::move(events)), throwOnCall(throwOnCall) {}

 protected:
  void SuccessInternal(const flutter::EncodableValue* event) override {
    if (++calls == throwOnCall) throw std::runtime_error("sink zepsuty");
    events->Add(event);
  }
  void ErrorInternal(const std::string&, const std::string&,
                     const flutter::EncodableValue*) override {
    events->Add(nullptr);  // the meter never sends errors: an event without a kind
  }
  void EndOfStreamInternal() override { events->Add(nullptr); }

 private:
  std::shared_ptr<RecordedEvents> events;
  int throwOnCall;
  int calls = 0;
};

}  // namespace meter_link
