#pragma once

#include <variant>

#include "channels/encodable_value.h"

namespace meter_console {

// One entry of a meter event map, or fallback when it is missing or of another type.
template <typename T>
T FieldOr(const flutter::EncodableMap& event, const char* key, T fallback) {
  const auto found = event.find(flutter::EncodableValue(key));
  if (found == event.end()) return fallback;
  const T* value = std::get_if<T>(&found->second);
  return value != nullptr ? *value : fallback;
}

}  // namespace meter_console
