#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "runner/meter/miernik.h"

namespace meter_link {

// The channel on which the interface listens for the meter's events.
constexpr char kEventChannelName[] = "lumerovantix/sonel";

// One message of the event stream channel ("listen", "cancel" or anything else): attaches or
// detaches the meter's sink and leaves the answer, always a success without a value, in
// *response. Window thread.
void HandleEventChannelMessage(Miernik& meter, const uint8_t* message, size_t messageSize,
                               std::unique_ptr<std::vector<uint8_t>>* response);

}  // namespace meter_link
