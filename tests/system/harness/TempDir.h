#pragma once

#include <filesystem>
#include <string>

namespace mavu::testing {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it on
// destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, const std::string& text, bool executable = false);
// The whole file, or "" when it does not exist.
std::string readFile(const std::filesystem::path& path);

}  // namespace mavu::testing
