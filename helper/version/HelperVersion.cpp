#include "helper/version/HelperVersion.h"

#include <plist/plist.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>

#include "helper/Utf8.h"

namespace mavu::helper {
namespace {

constexpr char kUnknown[] = "?";
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

// A dictionary root, as the bundle's Info values are; anything else counts as unreadable.
PlistPtr loadDictionary(const std::filesystem::path& path) {
    const auto bytes = readFile(path);
    if (!bytes || bytes->empty()) {
        return nullptr;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes->data(), static_cast<uint32_t>(bytes->size()), &root);
    PlistPtr owned(root);
    if (!owned || plist_get_node_type(owned.get()) != PLIST_DICT) {
        return nullptr;
    }
    return owned;
}

std::string stringValue(plist_t dictionary, const char* key) {
    plist_t node = plist_dict_get_item(dictionary, key);
    if (!node || plist_get_node_type(node) != PLIST_STRING) {
        return kUnknown;
    }
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (!text) {
        return kUnknown;
    }
    // The version goes out as a bus string, which must be UTF-8 without a NUL; a binary
    // plist can hold any UTF-16 text (lone surrogates, U+0000), which is no version.
    std::string value(text, length);
    if (value.find('\0') != std::string::npos || !isValidUtf8(value)) {
        return kUnknown;
    }
    return value;
}

std::optional<std::filesystem::path> runningExecutable() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || path.empty()) {
        return std::nullopt;
    }
    return path;
}

}  // namespace

protocol::HelperVersion readHelperVersion() {
    return readHelperVersion(runningExecutable());
}

protocol::HelperVersion readHelperVersion(const std::optional<std::filesystem::path>& executable) {
    if (!executable) {
        return {kUnknown, kUnknown};
    }
    // <bundle>/Contents/Library/LaunchServices/mavu-helper -> <bundle>/Contents/Info.plist
    const auto plist = executable->parent_path().parent_path().parent_path() / "Info.plist";
    const auto dictionary = loadDictionary(plist);
    if (!dictionary) {
        return {kUnknown, kUnknown};
    }
    return {stringValue(dictionary.get(), "CFBundleShortVersionString"),
            stringValue(dictionary.get(), "CFBundleVersion")};
}

}  // namespace mavu::helper
