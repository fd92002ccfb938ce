// The Info.plist the daemon reads its version from.
#include <plist/plist.h>

#include <cstdlib>
#include <string>

#include "helper/Utf8.h"
#include "helper/version/HelperVersion.h"
#include "tests/fuzz/FuzzScratch.h"
#include "tests/fuzz/FuzzTarget.h"

namespace {

// Where the daemon would sit in a bundle whose Info.plist holds bytes.
std::filesystem::path bundleWith(std::string_view bytes) {
    const auto contents = mavu::fuzz::scratchDir() / "MAVU.app/Contents";
    mavu::fuzz::writeBytes(contents / "Info.plist", bytes);
    return contents / "Library/LaunchServices/mavu-helper";
}

// An XML property list with the two keys, each only when it is not "?".
std::string plistWith(const mavu::protocol::HelperVersion& version) {
    plist_t dictionary = plist_new_dict();
    if (version.shortVersion != "?") {
        plist_dict_set_item(dictionary, "CFBundleShortVersionString",
                            plist_new_string(version.shortVersion.c_str()));
    }
    if (version.build != "?") {
        plist_dict_set_item(dictionary, "CFBundleVersion", plist_new_string(version.build.c_str()));
    }
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(dictionary, &xml, &length);
    std::string text(xml, length);
    std::free(xml);
    plist_free(dictionary);
    return text;
}

}  // namespace

MAVU_FUZZ_TARGET(InfoPlist) {
    const auto version = mavu::helper::readHelperVersion(bundleWith(input));
    // Both reach clients as bus strings, which must be UTF-8 without a NUL.
    for (const std::string* text : {&version.shortVersion, &version.build}) {
        MAVU_FUZZ_CHECK(mavu::helper::isValidUtf8(*text));
        MAVU_FUZZ_CHECK(text->find('\0') == std::string::npos);
    }
    // Written into a fresh Info.plist, what was read reads back the same.
    const auto again = mavu::helper::readHelperVersion(bundleWith(plistWith(version)));
    MAVU_FUZZ_CHECK(again.shortVersion == version.shortVersion && again.build == version.build);
}
