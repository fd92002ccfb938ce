#include "helper/version/HelperVersion.h"

#include <string>

#include "helper/Utf8.h"
#include "platform/bundle/InfoPlist.h"

namespace mavu::helper {
namespace {

constexpr char kUnknown[] = "?";

}  // namespace

protocol::HelperVersion readHelperVersion() {
    return readHelperVersion(bundle::runningExecutable());
}

protocol::HelperVersion readHelperVersion(const std::optional<std::filesystem::path>& executable) {
    if (!executable) {
        return {kUnknown, kUnknown};
    }
    // <bundle>/Contents/Library/LaunchServices/mavu-helper -> <bundle>/Contents/Info.plist
    const auto plist = executable->parent_path().parent_path().parent_path() / "Info.plist";
    const auto strings = bundle::readInfoStrings(plist);
    if (!strings) {
        return {kUnknown, kUnknown};
    }
    // The version goes out as a bus string, which must be UTF-8 without a NUL; a binary
    // plist can hold any UTF-16 text (lone surrogates, U+0000), which is no version.
    const auto value = [&](const char* key) {
        const auto found = strings->find(key);
        if (found == strings->end() || found->second.find('\0') != std::string::npos ||
            !isValidUtf8(found->second)) {
            return std::string(kUnknown);
        }
        return found->second;
    };
    return {value(bundle::kShortVersionKey), value(bundle::kVersionKey)};
}

}  // namespace mavu::helper
