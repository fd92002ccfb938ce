#pragma once

#include <filesystem>
#include <string_view>

namespace mavu::fuzz {

// A folder of this process's own (in /dev/shm when there is one, since file-reading
// targets rewrite it on every input), removed when the process exits.
const std::filesystem::path& scratchDir();

// Replaces file with exactly bytes, creating its folders.
void writeBytes(const std::filesystem::path& file, std::string_view bytes);

// Replaces root with the tree that layout describes, one entry per line:
//   supply/BAT0/capacity=85     a file holding the text after '=' (no newline added)
//   supply/BAT0/status          no '=': a folder, which reads like an unreadable file
// Paths are up to 128 letters, digits, '_', '-', '.' and '/' with no "." or ".." part;
// other lines are skipped, and so is everything after the first 64 entries, which keeps
// each input cheap to lay out.
void writeTree(const std::filesystem::path& root, std::string_view layout);

}  // namespace mavu::fuzz
