#include "tools/mavu-codesign/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace mavu::tools {

using codesign::Passed;
using codesign::Result;

Result<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return Result<std::string>::failure("Cannot open " + path + ": " + std::strerror(errno));
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) {
        return Result<std::string>::failure("Cannot read " + path + ".");
    }
    return std::move(bytes).str();
}

Result<Passed> replaceFile(const std::string& path, const std::string& bytes) {
    auto fail = [&](const std::string& what) {
        return Result<Passed>::failure(what + " " + path + ": " + std::strerror(errno));
    };
    // A link is followed, so the file it names is replaced and the link stays.
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return fail("Cannot find");
    }
    std::string target = resolved;
    std::free(resolved);
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0) {
        return fail("Cannot look at");
    }
    std::string temporary = target + ".signing-XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return fail("Cannot write beside");
    }
    bool written = ::fchmod(fd, info.st_mode & 07777) == 0;
    for (std::size_t done = 0; written && done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        written = n > 0;
        done += written ? static_cast<std::size_t>(n) : 0;
    }
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        auto result = fail("Cannot replace");
        ::unlink(temporary.c_str());
        return result;
    }
    return Passed{};
}

}  // namespace mavu::tools
