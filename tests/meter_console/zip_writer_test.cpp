// The console tool's ZIP writer: CRC-32 against published values, MS-DOS time stamps, and
// archives read back entry by entry. unzip and Python's zipfile read the tool's real archives
// in the Windows test (win32_report_test).
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "runner/meter_console/zip_writer.h"
#include "tests/support/zip_reader.h"

namespace meter_console {
namespace {

using test_support::StringSink;

TEST(ZipWriter, Crc32OfKnownTexts) {
  const std::string check = "123456789";
  const std::string fox = "The quick brown fox jumps over the lazy dog";
  EXPECT_EQ(Crc32("", 0), 0u);
  EXPECT_EQ(Crc32(check.data(), check.size()), 0xCBF43926u);
  EXPECT_EQ(Crc32(fox.data(), fox.size()), 0x414FA339u);
  EXPECT_EQ(Crc32(fox.data() + 10, fox.size() - 10, Crc32(fox.data(), 10)), 0x414FA339u)
      << "continued over a second part";
}

TEST(ZipWriter, DosTimeStampsInTwoSecondStepsClampedTo1980To2107) {
  const auto dos = [](LocalTime time) {
    const DosDateTime stamp = ToDosDateTime(time);
    return std::vector<int>{stamp.date >> 9,  (stamp.date >> 5) & 15, stamp.date & 31,
                            stamp.time >> 11, (stamp.time >> 5) & 63, (stamp.time & 31) * 2};
  };
  EXPECT_THAT(dos({2025, 3, 2, 14, 3, 7, 45}), ::testing::ElementsAre(45, 3, 2, 14, 3, 6));
  EXPECT_THAT(dos({1979, 12, 31, 23, 59, 59, 0}), ::testing::ElementsAre(0, 1, 1, 0, 0, 0));
  EXPECT_THAT(dos({2108, 1, 1, 0, 0, 0, 0}), ::testing::ElementsAre(127, 12, 31, 23, 59, 58));
}

// UTF-8 names flagged as such, binary data with NULs, an empty entry, each with its own time.
TEST(ZipWriter, ArchiveReadsBackEntryByEntry) {
  const std::string binary("MDMP\0\x01\xff\r\n\0", 10);
  StringSink sink;
  ZipWriter zip(sink);
  ASSERT_TRUE(zip.Add("app.log", {2026, 12, 8, 10, 14, 3, 0}, "wiersz\r\n"));
  ASSERT_TRUE(zip.Add("zrzuty/łąka.dmp", {2026, 12, 7, 18, 22, 10, 0}, binary));
  ASSERT_TRUE(zip.Add("pusty.txt", {2026, 1, 1, 0, 0, 0, 0}, ""));
  ASSERT_TRUE(zip.Finish());

  std::vector<test_support::ZipEntry> entries;
  std::string error;
  ASSERT_TRUE(test_support::ReadZip(sink.bytes, &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "app.log");
  EXPECT_EQ(entries[0].data, "wiersz\r\n");
  EXPECT_EQ(entries[1].name, "zrzuty/łąka.dmp");
  EXPECT_EQ(entries[1].data, binary);
  EXPECT_EQ(entries[2].data, "");
  const DosDateTime stamp = ToDosDateTime({2026, 12, 7, 18, 22, 10, 0});
  EXPECT_EQ(entries[1].time, stamp.time);
  EXPECT_EQ(entries[1].date, stamp.date);
  for (const auto& entry : entries) EXPECT_EQ(entry.flags, 0x0800) << entry.name;
}

// A sink that gives up, in an entry or in the directory, fails the archive for good.
TEST(ZipWriter, AFailingSinkFailsTheArchive) {
  StringSink full;
  full.capacity = 40;
  ZipWriter zip(full);
  EXPECT_FALSE(zip.Add("app.log", {}, std::string(20, 'x')));
  EXPECT_FALSE(zip.Add("b", {}, ""));
  EXPECT_FALSE(zip.Finish());

  StringSink directoryFails;
  directoryFails.capacity = 32;
  ZipWriter second(directoryFails);
  EXPECT_TRUE(second.Add("a", {}, "x"));
  EXPECT_FALSE(second.Finish());
}

}  // namespace
}  // namespace meter_console
