#include "helper/version/HelperVersion.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>

#include "tests/support/TempDir.h"

namespace mavu::helper {
namespace {

using Version = std::pair<std::string, std::string>;

std::string xmlPlist(const std::string& dict) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>" + dict +
           "</dict>\n</plist>\n";
}

std::string binaryPlist(const char* shortVersion, const char* build) {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "CFBundleShortVersionString", plist_new_string(shortVersion));
    plist_dict_set_item(dict, "CFBundleVersion", plist_new_string(build));
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(dict, &bytes, &length);
    std::string result(bytes, length);
    std::free(bytes);
    plist_free(dict);
    return result;
}

// Every call reads the file afresh, so one bundle serves every case. The daemon sits two
// folders below Contents, as in the real bundle.
class HelperVersionTest : public ::testing::Test {
  protected:
    Version read(std::optional<std::filesystem::path> executable) {
        const auto version = readHelperVersion(executable);
        return {version.shortVersion, version.build};
    }
    Version withPlist(const std::string& text) {
        bundle.write("MAVU.app/Contents/Info.plist", text);
        return read(helper);
    }

    testing::TempDir bundle;
    std::filesystem::path helper =
        bundle.path("MAVU.app/Contents/Library/LaunchServices/mavu-helper");
};

TEST_F(HelperVersionTest, MissingOrUnreadableInfoAnswersQuestionMarks) {
    const Version unknown{"?", "?"};
    EXPECT_EQ(read(std::nullopt), unknown);
    EXPECT_EQ(read(helper), unknown);
    EXPECT_EQ(withPlist(""), unknown);
    EXPECT_EQ(withPlist("CFBundleVersion = 12"), unknown);
    EXPECT_EQ(withPlist("<plist version=\"1.0\"><array><string>1.0</string></array></plist>"),
              unknown);
}

TEST_F(HelperVersionTest, EachKeyIsReadOnItsOwnAndOnlyAsAString) {
    EXPECT_EQ(withPlist(xmlPlist("<key>CFBundleVersion</key><string>57</string>")),
              Version("?", "57"));
    EXPECT_EQ(withPlist(xmlPlist("<key>CFBundleShortVersionString</key><string>1.4.0</string>"
                                 "<key>CFBundleVersion</key><integer>57</integer>")),
              Version("1.4.0", "?"));
    EXPECT_EQ(withPlist(xmlPlist("<key>CFBundleShortVersionString</key><string>1.4.0</string>"
                                 "<key>CFBundleVersion</key><string>57</string>")),
              Version("1.4.0", "57"));
    EXPECT_EQ(withPlist(binaryPlist("2.0", "99")), Version("2.0", "99"));
    EXPECT_EQ(withPlist(binaryPlist("2.1", "100")), Version("2.1", "100"));
}

}  // namespace
}  // namespace mavu::helper
