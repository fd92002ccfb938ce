#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/bundle/BundleInfo.h"

namespace mavu::bundle {

// The string values of the Info keys MAVU reads (kInfoKeys) in an Info.plist's top-level
// dictionary (XML or binary). None when the file is missing, unreadable, implausibly
// large, or its root is not a dictionary; values of other types are left out.
std::optional<std::map<std::string, std::string>> readInfoStrings(
    const std::filesystem::path& plist);

// The bundle-shaped tree's Info.plist for an executable in Contents/MacOS:
// <bundle>/Contents/MacOS/mavu -> <bundle>/Contents/Info.plist.
std::filesystem::path infoPlistBeside(const std::filesystem::path& executable);
// The running executable (/proc/self/exe), if it can be read.
std::optional<std::filesystem::path> runningExecutable();

// The Info values of one Info.plist, read once at construction; an unreadable file gives
// no values at all.
class PlistBundleInfo final : public BundleInfo {
  public:
    explicit PlistBundleInfo(const std::filesystem::path& plist);
    // The running app's bundle.
    static PlistBundleInfo mainBundle();

    std::optional<std::string> infoString(const std::string& key) const override;

  private:
    std::map<std::string, std::string> values_;
};

}  // namespace mavu::bundle
