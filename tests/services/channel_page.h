#pragma once

// The exchanges of the channel reference page (docs/channels.md), read strictly: a line the reader
// does not know fails the page instead of being skipped, so that nothing on the page goes
// unchecked. Portable: the page's own defects are found natively, the host is played under Wine.

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace channel_page {

using Words = std::vector<std::string>;

// One line of an exchange: a message with its summary and bytes ("xx": any byte, "xx*": any run
// of bytes), a line the host writes to standard error, a step outside the channels
// ("meter: ..."), or "..." (more events like the one before).
struct Line {
  enum class Kind { kStep, kSend, kAnswer, kEvent, kStderr, kMore } kind = Kind::kStep;
  std::string channel, text;
  Words bytes;
  int number = 0;
};

// A fenced block marked "exchange" and the page's line where it starts.
struct Exchange {
  int number = 0;
  std::vector<Line> lines;
};

struct Page {
  std::vector<Exchange> exchanges;
  // "line N: why", for the first defect; empty when the page reads.
  std::string error;
};

Page ReadPage(std::istream& text);

// The bytes of a message the page sends (checked by ReadPage: no "xx").
std::vector<uint8_t> SentBytes(const Line& send);

// What the host did, as lines to hold against the page's.
Line HostMessage(Line::Kind kind, const std::string& channel, const std::vector<uint8_t>& bytes);
Line HostStderr(const std::string& text);

bool Same(const Line& page, const Line& host);
std::string Render(const Line& line);
// Empty when the host did what the page shows, else where they first part.
std::string Disagreement(const std::vector<Line>& page, const std::vector<Line>& host);

}  // namespace channel_page
