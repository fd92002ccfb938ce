#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mavu::hardware {

// Readers for the small text files the kernel publishes under /sys and /proc. Every
// failure (missing file, I/O error, not a number) is "nothing", never an exception:
// firmware and drivers leave plenty of unreadable entries behind.

// The file's text without surrounding whitespace.
std::optional<std::string> readSysfsText(const std::filesystem::path& file);
// The file's text as one whole decimal integer.
std::optional<long long> readSysfsInteger(const std::filesystem::path& file);
// The entries of dir whose names start with prefix, sorted by name; empty when dir
// cannot be listed.
std::vector<std::filesystem::path> listEntries(const std::filesystem::path& dir,
                                               std::string_view prefix);

}  // namespace mavu::hardware
