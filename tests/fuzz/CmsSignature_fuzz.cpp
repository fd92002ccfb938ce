// The CMS envelope of a signed program: the signature bytes, appended to a fixed program
// and checked against a fixed anchor. The corpus holds signatures made once by leaves
// under that anchor (identifier com.norvel.mavu, team QX3J8R2N5T; their keys were thrown
// away) and by leaves it must refuse (another CA, a missing intermediate, no team, an
// e-mail certificate).
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "platform/codesign/AnchorStore.h"
#include "platform/codesign/ExecutableCheck.h"
#include "platform/codesign/Requirement.h"
#include "platform/codesign/SignatureCheck.h"
#include "platform/codesign/SignatureDescription.h"
#include "platform/codesign/SignedImage.h"
#include "tests/fuzz/FuzzScratch.h"
#include "tests/fuzz/FuzzTarget.h"

namespace {

using namespace mavu::codesign;

constexpr std::string_view kProgram =
    "\x7f"
    "ELF MAVU fuzz seed program\n";
const SigningIdentity kSigned{"com.norvel.mavu", "QX3J8R2N5T"};

constexpr std::string_view kAnchor = R"(
-----BEGIN CERTIFICATE-----
MIIBqTCCAVCgAwIBAgIUGbmRBCffBhQdCbsObQwac7GMpwgwCgYIKoZIzj0EAwIw
MjEVMBMGA1UECgwMTUFWVSBGdXp6aW5nMRkwFwYDVQQDDBBNQVZVIGZ1enogYW5j
aG9yMCAXDTI2MTIwNjIyNDE1N1oYDzIxMjYxMTEyMjI0MTU3WjAyMRUwEwYDVQQK
DAxNQVZVIEZ1enppbmcxGTAXBgNVBAMMEE1BVlUgZnV6eiBhbmNob3IwWTATBgcq
hkjOPQIBBggqhkjOPQMBBwNCAAStYfjfs5Z7O4Qz7qAUZNXsevxs+WB4RXsQF9PC
+rSrPMQUp4biufRmj6n5e9vVMNC6mhT7/rCaXgLZWRHi15MMo0IwQDAPBgNVHRMB
Af8EBTADAQH/MA4GA1UdDwEB/wQEAwIBBjAdBgNVHQ4EFgQUnwhrG2OCyU/owb+1
8glY7x1fOqYwCgYIKoZIzj0EAwIDRwAwRAIgWBA2oyHRN4XGNq42YrT4adC+Q+pV
wooBcj9kPYZFvVkCIGH8sMc6QtQjjyTSKqCqJwfroI5tozCjPQZCh2IcLRGy
-----END CERTIFICATE-----
)";

const AnchorStore& anchors() {
    static const AnchorStore store = [] {
        const auto file = mavu::fuzz::scratchDir() / "anchor.pem";
        mavu::fuzz::writeBytes(file, kAnchor);
        auto loaded = AnchorStore::load(file.string());
        MAVU_FUZZ_CHECK(loaded);
        return std::move(loaded).value();
    }();
    return store;
}

// The check the verifier process makes of a caller's program: the file read from a
// descriptor, trailer first.
Result<SigningIdentity> checkAsProgram(std::string_view file) {
    static const Requirement requirement =
        createRequirement(
            "anchor apple generic and identifier \"com.norvel.mavu\" and "
            "certificate leaf[subject.OU] = \"QX3J8R2N5T\"")
            .value();
    const int fd = ::memfd_create("program", MFD_CLOEXEC);
    MAVU_FUZZ_CHECK(fd >= 0);
    MAVU_FUZZ_CHECK(::write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size()));
    auto identity = checkExecutable(fd, requirement, anchors());
    ::close(fd);
    return identity;
}

}  // namespace

MAVU_FUZZ_TARGET(CmsSignature) {
    const std::string file = joinSignedImage(kProgram, input);
    const auto identity = verifySignedImage(file, anchors());
    // The verifier process comes to the same verdict.
    const auto checked = checkAsProgram(file);
    MAVU_FUZZ_CHECK(static_cast<bool>(checked) == static_cast<bool>(identity));
    MAVU_FUZZ_CHECK(!checked || checked.value() == identity.value());
    const auto description = describeSignedImage(file);
    if (description) {
        MAVU_FUZZ_CHECK(!description->identifier.empty());
        MAVU_FUZZ_CHECK(description->signedBytes == kProgram.size());
    }
    if (!identity) {
        MAVU_FUZZ_CHECK(!identity.error().empty());
        return;
    }
    // Nothing but the signatures made with the thrown-away keys can pass, and they name
    // who made them; describing a signature tells the same names as checking it.
    MAVU_FUZZ_CHECK(identity.value() == kSigned);
    MAVU_FUZZ_CHECK(description && description->identifier == identity->identifier &&
                    description->team == identity->team);
    // The signature covers every byte of the program.
    MAVU_FUZZ_CHECK(
        !verifySignedImage(joinSignedImage(std::string(kProgram) + "!", input), anchors()));
}
