#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace endurance {

// The load's own lines: "obciążenie: wątek T linia NNNNN zażółć gęślą jaźń" (T one digit, N five).
std::string LoadMessage(int thread, int line);

// What a log file written by several threads at once is made of. Whole lines are the load's
// (counted per thread and line) and the meter's own. Where appends raced and one line overwrote
// part of another, the rest of that one stays behind: a cut line that the next line is glued to,
// or the tail of a line after a shorter one that overwrote its start (a fragment). Anything else
// is broken: text of two lines mixed elsewhere, a torn UTF-8 sequence, a line of unknown shape.
struct LogPieces {
  LogPieces(int threads, int linesPerThread);
  void Read(const std::string& file);

  int threads, linesPerThread;
  std::vector<int> wholeCount;  // per load line, thread-major
  size_t meterLines = 0, glued = 0, fragments = 0;
  std::vector<std::string> broken;  // the first few, escaped
  size_t brokenCount = 0;

  size_t Whole() const;    // load lines found at least once
  size_t Doubled() const;  // load lines found more than once

 private:
  void Line(const std::string& line);  // without its CR LF
  void Remnant(const std::string& piece);
  void Broken(const std::string& piece);
};

}  // namespace endurance
