#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mavu::settings {

// The app's stored settings: one domain of keys holding strings or integers. Reads tell a
// key that is absent from one that is present; every write has reached the disk when the
// call returns (the app may end a moment later without running any destructor).
// Main queue only.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    // Whether key holds any value at all, readable or not.
    virtual bool contains(const std::string& key) const = 0;
    // None when key is absent.
    virtual std::optional<std::string> string(const std::string& key) const = 0;
    // None when key is absent or holds nothing readable as a 64-bit integer.
    virtual std::optional<std::int64_t> integer(const std::string& key) const = 0;

    virtual void setString(const std::string& key, const std::string& value) = 0;
    virtual void setInteger(const std::string& key, std::int64_t value) = 0;
    // Erases the whole domain: every key of the app, and the updater's own.
    virtual void removeDomain() = 0;
};

}  // namespace mavu::settings
