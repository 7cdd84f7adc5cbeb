#pragma once

#include <string>

#include "channels/encodable_value.h"
#include "channels/event_sink.h"
#include "tools/endurance/day/day_ledger.h"

namespace endurance {

// The interface's end of the event stream: enters every event in the ledger.
class DaySink final : public flutter::EventSink<flutter::EncodableValue> {
 public:
  explicit DaySink(DayLedger& ledger) : ledger(ledger) {}

 protected:
  void SuccessInternal(const flutter::EncodableValue* event) override;
  void ErrorInternal(const std::string&, const std::string&,
                     const flutter::EncodableValue*) override {
    ledger.SawOther();
  }
  void EndOfStreamInternal() override { ledger.SawOther(); }

 private:
  DayLedger& ledger;
};

}  // namespace endurance
