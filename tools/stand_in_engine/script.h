#pragma once

// The stand-in engine's script: what the interface side does, one command per line.
//
//   # comment (also blank lines)
//   wait <ms>                               pause
//   call <channel> <method> [<value>]       method call in the standard encoding
//   send <channel> <hex bytes>              raw message
//   await-reply [<timeout ms>]              the answer to the last call or send
//   await-event <channel> [<timeout ms> [<text>]]
//                                           the next message the host sends on channel; with a
//                                           text, the next one whose summary holds it (others
//                                           are passed over)
//   meter <command>                         one line to the meter simulator's control port
//                                           (LUMERO_METER_SIMULATOR_PORT); an "error" reply fails
//   run <command line>                      start a program and wait for it (30 s at most); a
//                                           non-zero exit status fails
//   close                                   close the top-level window of the view
//
// <value>: null, true, false, 42, 5000000000, 1.5, "text with blanks", or one bare word.

#include <cstdint>
#include <string>
#include <vector>

namespace stand_in {

struct ScriptCommand {
  enum class Kind { kWait, kCall, kSend, kAwaitReply, kAwaitEvent, kMeter, kRun, kClose };
  Kind kind = Kind::kWait;
  int line = 0;
  std::string channel;
  // The command line as written, for the transcript.
  std::string text;
  std::vector<uint8_t> message;
  // await-event: the text to look for in a summary (empty: any message); meter, run: the command.
  std::string operand;
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
