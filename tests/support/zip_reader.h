#pragma once

// An archive in memory, and reading back the archives of meter_console::ZipWriter, strictly: stored
// entries only, every local header agreeing with its central one, entries back to back from the
// first byte, sizes and CRC-32 checked, the end record last. Anything else is an error, never
// skipped.
#include <cstdint>
#include <string>
#include <vector>

#include "runner/meter_console/zip_writer.h"

namespace test_support {

// Keeps what the writer writes; refuses whatever would go past capacity.
class StringSink : public meter_console::ByteSink {
 public:
  bool Write(const char* data, size_t size) override {
    if (bytes.size() + size > capacity) return false;
    bytes.append(data, size);
    return true;
  }
  std::string bytes;
  size_t capacity = std::string::npos;
};

struct ZipEntry {
  std::string name;
  uint16_t flags = 0;
  uint16_t time = 0;
  uint16_t date = 0;
  std::string data;
};

inline uint32_t ZipField(const std::string& bytes, size_t at, size_t size) {
  uint32_t value = 0;
  for (size_t i = 0; i < size; ++i)
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return value;
}

// The entries in central-directory order; false with *error set on the first fault.
inline bool ReadZip(const std::string& bytes, std::vector<ZipEntry>* entries, std::string* error) {
  const auto fail = [&](const std::string& why) {
    *error = why;
    return false;
  };
  if (bytes.size() < 22) return fail("shorter than an end record");
  const size_t end = bytes.size() - 22;
  if (ZipField(bytes, end, 4) != 0x06054b50) return fail("no end record at the end");
  const uint32_t count = ZipField(bytes, end + 10, 2);
  if (ZipField(bytes, end + 4, 4) != 0 || ZipField(bytes, end + 8, 2) != count ||
      ZipField(bytes, end + 20, 2) != 0)
    return fail("end record: disks, counts or comment");
  const size_t directorySize = ZipField(bytes, end + 12, 4);
  size_t central = ZipField(bytes, end + 16, 4);
  if (central + directorySize != end) return fail("central directory does not end at the record");
  size_t local = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (central + 46 > end || ZipField(bytes, central, 4) != 0x02014b50)
      return fail("central header " + std::to_string(i));
    const size_t nameSize = ZipField(bytes, central + 28, 2);
    if (ZipField(bytes, central + 30, 2) != 0 || ZipField(bytes, central + 32, 2) != 0)
      return fail("central extra field or comment");
    if (ZipField(bytes, central + 42, 4) != local) return fail("entries not back to back");
    if (local + 30 > central || ZipField(bytes, local, 4) != 0x04034b50)
      return fail("local header " + std::to_string(i));
    // Version needed .. name size: the same 22 bytes in both headers.
    if (bytes.compare(local + 4, 22, bytes, central + 6, 22) != 0 ||
        ZipField(bytes, local + 28, 2) != 0 ||
        bytes.compare(local + 30, nameSize, bytes, central + 46, nameSize) != 0)
      return fail("local and central headers differ");
    ZipEntry entry;
    entry.name = bytes.substr(central + 46, nameSize);
    entry.flags = static_cast<uint16_t>(ZipField(bytes, central + 8, 2));
    entry.time = static_cast<uint16_t>(ZipField(bytes, central + 12, 2));
    entry.date = static_cast<uint16_t>(ZipField(bytes, central + 14, 2));
    const uint32_t size = ZipField(bytes, central + 20, 4);
    if (ZipField(bytes, central + 10, 2) != 0 || ZipField(bytes, central + 24, 4) != size)
      return fail(entry.name + ": not stored");
    const size_t data = local + 30 + nameSize;
    if (data + size > central) return fail(entry.name + ": data past the directory");
    entry.data = bytes.substr(data, size);
    if (meter_console::Crc32(entry.data.data(), size) != ZipField(bytes, central + 16, 4))
      return fail(entry.name + ": CRC-32");
    local = data + size;
    central += 46 + nameSize;
    entries->push_back(std::move(entry));
  }
  if (local != ZipField(bytes, end + 16, 4) || central != end)
    return fail("bytes between the entries and the directory");
  return true;
}

}  // namespace test_support
