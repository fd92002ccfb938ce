#include "platform/bundle/InfoPlist.h"

#include <plist/plist.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <system_error>

namespace mavu::bundle {
namespace {

// An Info.plist is a few hundred bytes; anything this large is not one.
constexpr std::uintmax_t kMaxPlistBytes = 1 << 20;

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > kMaxPlistBytes) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

std::optional<std::map<std::string, std::string>> readInfoStrings(
    const std::filesystem::path& plist) {
    const auto bytes = readFile(plist);
    if (!bytes || bytes->empty()) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes->data(), static_cast<uint32_t>(bytes->size()), &root);
    const PlistPtr owned(root);
    if (!owned || plist_get_node_type(owned.get()) != PLIST_DICT) {
        return std::nullopt;
    }
    // Looked up by name, never listed: libplist aborts on listing a key that holds a NUL,
    // which a binary plist can carry.
    std::map<std::string, std::string> strings;
    for (const char* key : kInfoKeys) {
        const plist_t value = plist_dict_get_item(owned.get(), key);
        if (value && plist_get_node_type(value) == PLIST_STRING) {
            uint64_t length = 0;
            if (const char* text = plist_get_string_ptr(value, &length)) {
                strings.emplace(key, std::string(text, length));
            }
        }
    }
    return strings;
}

std::filesystem::path infoPlistBeside(const std::filesystem::path& executable) {
    return executable.parent_path().parent_path() / "Info.plist";
}

std::optional<std::filesystem::path> runningExecutable() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || path.empty()) {
        return std::nullopt;
    }
    return path;
}

PlistBundleInfo::PlistBundleInfo(const std::filesystem::path& plist)
    : values_(readInfoStrings(plist).value_or(std::map<std::string, std::string>{})) {}

PlistBundleInfo PlistBundleInfo::mainBundle() {
    const auto executable = runningExecutable();
    return PlistBundleInfo(executable ? infoPlistBeside(*executable) : std::filesystem::path{});
}

std::optional<std::string> PlistBundleInfo::infoString(const std::string& key) const {
    const auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace mavu::bundle
