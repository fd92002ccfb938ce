#include "platform/clientcheck/FileKey.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace mavu::clientcheck {

std::optional<FileFacts> fileFacts(int fd) {
    struct statx facts {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC,
                STATX_TYPE | STATX_INO | STATX_SIZE | STATX_CTIME, &facts) != 0) {
        return std::nullopt;
    }
    const std::uint64_t device =
        (static_cast<std::uint64_t>(facts.stx_dev_major) << 32) | facts.stx_dev_minor;
    return FileFacts{
        {device, facts.stx_ino, facts.stx_size, facts.stx_ctime.tv_sec, facts.stx_ctime.tv_nsec},
        S_ISREG(facts.stx_mode)};
}

}  // namespace mavu::clientcheck
