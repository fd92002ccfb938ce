#include "helper/version/HelperVersion.h"

#include <string>

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
    const auto value = [&](const char* key) {
        const auto found = strings->find(key);
        return found == strings->end() ? std::string(kUnknown) : found->second;
    };
    return {value(bundle::kShortVersionKey), value(bundle::kVersionKey)};
}

}  // namespace mavu::helper
