#include "helper/version/HelperVersion.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>

#include "tests/system/harness/TempDir.h"

namespace mavu::helper {
namespace {

using testing::TempDir;
using testing::writeFile;

std::string xmlPlist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body +
           "\n</plist>\n";
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

class HelperVersionTest : public ::testing::Test {
  protected:
    // The daemon sits two folders below Contents, as in the real bundle.
    std::filesystem::path executable() const {
        return dir / "MAVU.app/Contents/Library/LaunchServices/mavu-helper";
    }
    protocol::HelperVersion versionWithPlist(const std::string& text) {
        writeFile(dir / "MAVU.app/Contents/Info.plist", text);
        return readHelperVersion(executable());
    }

    TempDir dir;
};

void expectVersion(const protocol::HelperVersion& version, const std::string& shortVersion,
                   const std::string& build) {
    EXPECT_EQ(version.shortVersion, shortVersion);
    EXPECT_EQ(version.build, build);
}

TEST_F(HelperVersionTest, MissingOrUnreadableInfoAnswersQuestionMarks) {
    expectVersion(readHelperVersion(std::nullopt), "?", "?");
    expectVersion(readHelperVersion(executable()), "?", "?");
    expectVersion(versionWithPlist(""), "?", "?");
    expectVersion(versionWithPlist("CFBundleVersion = 12"), "?", "?");
    expectVersion(versionWithPlist(xmlPlist("<array><string>1.0</string></array>")), "?", "?");
}

TEST_F(HelperVersionTest, EachKeyIsReadOnItsOwnAndOnlyAsAString) {
    expectVersion(
        versionWithPlist(xmlPlist("<dict><key>CFBundleVersion</key><string>57</string></dict>")),
        "?", "57");
    expectVersion(versionWithPlist(xmlPlist("<dict><key>CFBundleShortVersionString</key>"
                                            "<string>1.4.0</string><key>CFBundleVersion</key>"
                                            "<integer>57</integer></dict>")),
                  "1.4.0", "?");
    expectVersion(versionWithPlist(xmlPlist("<dict><key>CFBundleShortVersionString</key>"
                                            "<string>1.4.0</string><key>CFBundleVersion</key>"
                                            "<string>57</string></dict>")),
                  "1.4.0", "57");
    expectVersion(versionWithPlist(binaryPlist("2.0", "99")), "2.0", "99");
}

TEST_F(HelperVersionTest, EveryCallReadsTheFileAfresh) {
    expectVersion(versionWithPlist(binaryPlist("2.0", "99")), "2.0", "99");
    expectVersion(versionWithPlist(binaryPlist("2.1", "100")), "2.1", "100");
}

TEST(HelperVersionBuildTree, TheBuiltDaemonFindsTheBuildsInfoPlist) {
    expectVersion(
        readHelperVersion(std::filesystem::path(MAVU_TEST_BUILD_HELPER_DIR) / "mavu-helper"),
        MAVU_TEST_PROJECT_VERSION, MAVU_TEST_BUILD_NUMBER);
}

}  // namespace
}  // namespace mavu::helper
