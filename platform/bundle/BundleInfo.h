#pragma once

#include <optional>
#include <string>

namespace mavu::bundle {

// Keys of the bundle's Info values the app reads.
inline constexpr char kIdentifierKey[] = "CFBundleIdentifier";
inline constexpr char kVersionKey[] = "CFBundleVersion";
inline constexpr char kShortVersionKey[] = "CFBundleShortVersionString";
inline constexpr char kFeedUrlKey[] = "SUFeedURL";
// Every key read from an Info.plist: only these are looked up in it.
inline constexpr const char* kInfoKeys[] = {kIdentifierKey, kVersionKey, kShortVersionKey,
                                            kFeedUrlKey};

// The Info values of the running program's bundle.
class BundleInfo {
  public:
    virtual ~BundleInfo() = default;
    // The value of key when it is a string; none when it is absent or of another type.
    virtual std::optional<std::string> infoString(const std::string& key) const = 0;
};

}  // namespace mavu::bundle
