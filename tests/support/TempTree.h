#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace mavu::testing {

// A fresh directory under the temporary folder, removed with everything in it when the
// object goes away. Stands in for a machine's /sys, /proc and /run in backend tests.
class TempTree {
  public:
    TempTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "mavu-test-XXXXXX");
        if (!mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        root_ = pattern;
    }
    ~TempTree() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path path(const std::string& relative) const { return root_ / relative; }

    // Writes text to the file at relative, creating its folders.
    void write(const std::string& relative, const std::string& text) const {
        const auto file = path(relative);
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::trunc) << text;
    }
    std::string read(const std::string& relative) const {
        std::ifstream in(path(relative));
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool exists(const std::string& relative) const {
        return std::filesystem::exists(path(relative));
    }

  private:
    std::filesystem::path root_;
};

}  // namespace mavu::testing
