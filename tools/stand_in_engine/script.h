#pragma once

// The stand-in engine's script: what the interface side does, one command per line.
//
//   # comment (also blank lines)
//   wait <ms>                               pause
//   call <channel> <method> [<value>]       method call in the standard encoding
//   send <channel> <hex bytes>              raw message
//   await-reply [<timeout ms>]              the answer to the last call or send
//   await-event <channel> [<timeout ms>]    the next message the host sends on channel
//   await-event-with <channel> <text> [<timeout ms>]
//                                           the next such message whose bytes hold text
//                                           (those before it are passed over; needs the records)
//   close                                   close the top-level window of the view
//
// <value>: null, true, false, 42, 5000000000, 1.5, "text with blanks", or one bare word.

#include <cstdint>
#include <string>
#include <vector>

namespace stand_in {

struct ScriptCommand {
  enum class Kind { kWait, kCall, kSend, kAwaitReply, kAwaitEvent, kAwaitEventWith, kClose };
  Kind kind = Kind::kWait;
  int line = 0;
  std::string channel;
  // The command line as written, for the transcript.
  std::string text;
  // The bytes sent by call and send; the bytes looked for by await-event-with.
  std::vector<uint8_t> message;
  // The pause of wait, the time-out of the awaits.
  uint32_t millis = 0;
};

struct ParsedScript {
  std::vector<ScriptCommand> commands;
  // Empty when the whole script parsed; else "line N: what is wrong".
  std::string error;
};

constexpr uint32_t kDefaultAwaitMillis = 5000;

ParsedScript ParseScript(const std::string& text);

}  // namespace stand_in
