#include "platform/codesign/ExecutableCheck.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/codesign/SignatureCheck.h"
#include "platform/codesign/SignedImage.h"

namespace mavu::codesign {

namespace {

// The whole file, mapped read-only for as long as it lives.
class Mapping {
  public:
    Mapping(int fd, std::size_t size)
        : data_(size == 0 ? MAP_FAILED : ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0)),
          size_(size) {}
    ~Mapping() {
        if (data_ != MAP_FAILED) {
            ::munmap(data_, size_);
        }
    }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;

    explicit operator bool() const { return data_ != MAP_FAILED; }
    std::string_view bytes() const { return {static_cast<const char*>(data_), size_}; }

  private:
    void* data_;
    std::size_t size_;
};

bool readAt(int fd, char* buffer, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t got = ::pread(fd, buffer, size, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        buffer += got;
        size -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

}  // namespace

Result<SigningIdentity> checkExecutable(int fd, const Requirement& requirement,
                                        const AnchorStore& anchors) {
    using R = Result<SigningIdentity>;
    struct stat facts {};
    if (::fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode)) {
        return R::failure("The program is not a regular file.");
    }
    const auto size = static_cast<std::uint64_t>(facts.st_size);
    if (size > kMaxExecutableSize) {
        return R::failure("The program is larger than " + std::to_string(kMaxExecutableSize >> 20) +
                          " MiB.");
    }
    std::string trailer(static_cast<std::size_t>(std::min<std::uint64_t>(size, kTrailerSize)),
                        '\0');
    if (!readAt(fd, trailer.data(), trailer.size(), static_cast<off_t>(size - trailer.size()))) {
        return R::failure("The program cannot be read.");
    }
    if (auto layout = parseSignatureTrailer(trailer, size); !layout) {
        return layout.forward<SigningIdentity>();
    }
    const Mapping file(fd, static_cast<std::size_t>(size));
    if (!file) {
        return R::failure("The program cannot be read.");
    }
    auto identity = verifySignedImage(file.bytes(), anchors);
    if (identity && !requirement.isMetBy(identity.value())) {
        return R::failure("The program is signed as \"" + identity->identifier + "\" by team \"" +
                          identity->team + "\", which the requirement does not admit.");
    }
    return identity;
}

}  // namespace mavu::codesign
