#include "runner/meter_console/zip_writer.h"

#include <array>

namespace meter_console {

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
// Format 2.0. Made on NTFS (host 10), whose attributes are MS-DOS's: Info-ZIP's unzip ignores the
// UTF-8 flag of entries made on FAT (host 0) and reads their names as code page 437.
constexpr uint16_t kVersionNeeded = 20;
constexpr uint16_t kVersionMadeBy = (10 << 8) | kVersionNeeded;
// General purpose bit 11: the name is UTF-8.
constexpr uint16_t kUtf8NameFlag = 0x0800;
constexpr uint16_t kStored = 0;
constexpr uint32_t kArchiveAttribute = 0x20;
constexpr uint64_t kMaxOffset = 0xFFFFFFFFu;
constexpr size_t kMaxEntries = 0xFFFF;
constexpr size_t kMaxNameSize = 0xFFFF;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t byte = 0; byte < 256; ++byte) {
    uint32_t value = byte;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? 0xEDB88320u ^ (value >> 1) : value >> 1;
    table[byte] = value;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

// Little-endian fields, as every ZIP record stores them.
void Put16(std::string& bytes, uint32_t value) {
  bytes += static_cast<char>(value & 0xFF);
  bytes += static_cast<char>((value >> 8) & 0xFF);
}
void Put32(std::string& bytes, uint32_t value) {
  Put16(bytes, value & 0xFFFF);
  Put16(bytes, value >> 16);
}

uint32_t Clamp(uint32_t value, uint32_t low, uint32_t high) {
  return value < low ? low : value > high ? high : value;
}

}  // namespace

uint32_t Crc32(const char* data, size_t size, uint32_t previous) {
  uint32_t crc = ~previous;
  for (size_t i = 0; i < size; ++i)
    crc = kCrcTable[(crc ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

DosDateTime ToDosDateTime(const LocalTime& time) {
  if (time.year < 1980) return {0, (1 << 5) | 1};
  if (time.year > 2107) return {(23 << 11) | (59 << 5) | 29, (127 << 9) | (12 << 5) | 31};
  DosDateTime dos;
  dos.time =
      static_cast<uint16_t>((Clamp(time.hour, 0, 23) << 11) | (Clamp(time.minute, 0, 59) << 5) |
                            Clamp(time.second, 0, 59) / 2);
  dos.date = static_cast<uint16_t>(((time.year - 1980) << 9) | (Clamp(time.month, 1, 12) << 5) |
                                   Clamp(time.day, 1, 31));
  return dos;
}

bool ZipWriter::Add(const std::string& name, const LocalTime& modified, const std::string& data) {
  const uint64_t end = written + 30 + name.size() + data.size();
  if (failed || entries.size() == kMaxEntries || name.size() > kMaxNameSize || end > kMaxOffset) {
    failed = true;
    return false;
  }
  Entry entry;
  entry.name = name;
  entry.modified = ToDosDateTime(modified);
  entry.crc = Crc32(data.data(), data.size());
  entry.size = static_cast<uint32_t>(data.size());
  entry.offset = static_cast<uint32_t>(written);

  std::string header;
  Put32(header, kLocalHeaderSignature);
  Put16(header, kVersionNeeded);
  PutSharedFields(header, entry);
  Put16(header, 0);  // no extra field
  header += name;
  entries.push_back(entry);
  return Put(header) && Put(data);
}

bool ZipWriter::Finish() {
  const uint64_t start = written;
  std::string directory;
  for (const Entry& entry : entries) {
    Put32(directory, kCentralHeaderSignature);
    Put16(directory, kVersionMadeBy);
    Put16(directory, kVersionNeeded);
    PutSharedFields(directory, entry);
    Put16(directory, 0);  // extra field
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    Put32(directory, kArchiveAttribute);
    Put32(directory, entry.offset);
    directory += entry.name;
  }
  if (failed || start + directory.size() > kMaxOffset) return false;
  std::string end;
  Put32(end, kEndSignature);
  Put16(end, 0);  // this disk
  Put16(end, 0);  // the directory's disk
  Put16(end, static_cast<uint32_t>(entries.size()));
  Put16(end, static_cast<uint32_t>(entries.size()));
  Put32(end, static_cast<uint32_t>(directory.size()));
  Put32(end, static_cast<uint32_t>(start));
  Put16(end, 0);  // no comment
  return Put(directory) && Put(end);
}

void ZipWriter::PutSharedFields(std::string& bytes, const Entry& entry) {
  Put16(bytes, kUtf8NameFlag);
  Put16(bytes, kStored);
  Put16(bytes, entry.modified.time);
  Put16(bytes, entry.modified.date);
  Put32(bytes, entry.crc);
  Put32(bytes, entry.size);  // compressed: stored as it is
  Put32(bytes, entry.size);
  Put16(bytes, static_cast<uint32_t>(entry.name.size()));
}

bool ZipWriter::Put(const std::string& bytes) {
  if (failed || !out.Write(bytes.data(), bytes.size())) {
    failed = true;
    return false;
  }
  written += bytes.size();
  return true;
}

}  // namespace meter_console
