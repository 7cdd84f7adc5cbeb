#include "tools/endurance/day/day_sink.h"

namespace endurance {

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

// The entry under key if it holds a T, else null.
template <typename T>
const T* Entry(const EncodableMap& map, const char* key) {
  const auto found = map.find(EncodableValue(key));
  return found == map.end() ? nullptr : std::get_if<T>(&found->second);
}

}  // namespace

void DaySink::SuccessInternal(const EncodableValue* event) {
  const auto* map = event != nullptr ? std::get_if<EncodableMap>(event) : nullptr;
  const auto* kind = map != nullptr ? Entry<std::string>(*map, "typ") : nullptr;
  if (kind == nullptr) {
    ledger.SawOther();
  } else if (*kind == "pomiar") {
    const auto* raw = Entry<int32_t>(*map, "raw");
    const auto* code = Entry<int32_t>(*map, "kod");
    const auto* overload = Entry<bool>(*map, "ol");
    const auto* nr = Entry<int32_t>(*map, "nr");
    if (raw == nullptr || code == nullptr || overload == nullptr || nr == nullptr) {
      ledger.SawOther();
    } else {
      ledger.SawReading({*raw, *code, *overload, *nr});
    }
  } else if (*kind == "brak") {
    ledger.SawSilence();
  } else if (*kind == "blad") {
    const auto* text = Entry<std::string>(*map, "tekst");
    ledger.SawError(text != nullptr ? *text : std::string());
  } else if (*kind == "stan") {
    ledger.SawState();
  } else {
    ledger.SawOther();
  }
}

}  // namespace endurance
