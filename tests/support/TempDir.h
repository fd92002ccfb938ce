#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace mavu::testing {

inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Writes bytes to file, creating its folders.
inline void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

// A fresh directory under the temporary folder, removed with everything in it at the end:
// scratch space, or a machine's /sys, /proc and /run in backend tests.
class TempDir {
  public:
    TempDir() {
        std::string pattern = std::filesystem::temp_directory_path() / "mavu-test-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        root_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return root_; }
    std::filesystem::path path(const std::string& relative) const { return root_ / relative; }

    // Writes bytes to the file at relative, creating its folders; returns its full path.
    std::string write(const std::string& relative, const std::string& bytes) const {
        mavu::testing::writeFile(path(relative), bytes);
        return path(relative).string();
    }
    std::string writeExecutable(const std::string& name, const std::string& bytes) const {
        const auto file = write(name, bytes);
        ::chmod(file.c_str(), 0755);
        return file;
    }
    // An executable /bin/sh script with body after the #! line.
    std::string writeScript(const std::string& name, const std::string& body) const {
        return writeExecutable(name, "#!/bin/sh\n" + body);
    }
    std::string read(const std::string& relative) const { return readFile(path(relative)); }
    bool exists(const std::string& relative) const {
        return std::filesystem::exists(path(relative));
    }

  private:
    std::filesystem::path root_;
};

}  // namespace mavu::testing
