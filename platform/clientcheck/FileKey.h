#pragma once

#include <compare>
#include <cstdint>
#include <optional>

namespace mavu::clientcheck {

// What tells one version of a file from another without reading it: a write, a rename
// over it or a change of mode all give a new change time, which no one can set by hand.
struct FileKey {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t changeSeconds = 0;
    std::uint32_t changeNanoseconds = 0;
    auto operator<=>(const FileKey&) const = default;
};

struct FileFacts {
    FileKey key;
    bool regular = false;
};

// The facts of the file fd refers to (a path handle will do), taken from what the kernel
// already knows: a network or user-space file system is not asked, so this cannot stall.
std::optional<FileFacts> fileFacts(int fd);

}  // namespace mavu::clientcheck
