#include "tools/stand_in_engine/view_model.h"

#include "tools/stand_in_engine/wire_value.h"

namespace stand_in {
namespace {

constexpr char kMeterEvents[] = "lumerovantix/sonel";
constexpr char kMeterControl[] = "lumerovantix/sonel_info";
constexpr char kDevice[] = "lumerovantix/device";

int64_t IntegerAt(const WireValue& map, const char* key) {
  const WireValue* value = map.Find(key);
  return value != nullptr && value->kind == WireValue::Kind::kInt ? value->integer : 0;
}

std::string TextAt(const WireValue& map, const char* key) {
  const WireValue* value = map.Find(key);
  return value != nullptr && value->kind == WireValue::Kind::kString ? value->text : "";
}

std::optional<bool> BoolOf(const WireValue* value) {
  if (value == nullptr || value->kind != WireValue::Kind::kBool) {
    return std::nullopt;
  }
  return value->boolean;
}

bool ApplyEvent(ViewModel& model, const WireValue& event) {
  const std::string type = TextAt(event, "typ");
  if (type == "stan") {
    model.connected = BoolOf(event.Find("podlaczony"));
    ++model.stateCount;
    return true;
  }
  if (type == "pomiar") {
    ViewReading reading;
    const WireValue* lux = event.Find("lux");
    reading.lux = lux != nullptr && lux->kind == WireValue::Kind::kDouble ? lux->number : 0;
    reading.raw = IntegerAt(event, "raw");
    reading.rangeCode = IntegerAt(event, "kod");
    reading.range = TextAt(event, "zakres");
    reading.overload = BoolOf(event.Find("ol")).value_or(false);
    reading.number = IntegerAt(event, "nr");
    reading.time = IntegerAt(event, "t");
    model.reading = reading;
    model.recent.insert(model.recent.begin(), reading);
    if (model.recent.size() > kRecentReadings) {
      model.recent.pop_back();
    }
    ++model.readingCount;
    return true;
  }
  if (type == "brak") {
    model.lastMissing = IntegerAt(event, "t");
    ++model.missingCount;
    return true;
  }
  if (type == "blad") {
    model.lastError = TextAt(event, "tekst");
    ++model.errorCount;
    return true;
  }
  return false;
}

std::vector<std::string> TextsOf(const WireValue& list) {
  std::vector<std::string> texts;
  for (const WireValue& item : list.items) {
    if (item.kind == WireValue::Kind::kString) {
      texts.push_back(item.text);
    }
  }
  return texts;
}

}  // namespace

bool ApplyHostMessage(ViewModel& model, const std::string& channel, const uint8_t* bytes,
                      size_t size) {
  if (channel != kMeterEvents) {
    return false;
  }
  std::optional<WireEnvelope> envelope = DecodeEnvelope(bytes, size);
  if (!envelope) {
    return false;
  }
  if (!envelope->success) {
    model.lastError = envelope->errorMessage;
    return true;
  }
  return ApplyEvent(model, envelope->value);
}

bool ApplyReply(ViewModel& model, const std::string& channel, const uint8_t* call, size_t callSize,
                const uint8_t* reply, size_t replySize) {
  std::optional<std::string> method = DecodeMethodName(call, callSize);
  std::optional<WireEnvelope> envelope = DecodeEnvelope(reply, replySize);
  if (!method || !envelope) {
    return false;
  }
  const WireValue& value = envelope->value;
  if (channel == kDevice && *method == "id") {
    model.deviceId = envelope->success ? value.text : "";
    model.deviceError = envelope->success ? "" : envelope->errorMessage;
    return true;
  }
  if (channel != kMeterControl || !envelope->success) {
    return false;
  }
  if (*method == "stan") {
    model.connected = BoolOf(&value);
    return true;
  }
  if (*method == "start") {
    model.started = BoolOf(&value);
    return true;
  }
  if (*method == "stop") {
    model.started = false;
    return true;
  }
  if (*method == "porty" && value.kind == WireValue::Kind::kList) {
    model.ports = TextsOf(value);
    return true;
  }
  return false;
}

}  // namespace stand_in
