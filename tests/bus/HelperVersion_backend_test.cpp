#include "helper/version/HelperVersion.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace mavu::helper {
namespace {

std::string xmlPlist(const std::string& dict) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>" + dict +
           "</dict>\n</plist>\n";
}

// Every call reads the file afresh, so one bundle serves every case. The daemon sits two
// folders below Contents, as in the real bundle; each key is read on its own and only as
// a string.
TEST(HelperVersionTest, EachKeyIsReadFromTheBundlesInfoOrAnswersAQuestionMark) {
    testing::TempDir bundle;
    const auto helper = bundle.path("MAVU.app/Contents/Library/LaunchServices/mavu-helper");
    auto read = [](const std::optional<std::filesystem::path>& executable) {
        const auto version = readHelperVersion(executable);
        return version.shortVersion + " " + version.build;
    };
    EXPECT_EQ(read(std::nullopt), "? ?");
    EXPECT_EQ(read(helper), "? ?");
    const std::pair<std::string, std::string> cases[] = {
        {"", "? ?"},
        {"CFBundleVersion = 12", "? ?"},
        {"<plist version=\"1.0\"><array><string>1.0</string></array></plist>", "? ?"},
        {xmlPlist("<key>CFBundleVersion</key><string>57</string>"), "? 57"},
        {xmlPlist("<key>CFBundleShortVersionString</key><string>1.4.0</string>"
                  "<key>CFBundleVersion</key><integer>57</integer>"),
         "1.4.0 ?"},
        {xmlPlist("<key>CFBundleShortVersionString</key><string>1.4.0</string>"
                  "<key>CFBundleVersion</key><string>57</string>"),
         "1.4.0 57"},
    };
    for (const auto& [plist, expected] : cases) {
        bundle.write("MAVU.app/Contents/Info.plist", plist);
        EXPECT_EQ(read(helper), expected) << plist;
    }
}

}  // namespace
}  // namespace mavu::helper
