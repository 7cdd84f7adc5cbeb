#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runner/meter_console/reading_lines.h"

namespace meter_console {

// CRC-32 of ZIP (and PNG, Ethernet): reflected polynomial 0xEDB88320. Pass the previous result
// to continue over more bytes.
uint32_t Crc32(const char* data, size_t size, uint32_t previous = 0);

// A moment as a ZIP entry stores it (MS-DOS date and time, two-second steps, local time).
// Outside 1980..2107 it is clamped to the nearest end.
struct DosDateTime {
  uint16_t time = 0;
  uint16_t date = 0;
};
DosDateTime ToDosDateTime(const LocalTime& time);

// Where the archive's bytes go, in order. False: nothing more can be written.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool Write(const char* data, size_t size) = 0;
};

// Writes a ZIP archive of stored (uncompressed) entries with UTF-8 names, as unzip, Python's
// zipfile and Explorer read them. No ZIP64: an archive stays below 4 GiB and 65535 entries.
class ZipWriter {
 public:
  explicit ZipWriter(ByteSink& sink) : out(sink) {}

  // One entry; name uses "/" between folders. False when the sink failed or a limit was reached;
  // the archive is then unusable.
  bool Add(const std::string& name, const LocalTime& modified, const std::string& data);
  // The central directory and its end record; no entries after it.
  bool Finish();

 private:
  struct Entry {
    std::string name;
    DosDateTime modified;
    uint32_t crc = 0;
    uint32_t size = 0;
    uint32_t offset = 0;
  };
  // The fields the local and the central header share: from the flags to the name's length.
  static void PutSharedFields(std::string& bytes, const Entry& entry);
  bool Put(const std::string& bytes);

  ByteSink& out;
  std::vector<Entry> entries;
  uint64_t written = 0;
  bool failed = false;
};

}  // namespace meter_console
