#include "helper/version/HelperVersion.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace mavu::helper {
namespace {

// The daemon sits two folders below Contents, as in the real bundle, whose version the
// system test reads; here what gives no version: no executable, no Info.plist, a key that
// is not a string. (The fuzz target reads every other kind of broken plist.)
TEST(HelperVersionTest, WhatIsNoVersionInTheBundlesInfoIsAQuestionMark) {
    testing::TempDir bundle;
    const auto helper = bundle.path("MAVU.app/Contents/Library/LaunchServices/mavu-helper");
    const auto read = [](const std::optional<std::filesystem::path>& executable) {
        const auto version = readHelperVersion(executable);
        return version.shortVersion + " " + version.build;
    };
    EXPECT_EQ(read(std::nullopt), "? ?");
    EXPECT_EQ(read(helper), "? ?");
    bundle.write("MAVU.app/Contents/Info.plist",
                 "<plist version=\"1.0\"><dict><key>CFBundleShortVersionString</key>"
                 "<string>1.4.0</string><key>CFBundleVersion</key><integer>57</integer>"
                 "</dict></plist>");
    EXPECT_EQ(read(helper), "1.4.0 ?");
}

}  // namespace
}  // namespace mavu::helper
