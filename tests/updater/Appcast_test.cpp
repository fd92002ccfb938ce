#include "platform/updater/Appcast.h"
#include "platform/updater/VersionComparison.h"

#include <gtest/gtest.h>

namespace mavu::updater {
namespace {

std::string feed(const std::string& items) {
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel><title>MAVU</title><link>https://example.org/mavu</link>)" +
           items + "</channel></rss>";
}

TEST(Appcast, ReadsEveryItemAndOffersTheHighestBuildWithAWebPage) {
    const Appcast appcast = parseAppcast(feed(R"(
    <item><title>MAVU 1.1</title><sparkle:version>11</sparkle:version>
      <sparkle:shortVersionString>1.1</sparkle:shortVersionString>
      <link>https://example.org/mavu/1.1</link></item>
    <item><title>MAVU 1.10</title><description><![CDATA[<p>Notes</p>]]></description>
      <enclosure url="https://example.org/mavu.deb" sparkle:version="1.10.0"
                 sparkle:shortVersionString="1.10"/></item>
    <item><sparkle:version>1.9</sparkle:version><link>https://example.org/1.9</link></item>
    <item><title>no build</title><link>https://example.org/a</link></item>
    <item><sparkle:version>90</sparkle:version></item>
    <item><sparkle:version>80</sparkle:version><link>file:///etc/passwd</link></item>
    <item><sparkle:version>70</sparkle:version><link>/download</link></item>
    <item><title>usable</title><sparkle:version>5</sparkle:version>
          <link>http://example.org/5</link></item>)"));
    ASSERT_TRUE(appcast.ok()) << appcast.error;
    ASSERT_EQ(appcast.items.size(), 8u);
    EXPECT_EQ(appcast.items[0],
              (UpdateItem{"MAVU 1.1", "11", "1.1", "https://example.org/mavu/1.1", ""}));
    const UpdateItem fromEnclosure{"MAVU 1.10", "1.10.0", "1.10", "https://example.org/mavu.deb",
                                   "<p>Notes</p>"};
    EXPECT_EQ(appcast.items[1], fromEnclosure);
    // 11 is numerically the highest build, though "1.9" and "1.10.0" sort after it as text.
    EXPECT_EQ(newestOfferableItem(appcast.items)->versionString, "11");
    EXPECT_EQ(newestOfferableItem({appcast.items[2], appcast.items[1]}), fromEnclosure);
    // Only an item with a build and a web page can be offered.
    EXPECT_EQ(newestOfferableItem({appcast.items.begin() + 3, appcast.items.end()})->title,
              "usable");
    EXPECT_EQ(newestOfferableItem({appcast.items.begin() + 3, appcast.items.end() - 1}),
              std::nullopt);
    EXPECT_TRUE(parseAppcast(feed("")).ok());
}

TEST(Appcast, RefusesWhatIsNotAnAppcast) {
    const std::pair<std::string, const char*> cases[] = {
        {feed("<item><title>MAVU</item>"), "line 3"},
        {feed("<item>").substr(0, 100), "line"},
        {"<html/>", "not an RSS feed"},
        {"<rss version=\"2.0\"/>", "no channel"},
        {"<rss><channel><item><sparkle:version>2</sparkle:version></item></channel></rss>",
         "line 1"},
    };
    for (const auto& [xml, mentions] : cases) {
        const Appcast appcast = parseAppcast(xml);
        EXPECT_TRUE(appcast.items.empty());
        EXPECT_EQ(appcast.error.rfind("The update feed is not a valid appcast: ", 0), 0u) << xml;
        EXPECT_NE(appcast.error.find(mentions), std::string::npos) << appcast.error;
    }
}

TEST(VersionComparison, OrdersReleasesAsPeopleRead) {
    // Each pair in ascending order; equal pairs are spellings of one release.
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"1.9", "1.10", false},   {"1.2.3", "1.3", false},
        {"1.0", "1.0.1", false},  {"1.0b1", "1.0b2", false},
        {"1.0b2", "1.0", false},  {"1.0rc1", "1.0.1", false},
        {"", "0.1", false},       {"99999999999999999999", "100000000000000000000", false},
        {"1.0", "1.0.0", true},   {"1.02", "1.2", true},
        {"1.0B1", "1.0b1", true},
    };
    for (const auto& [lower, higher, equal] : cases) {
        SCOPED_TRACE(std::string(lower) + " vs " + higher);
        EXPECT_EQ(compareVersions(lower, higher) == 0, equal);
        EXPECT_EQ(compareVersions(lower, higher) < 0, !equal);
        EXPECT_EQ(compareVersions(higher, lower) > 0, !equal);
    }
}

}  // namespace
}  // namespace mavu::updater
