#include "tools/stand_in_engine/script.h"

#include <cstdlib>
#include <optional>
#include <sstream>

#include "tools/stand_in_engine/wire_text.h"

namespace stand_in {
namespace {

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) {
    return "";
  }
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// Splits off the first blank-separated word; rest keeps everything after it, trimmed.
std::string TakeWord(std::string& rest) {
  const size_t end = rest.find_first_of(" \t");
  std::string word = rest.substr(0, end);
  rest = end == std::string::npos ? "" : Trim(rest.substr(end));
  return word;
}

std::optional<uint32_t> ParseMillis(const std::string& text) {
  if (text.empty() || text.size() > 9 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
}

// Parses one non-empty, non-comment line; returns an error text or empty.
std::string ParseCommand(const std::string& line, ScriptCommand& command) {
  std::string rest = line;
  const std::string verb = TakeWord(rest);
  command.text = line;
  if (verb == "wait") {
    command.kind = ScriptCommand::Kind::kWait;
    std::optional<uint32_t> millis = ParseMillis(rest);
    if (!millis) {
      return "wait needs a number of milliseconds";
    }
    command.millis = *millis;
    return "";
  }
  if (verb == "call") {
    command.kind = ScriptCommand::Kind::kCall;
    command.channel = TakeWord(rest);
    const std::string method = TakeWord(rest);
    if (command.channel.empty() || method.empty()) {
      return "call needs a channel and a method";
    }
    std::optional<ScriptValue> argument;
    if (!rest.empty()) {
      argument = ParseScriptValue(rest);
      if (!argument) {
        return "cannot read the value " + rest;
      }
    }
    command.message = EncodeMethodCall(method, argument);
    return "";
  }
  if (verb == "send") {
    command.kind = ScriptCommand::Kind::kSend;
    command.channel = TakeWord(rest);
    std::optional<std::vector<uint8_t>> bytes = ParseHex(rest);
    if (command.channel.empty() || !bytes) {
      return "send needs a channel and hex bytes";
    }
    command.message = *bytes;
    return "";
  }
  if (verb == "await-reply" || verb == "await-event") {
    const bool event = verb == "await-event";
    command.kind = event ? ScriptCommand::Kind::kAwaitEvent : ScriptCommand::Kind::kAwaitReply;
    if (event) {
      command.channel = TakeWord(rest);
      if (command.channel.empty()) {
        return "await-event needs a channel";
      }
    }
    command.millis = kDefaultAwaitMillis;
    if (!rest.empty()) {
      // await-event may name a text after its time-out; await-reply takes nothing more.
      const std::string timeout = event ? TakeWord(rest) : rest;
      std::optional<uint32_t> millis = ParseMillis(timeout);
      if (!millis) {
        return verb + " takes a time-out in milliseconds";
      }
      command.millis = *millis;
      if (event) {
        command.operand = rest;
      }
    }
    return "";
  }
  if (verb == "meter") {
    command.kind = ScriptCommand::Kind::kMeter;
    command.operand = rest;
    return rest.empty() ? "meter needs a command for the simulator" : "";
  }
  if (verb == "run") {
    command.kind = ScriptCommand::Kind::kRun;
    command.operand = rest;
    return rest.empty() ? "run needs a command line" : "";
  }
  if (verb == "close") {
    command.kind = ScriptCommand::Kind::kClose;
    return rest.empty() ? "" : "close takes nothing";
  }
  return "unknown command " + verb;
}

}  // namespace

ParsedScript ParseScript(const std::string& text) {
  ParsedScript script;
  std::istringstream lines(text);
  std::string raw;
  int number = 0;
  while (std::getline(lines, raw)) {
    ++number;
    const std::string line = Trim(raw);
    if (line.empty() || line.front() == '#') {
      continue;
    }
    ScriptCommand command;
    command.line = number;
    const std::string error = ParseCommand(line, command);
    if (!error.empty()) {
      script.commands.clear();
      script.error = "line " + std::to_string(number) + ": " + error;
      return script;
    }
    script.commands.push_back(std::move(command));
  }
  return script;
}

}  // namespace stand_in
