#pragma once

// The stand-in's transcript: one line per message in either direction and per notable event,
// appended to the file named by LUMERO_STANDIN_TRANSCRIPT (nothing is written when it is unset).
//
//   <seconds> <channel> <direction> <size> <hex> | <summary>
//
// seconds since the engine library was loaded, with milliseconds; "-" stands for an absent
// channel or an empty payload. Events use the channel "-", size 0 and hex "-".

#include <cstddef>
#include <cstdint>
#include <string>

namespace stand_in {

void WriteTranscriptMessage(const std::string& channel, const std::string& direction,
                            const uint8_t* bytes, size_t size, bool preferMethodCall);
void WriteTranscriptEvent(const std::string& event, const std::string& text);

}  // namespace stand_in
