// The Info.plist the daemon reads its version from.
#include <string>

#include "helper/Utf8.h"
#include "helper/version/HelperVersion.h"
#include "tests/fuzz/FuzzScratch.h"
#include "tests/fuzz/FuzzTarget.h"

MAVU_FUZZ_TARGET(InfoPlist) {
    // The daemon as it sits in a bundle whose Info.plist holds the input.
    const auto contents = mavu::fuzz::scratchDir() / "MAVU.app/Contents";
    mavu::fuzz::writeBytes(contents / "Info.plist", input);
    const auto version =
        mavu::helper::readHelperVersion(contents / "Library/LaunchServices/mavu-helper");
    // Both reach clients as bus strings, which must be UTF-8 without a NUL.
    for (const std::string* text : {&version.shortVersion, &version.build}) {
        MAVU_FUZZ_CHECK(mavu::helper::isValidUtf8(*text));
        MAVU_FUZZ_CHECK(text->find('\0') == std::string::npos);
    }
}
