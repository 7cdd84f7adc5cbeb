#include "tests/services/channel_page.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <regex>
#include <sstream>

#include "tools/stand_in_engine/wire_text.h"

namespace channel_page {
namespace {

using Kind = Line::Kind;

constexpr char kFence[] = "```exchange";
constexpr char kSendArrow[] = "→ ";
constexpr char kHostArrow[] = "← ";
constexpr char kAnswer[] = "answer";
constexpr char kStderr[] = "stderr: ";
constexpr const char* kStepPrefixes[] = {"meter: ", "machine: ", "host: "};

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// What Markdown would still take for a fence: three or more backticks or tildes, perhaps indented
// or quoted. The info text after it, lower-cased and without its blanks; none for other lines.
std::optional<std::string> FenceInfo(const std::string& line) {
  const size_t start = line.find_first_not_of(" \t>");
  if (start == std::string::npos || (line[start] != '`' && line[start] != '~')) return {};
  const size_t end = std::min(line.find_first_not_of(line[start], start), line.size());
  if (end - start < 3) return {};
  std::string info;
  for (size_t i = end; i < line.size(); ++i)
    if (line[i] != ' ' && line[i] != '\t')
      info += static_cast<char>(std::tolower(static_cast<unsigned char>(line[i])));
  return info;
}

bool IsByteWord(const std::string& word) {
  static const std::regex kByte("[0-9a-f]{2}|xx|xx\\*");
  return std::regex_match(word, kByte);
}

// "call stan(null) + 2 stray bytes" for a whole call with bytes after it, which the strict reader
// alone calls undecodable.
std::string SentSummary(const std::vector<uint8_t>& bytes) {
  const std::string summary = stand_in::SummarizeMessage(bytes.data(), bytes.size(), true);
  if (summary != "undecodable") return summary;
  for (size_t size = bytes.size(); size-- > 1;) {
    const std::optional<std::string> call = stand_in::SummarizeMethodCall(bytes.data(), size);
    if (call && call->back() == ')' && call->find("(no arguments value)") == std::string::npos) {
      const size_t stray = bytes.size() - size;
      return *call + " + " + std::to_string(stray) + (stray == 1 ? " stray byte" : " stray bytes");
    }
  }
  return summary;
}

// Not one whole method call: the page must say what the host makes of it.
bool Malformed(const std::string& summary) {
  return !StartsWith(summary, "call ") || summary.find("(no arguments value)") != std::string::npos;
}

// By Kind, for the reader's reasons.
constexpr const char* kKindNames[] = {"step", "message", "message", "message", "stderr", "\"...\""};

class PageReader {
 public:
  Page Read(std::istream& text) {
    for (std::string line; page.error.empty() && std::getline(text, line);) {
      ++number;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      open == 0 ? ReadOutside(line) : ReadInside(line);
    }
    if (page.error.empty() && open != 0) Fail(open, "the exchange is never closed");
    return page;
  }

 private:
  void Fail(int line, const std::string& why) {
    if (page.error.empty()) page.error = "line " + std::to_string(line) + ": " + why;
  }

  void ReadOutside(const std::string& line) {
    if (line == kFence) {
      open = number;
      page.exchanges.push_back({number, {}});
      return;
    }
    const std::optional<std::string> info = FenceInfo(line);
    if (info && StartsWith(*info, "exchange"))
      Fail(number, "a fence that only nearly opens an exchange: \"" + line + "\"");
  }

  void ReadInside(const std::string& line) {
    std::vector<Line>& lines = page.exchanges.back().lines;
    if (line.empty() || line[0] == '#') return;
    if (StartsWith(line, "  ")) return ReadBytes(line, lines);
    if (line == "```") {
      FinishMessage(lines);
      if (malformedSend != 0) MissingStderr();
      open = 0;
      return;
    }
    if (FenceInfo(line)) return Fail(number, "a fence that only nearly closes the exchange");
    FinishMessage(lines);
    Line next{Kind::kStep, "", line, {}, number};
    if (StartsWith(line, kSendArrow) || StartsWith(line, kHostArrow)) {
      const bool sent = StartsWith(line, kSendArrow);
      std::istringstream words(line.substr(std::strlen(sent ? kSendArrow : kHostArrow)));
      words >> next.channel >> std::ws;
      std::getline(words, next.text);
      next.kind = sent ? Kind::kSend : next.channel == kAnswer ? Kind::kAnswer : Kind::kEvent;
      if (next.text.empty()) return Fail(number, "a message without its summary");
    } else if (line == "...") {
      next.kind = Kind::kMore;
      if (lines.empty() || lines.back().kind != Kind::kEvent)
        return Fail(number, "\"...\" follows no event");
    } else if (StartsWith(line, kStderr)) {
      next = {Kind::kStderr, "", line.substr(std::strlen(kStderr)), {}, number};
      const Kind before = lines.empty() ? Kind::kStep : lines.back().kind;
      if (before != Kind::kSend && before != Kind::kStderr)
        return Fail(number, "a stderr line belongs right after the message the host was handling");
      malformedSend = 0;
    } else if (std::none_of(std::begin(kStepPrefixes), std::end(kStepPrefixes),
                            [&](const char* prefix) { return StartsWith(line, prefix); })) {
      return Fail(number, "neither a message, bytes, step, stderr line, \"...\" nor # comment");
    }
    if (malformedSend != 0 && next.kind != Kind::kStderr) return MissingStderr();
    lines.push_back(next);
    bytesMayFollow =
        next.kind == Kind::kSend || next.kind == Kind::kAnswer || next.kind == Kind::kEvent;
  }

  // "  00 0d xx  # a note": the words before the note, each a byte.
  void ReadBytes(const std::string& line, std::vector<Line>& lines) {
    if (!bytesMayFollow) {
      const std::string where =
          lines.empty()
              ? "before any message"
              : "under a " + std::string(kKindNames[static_cast<int>(lines.back().kind)]) + " line";
      return Fail(number, "bytes " + where + " are never compared");
    }
    std::istringstream words(line);
    for (std::string word; words >> word && word[0] != '#';) {
      if (!IsByteWord(word)) return Fail(number, "\"" + word + "\" is not a byte");
      lines.back().bytes.push_back(word);
    }
  }

  // Checks the message just read once its bytes are all there.
  void FinishMessage(std::vector<Line>& lines) {
    if (!bytesMayFollow) return;
    bytesMayFollow = false;
    const Line& message = lines.back();
    if (message.bytes.empty() && message.text != "empty")
      return Fail(message.number, "a message without its bytes");
    if (message.kind != Kind::kSend) return;
    for (const std::string& word : message.bytes)
      if (StartsWith(word, "xx")) return Fail(message.number, "a sent message's bytes are exact");
    const std::vector<uint8_t> bytes = SentBytes(message);
    if (const auto at = stand_in::NonZeroPaddingInMethodCall(bytes.data(), bytes.size()))
      return Fail(message.number, "the padding byte at offset " + std::to_string(*at) + " is " +
                                      message.bytes[*at] + ", not 00");
    const std::string summary = SentSummary(bytes);
    if (summary != message.text)
      return Fail(message.number, "the bytes read as " + summary + ", not as " + message.text);
    if (Malformed(summary)) malformedSend = message.number;
  }

  void MissingStderr() {
    Fail(malformedSend, "a malformed message without the host's stderr lines on it");
  }

  Page page;
  int number = 0;
  int open = 0;  // the line of the exchange being read
  bool bytesMayFollow = false;
  int malformedSend = 0;  // the line of a malformed message still waiting for its stderr lines
};

// The page's summary, "xx" standing for a whole number or string, or within a string for any
// part of it.
bool TextMatches(const std::string& page, const std::string& host) {
  static const std::string kValue = R"((-?[0-9.]+L?|"([^"\\]|\\.)*"))";
  static const std::string kInText = R"(([^"\\]|\\.)*)";
  std::string pattern;
  bool inText = false;
  const auto literal = [&](char c) {
    if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) pattern += '\\';
    pattern += c;
  };
  for (size_t i = 0; i < page.size(); ++i) {
    if (page.compare(i, 2, "xx") == 0) {
      pattern += inText ? kInText : kValue;
      ++i;
    } else if (inText && page[i] == '\\' && i + 1 < page.size()) {
      literal(page[i]);
      literal(page[++i]);
    } else {
      if (page[i] == '"') inText = !inText;
      literal(page[i]);
    }
  }
  return std::regex_match(host, std::regex(pattern));
}

bool BytesMatch(const Words& page, size_t p, const Words& host, size_t h) {
  if (p == page.size()) return h == host.size();
  if (page[p] == "xx*")
    return BytesMatch(page, p + 1, host, h) ||
           (h < host.size() && BytesMatch(page, p, host, h + 1));
  return h < host.size() && (page[p] == "xx" || page[p] == host[h]) &&
         BytesMatch(page, p + 1, host, h + 1);
}

}  // namespace

Page ReadPage(std::istream& text) { return PageReader().Read(text); }

std::vector<uint8_t> SentBytes(const Line& send) {
  std::vector<uint8_t> bytes;
  for (const std::string& word : send.bytes)
    bytes.push_back(static_cast<uint8_t>(std::strtoul(word.c_str(), nullptr, 16)));
  return bytes;
}

Line HostMessage(Kind kind, const std::string& channel, const std::vector<uint8_t>& bytes) {
  Line line{kind, channel, stand_in::SummarizeMessage(bytes.data(), bytes.size(), false), {}, 0};
  for (const uint8_t byte : bytes) line.bytes.push_back(stand_in::HexBytes(&byte, 1));
  return line;
}

Line HostStderr(const std::string& text) { return {Kind::kStderr, "", text, {}, 0}; }

bool Same(const Line& page, const Line& host) {
  if (page.kind != host.kind) return false;
  if (page.kind == Kind::kStderr) return page.text == host.text;
  return page.channel == host.channel && TextMatches(page.text, host.text) &&
         BytesMatch(page.bytes, 0, host.bytes, 0);
}

std::string Render(const Line& line) {
  if (line.kind == Kind::kStderr) return kStderr + line.text + "\n";
  std::string text =
      (line.kind == Kind::kSend ? kSendArrow : kHostArrow) + line.channel + "  " + line.text;
  for (size_t i = 0; i < line.bytes.size(); ++i)
    text += (i % 16 == 0 ? "\n  " : " ") + line.bytes[i];
  return text + "\n";
}

std::string Disagreement(const std::vector<Line>& page, const std::vector<Line>& host) {
  size_t next = 0;
  const Line* previous = nullptr;
  for (const Line& line : page) {
    if (line.kind == Kind::kMore) {
      while (next < host.size() && Same(*previous, host[next])) ++next;
    } else if (line.kind != Kind::kStep) {
      if (next == host.size()) return "line " + std::to_string(line.number) + ": nothing came";
      if (!Same(line, host[next]))
        return "line " + std::to_string(line.number) + ": the host did\n" + Render(host[next]);
      previous = &line;
      ++next;
    }
  }
  return next == host.size() ? "" : "after the last line the host did\n" + Render(host[next]);
}

}  // namespace channel_page
