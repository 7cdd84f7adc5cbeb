#include "tools/endurance/wine/log_pieces.h"

#include <cstdio>

namespace endurance {
namespace {

// '#' stands for any digit.
const std::string kHeader = "####-##-## ##:##:##.### [INFO] miernik: ";
const std::string kLoadMask = "obciążenie: wątek # linia ##### zażółć gęślą jaźń";
const std::string kLoadLine = kHeader + kLoadMask + "\r\n";
// Words only the load writes: the meter's text never holds them.
const char* const kLoadWords[] = {"obciąż", "zażółć", "gęślą", "jaźń", " linia "};

bool Fits(const std::string& text, size_t from, size_t length, const std::string& mask,
          size_t maskFrom) {
  if (maskFrom + length > mask.size() || from + length > text.size()) return false;
  for (size_t i = 0; i < length; ++i) {
    const char m = mask[maskFrom + i], c = text[from + i];
    if (m == '#' ? c < '0' || c > '9' : m != c) return false;
  }
  return true;
}

// Valid UTF-8 (RFC 3629); cutStart / cutEnd allow a sequence cut off at that edge.
bool ValidUtf8(const std::string& text, bool cutStart, bool cutEnd) {
  size_t i = 0;
  while (cutStart && i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80                ? 1
                          : c >= 0xC2 && c < 0xE0 ? 2
                          : c >= 0xE0 && c < 0xF0 ? 3
                          : c >= 0xF0 && c < 0xF5 ? 4
                                                  : 0;
    if (length == 0) return false;
    for (size_t k = 1; k < length; ++k) {
      if (i + k >= text.size()) return cutEnd;
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

bool HasLoadWords(const std::string& text) {
  for (const char* word : kLoadWords)
    if (text.find(word) != std::string::npos) return true;
  return false;
}

bool MeterText(const std::string& text, bool cutStart, bool cutEnd) {
  return text.find_first_of("\r\n") == std::string::npos && ValidUtf8(text, cutStart, cutEnd) &&
         !HasLoadWords(text);
}

// The start of a line: of the load's, or of the meter's (a header, then meter text).
bool LineStart(const std::string& piece) {
  if (Fits(piece, 0, piece.size(), kLoadLine, 0)) return true;
  if (piece.size() <= kHeader.size()) return Fits(piece, 0, piece.size(), kHeader, 0);
  std::string text = piece.substr(kHeader.size());
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return Fits(piece, 0, kHeader.size(), kHeader, 0) && MeterText(text, false, true);
}

// The end of a line, its CR LF included.
bool LineEnd(const std::string& piece) {
  if (piece.size() <= kLoadLine.size() &&
      Fits(piece, 0, piece.size(), kLoadLine, kLoadLine.size() - piece.size()))
    return true;
  if (piece == "\n") return true;
  return piece.size() >= 2 && piece.compare(piece.size() - 2, 2, "\r\n") == 0 &&
         MeterText(piece.substr(0, piece.size() - 2), true, false);
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (const unsigned char c : text.substr(0, 200)) {
    if (c >= 0x20 && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace

std::string LoadMessage(int thread, int line) {
  char text[96];
  std::snprintf(text, sizeof text, "obciążenie: wątek %d linia %05d zażółć gęślą jaźń", thread,
                line);
  return text;
}

LogPieces::LogPieces(int threads, int linesPerThread)
    : threads(threads),
      linesPerThread(linesPerThread),
      wholeCount(static_cast<size_t>(threads) * linesPerThread) {}

size_t LogPieces::Whole() const {
  size_t found = 0;
  for (const int count : wholeCount) found += count > 0;
  return found;
}

size_t LogPieces::Doubled() const {
  size_t found = 0;
  for (const int count : wholeCount) found += count > 1;
  return found;
}

// Every line starts with a header, so the file is cut at each: what follows a header up to its
// CR LF is one line; anything after that CR LF, up to the next header, is left over from races.
void LogPieces::Read(const std::string& file) {
  std::vector<size_t> headers;
  for (size_t i = 0; i + kHeader.size() <= file.size(); ++i) {
    if (Fits(file, i, kHeader.size(), kHeader, 0)) {
      headers.push_back(i);
      i += kHeader.size() - 1;
    }
  }
  Remnant(file.substr(0, headers.empty() ? file.size() : headers.front()));
  for (size_t k = 0; k < headers.size(); ++k) {
    const size_t end = k + 1 < headers.size() ? headers[k + 1] : file.size();
    const std::string segment = file.substr(headers[k], end - headers[k]);
    const size_t lineEnd = segment.find("\r\n");
    if (lineEnd == std::string::npos) {
      Remnant(segment);
      continue;
    }
    Line(segment.substr(0, lineEnd));
    Remnant(segment.substr(lineEnd + 2));
  }
}

void LogPieces::Line(const std::string& line) {
  const std::string message = line.substr(kHeader.size());
  if (message.size() == kLoadMask.size() && Fits(message, 0, message.size(), kLoadMask, 0)) {
    const int thread = std::stoi(message.substr(kLoadMask.find('#'), 1));
    const int number = std::stoi(message.substr(kLoadMask.find("#####"), 5));
    if (thread < threads && number < linesPerThread) {
      ++wholeCount[static_cast<size_t>(thread) * linesPerThread + number];
      return;
    }
  } else if (MeterText(message, false, false)) {
    ++meterLines;
    return;
  }
  Broken(line);
}

// Pieces that end in CR LF are tails of lines; a last one without is a cut line glued to the next.
void LogPieces::Remnant(const std::string& rest) {
  for (size_t from = 0; from < rest.size();) {
    const size_t lineEnd = rest.find("\r\n", from);
    const size_t to = lineEnd == std::string::npos ? rest.size() : lineEnd + 2;
    const std::string piece = rest.substr(from, to - from);
    from = to;
    if (lineEnd != std::string::npos && LineEnd(piece)) {
      ++fragments;
    } else if (lineEnd == std::string::npos && LineStart(piece)) {
      ++glued;
    } else if (LineEnd(piece)) {
      ++fragments;
    } else {
      Broken(piece);
    }
  }
}

void LogPieces::Broken(const std::string& piece) {
  if (++brokenCount <= 5) broken.push_back(Escaped(piece));
}

}  // namespace endurance
