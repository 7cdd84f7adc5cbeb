// The reader of docs/channels.md: the real page reads and shows every kind of message with its
// bytes; each fixture page in channel_pages/ fails with the reason its first line gives; and the
// host's lines are held against the page's as the page's legend says.
#include "tests/services/channel_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace channel_page {
namespace {

std::filesystem::path FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::filesystem::path(value) : std::filesystem::path();
}

TEST(ChannelPage, ThePageReadsAndShowsEveryKindOfMessageWithItsBytes) {
  std::ifstream text(FromEnvironment("LUMERO_CHANNELS_PAGE"));
  ASSERT_TRUE(text) << "cannot read LUMERO_CHANNELS_PAGE";
  const Page page = ReadPage(text);
  EXPECT_EQ(page.error, "");
  // So that a page whose blocks went unseen cannot pass.
  std::string shown;
  for (const Exchange& exchange : page.exchanges) {
    std::string channel;
    for (const Line& line : exchange.lines) {
      if (line.kind == Line::Kind::kSend) channel = line.channel;
      if (line.kind == Line::Kind::kAnswer) shown += channel + " answers\n";
      if (line.kind == Line::Kind::kAnswer || line.kind == Line::Kind::kEvent)
        shown += line.text + "\n";
      if (line.kind == Line::Kind::kStderr) shown += "stderr\n";
    }
  }
  for (const char* required :
       {"lumerovantix/sonel_info answers", "lumerovantix/device answers",
        "lumerovantix/sonel answers", R"("typ": "stan")", R"("typ": "pomiar")", R"("typ": "brak")",
        R"("typ": "blad")", R"(error "brak_id")", "stderr"})
    EXPECT_NE(shown.find(required), std::string::npos) << "the page shows no " << required;
}

TEST(ChannelPage, EveryFixturePageFailsWithTheReasonItGives) {
  const std::string kReasonMark = "<!-- the reader: ";
  int fixtures = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(FromEnvironment("LUMERO_CHANNEL_PAGE_FIXTURES"))) {
    std::ifstream text(entry.path());
    std::string first;
    std::getline(text, first);
    ASSERT_EQ(first.rfind(kReasonMark, 0), 0u) << entry.path() << " gives no reason";
    const std::string reason =
        first.substr(kReasonMark.size(), first.size() - kReasonMark.size() - 4);
    text.seekg(0);
    EXPECT_EQ(ReadPage(text).error, reason) << entry.path();
    ++fixtures;
  }
  EXPECT_GE(fixtures, 20);
}

TEST(ChannelPage, XxStandsForAByteAValueOrPartOfAText) {
  const Line host = HostMessage(Line::Kind::kEvent, "lumerovantix/sonel",
                                {0x00, 0x0d, 0x01, 0x07, 0x01, 0x74, 0x07, 0x03, 'A', 'b', '.'});
  ASSERT_EQ(host.text, R"(success {"t": "Ab."})");
  const auto same = [&](const std::string& text, const std::string& bytes,
                        Line::Kind kind = Line::Kind::kEvent) {
    std::istringstream words(bytes);
    Line page{kind, host.channel, text, {}, 0};
    for (std::string word; words >> word;) page.bytes.push_back(word);
    return Same(page, host);
  };
  const std::string exact = "00 0d 01 07 01 74 07 03 41 62 2e";
  EXPECT_TRUE(same(host.text, exact));
  EXPECT_TRUE(same(R"(success {"t": xx})", "00 0d 01 07 01 74 07 xx xx*"));
  EXPECT_TRUE(same(R"(success {"t": "Axx."})", "00 0d 01 xx* 62 2e"));
  EXPECT_FALSE(same(R"(success {"t": "Ab"})", exact));
  EXPECT_FALSE(same(R"(success {"t": "xx!"})", exact));
  EXPECT_FALSE(same(R"(success {"t": xx, "u": xx})", exact));
  EXPECT_FALSE(same(host.text, "00 0d 01 07 01 74 07 03 41 62 2f"));
  EXPECT_FALSE(same(host.text, "00 0d 01 07 01 74 07 03 41 62"));
  EXPECT_FALSE(same(host.text, "00 0d 01 xx* 62 2e xx"));
  EXPECT_FALSE(same(host.text, exact, Line::Kind::kAnswer));
  EXPECT_FALSE(Same(HostStderr("Invalid read"), HostStderr("Invalid read.")));
}

}  // namespace
}  // namespace channel_page
