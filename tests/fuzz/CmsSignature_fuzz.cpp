// The CMS envelope of a signed program: the signature bytes, appended to a fixed program
// and checked as the verifier process checks a caller's program, against a fixed anchor
// (CmsSignature-anchor.pem). The corpus holds signatures made once by leaves under that
// anchor (identifier com.norvel.mavu, team QX3J8R2N5T; their keys were thrown away) and by
// leaves it must refuse (another CA, a missing intermediate, no team, an e-mail certificate).
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "platform/codesign/AnchorStore.h"
#include "platform/codesign/ExecutableCheck.h"
#include "platform/codesign/Requirement.h"
#include "platform/codesign/SignedImage.h"
#include "tests/fuzz/FuzzTarget.h"

namespace {

using namespace mavu::codesign;

constexpr std::string_view kProgram =
    "\x7f"
    "ELF MAVU fuzz seed program\n";

Result<SigningIdentity> check(std::string_view program, std::string_view signature) {
    static const AnchorStore anchors = AnchorStore::load(MAVU_FUZZ_ANCHOR).value();
    static const Requirement anyLeaf = createRequirement("anchor apple generic").value();
    const std::string file = joinSignedImage(program, signature);
    const int fd = ::memfd_create("program", MFD_CLOEXEC);
    MAVU_FUZZ_CHECK(::write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size()));
    auto identity = checkExecutable(fd, anyLeaf, anchors);
    ::close(fd);
    return identity;
}

}  // namespace

MAVU_FUZZ_TARGET(CmsSignature) {
    const auto identity = check(kProgram, input);
    if (!identity) {
        MAVU_FUZZ_CHECK(!identity.error().empty());
        return;
    }
    // Nothing but the signatures made with the thrown-away keys can pass, they name who
    // made them, and they cover every byte of the program.
    MAVU_FUZZ_CHECK(identity.value() == (SigningIdentity{"com.norvel.mavu", "QX3J8R2N5T"}));
    MAVU_FUZZ_CHECK(!check(std::string(kProgram) + "!", input));
}
