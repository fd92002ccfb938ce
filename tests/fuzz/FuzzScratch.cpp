#include "tests/fuzz/FuzzScratch.h"

#include <stdlib.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace mavu::fuzz {
namespace {

constexpr int kMaxTreeEntries = 64;
// Far below the file system's 255 bytes per name: no sysfs name comes close.
constexpr std::size_t kMaxNameLength = 64;

std::filesystem::path makeScratchDir() {
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                           ? "/dev/shm"
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "mavu-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mavu fuzz: mkdtemp");
        std::abort();
    }
    return pattern;
}

void removeScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(scratchDir(), ignored);
}

// Letters, digits, '_', '-' and '.' in parts of at most kMaxNameLength, never "." or "..".
bool isSafeRelativePath(std::string_view path) {
    std::size_t partLength = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            const std::string_view part = path.substr(i - partLength, partLength);
            if (part.empty() || part.size() > kMaxNameLength || part == "." || part == "..") {
                return false;
            }
            partLength = 0;
        } else if (std::isalnum(static_cast<unsigned char>(path[i])) || path[i] == '_' ||
                   path[i] == '-' || path[i] == '.') {
            ++partLength;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

const std::filesystem::path& scratchDir() {
    static const std::filesystem::path dir = [] {
        auto made = makeScratchDir();
        std::atexit(removeScratchDir);
        return made;
    }();
    return dir;
}

void writeBytes(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()) {
        std::perror("mavu fuzz: write");
        std::abort();
    }
}

void writeTree(const std::filesystem::path& root, std::string_view spec) {
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    int entries = 0;
    while (!spec.empty() && entries < kMaxTreeEntries) {
        const std::size_t newline = std::min(spec.find('\n'), spec.size());
        const std::string_view line = spec.substr(0, newline);
        spec.remove_prefix(std::min(newline + 1, spec.size()));
        const std::size_t equals = line.find('=');
        const std::string_view path = line.substr(0, equals);
        if (!isSafeRelativePath(path)) {
            continue;
        }
        ++entries;
        std::error_code error;
        const auto target = root / path;
        // A later line may name a file where an earlier one made a folder, or the other
        // way round; the later one wins.
        std::filesystem::remove_all(target, error);
        std::filesystem::create_directories(target.parent_path(), error);
        if (error) {
            continue;  // a parent is a file already
        }
        if (equals == std::string_view::npos) {
            std::filesystem::create_directory(target, error);
        } else {
            writeBytes(target, line.substr(equals + 1));
        }
    }
}

}  // namespace mavu::fuzz
