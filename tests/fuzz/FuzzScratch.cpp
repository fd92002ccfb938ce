#include "tests/fuzz/FuzzScratch.h"

#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace mavu::fuzz {
namespace {

bool isSafeRelativePath(std::string_view path) {
    constexpr std::string_view kNameCharacters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./";
    if (path.empty() || path.size() > 128 || path.find_first_not_of(kNameCharacters) != path.npos) {
        return false;
    }
    for (const auto& part : std::filesystem::path(path)) {
        if (part.empty() || part == "/" || part == "." || part == "..") {
            return false;
        }
    }
    return true;
}

}  // namespace

const std::filesystem::path& scratchDir() {
    static const std::filesystem::path dir = [] {
        const bool shm = std::filesystem::is_directory("/dev/shm");
        std::string made =
            ((shm ? "/dev/shm" : std::filesystem::temp_directory_path()) / "mavu-fuzz-XXXXXX");
        if (::mkdtemp(made.data()) == nullptr) {
            std::abort();
        }
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchDir(), ignored);
        });
        return std::filesystem::path(made);
    }();
    return dir;
}

void writeBytes(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()) {
        std::abort();
    }
}

void writeTree(const std::filesystem::path& root, std::string_view layout) {
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    for (int entries = 0; !layout.empty() && entries < 64;) {
        const std::string_view line = layout.substr(0, layout.find('\n'));
        layout.remove_prefix(std::min(line.size() + 1, layout.size()));
        const std::size_t equals = line.find('=');
        if (!isSafeRelativePath(line.substr(0, equals))) {
            continue;
        }
        ++entries;
        // A later line may name a file where an earlier one made a folder, or the other
        // way round: the later one wins. A parent that is a file already skips the line.
        std::error_code error;
        const auto target = root / line.substr(0, equals);
        std::filesystem::remove_all(target, error);
        std::filesystem::create_directories(target.parent_path(), error);
        if (error) {
            continue;
        } else if (equals == line.npos) {
            std::filesystem::create_directory(target, error);
        } else {
            writeBytes(target, line.substr(equals + 1));
        }
    }
}

}  // namespace mavu::fuzz
