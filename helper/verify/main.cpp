// mavu-verify: checks a client's signature for the daemon, so that the parsing of what a
// caller sent never runs as root. The daemon starts it once per check and kills it at
// the check's deadline.
//   descriptor 3   the client's program file (a path handle will do)
//   descriptor 4   the anchor certificates (PEM)
//   --uid N --gid N   who to become, when started as root, before the program is read
// Prints "accepted <identifier> <team>" and exits 0, or "refused: <why>" and exits 1.
// Status 2: it could not check.
#include <fcntl.h>
#include <openssl/crypto.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "helper/verify/Confinement.h"
#include "platform/clientcheck/ClientCheck.h"
#include "platform/codesign/AnchorStore.h"
#include "platform/codesign/ExecutableCheck.h"
#include "platform/codesign/Requirement.h"

namespace {

using namespace mavu;

constexpr int kProgramFd = 3;
constexpr int kAnchorFd = 4;
constexpr int kCannotCheck = 2;
// Anchor files hold a few certificates.
constexpr std::size_t kMaxAnchorSize = 1024 * 1024;

std::optional<unsigned> number(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> readAnchor(int fd) {
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 || text.size() + static_cast<std::size_t>(got) > kMaxAnchorSize) {
            return std::nullopt;
        }
        if (got == 0) {
            return text;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

int cannotCheck(const char* why) {
    std::fprintf(stderr, "mavu-verify: %s\n", why);
    return kCannotCheck;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<unsigned> uid, gid;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        if (option == "--uid") {
            uid = number(argv[i + 1]);
        } else if (option == "--gid") {
            gid = number(argv[i + 1]);
        }
    }
    if (argc != 5 || !uid || !gid) {
        return cannotCheck("usage: mavu-verify --uid N --gid N (program on fd 3, anchor on 4)");
    }

    // Opened for reading while the right to read it is still held; the handle we were
    // given reads nothing.
    const int program = ::open(("/proc/self/fd/" + std::to_string(kProgramFd)).c_str(),
                               O_RDONLY | O_CLOEXEC | O_NOCTTY);
    ::close(kProgramFd);
    const std::optional<std::string> anchorText = readAnchor(kAnchorFd);
    ::close(kAnchorFd);
    if (program < 0 || !anchorText) {
        return cannotCheck("the program or the anchor cannot be read");
    }
    if (!verify::dropPrivileges(*uid, *gid)) {
        return cannotCheck("cannot give up privileges");
    }

    // OpenSSL reads its configuration and the C library the time zone on first use:
    // before the filter shuts files out.
    OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG, nullptr);
    ::tzset();
    const auto anchors = codesign::AnchorStore::fromPem(*anchorText, "the anchor file");
    const auto requirement = codesign::createRequirement(clientcheck::kClientRequirement);
    if (!anchors || !requirement) {
        return cannotCheck(!anchors ? anchors.error().c_str() : requirement.error().c_str());
    }
    if (!verify::restrictSystemCalls()) {
        return cannotCheck("cannot restrict its system calls");
    }

    const auto identity = codesign::checkExecutable(program, requirement.value(), anchors.value());
    if (!identity) {
        std::printf("refused: %s\n", identity.error().c_str());
        return 1;
    }
    std::printf("accepted %s %s\n", identity->identifier.c_str(), identity->team.c_str());
    return 0;
}
