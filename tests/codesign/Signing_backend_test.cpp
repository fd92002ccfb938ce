// Signing programs with throwaway identities, checking them as the verifier process
// checks a client's program, and the tool built on it.
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <sys/mman.h>

#include "platform/clientcheck/ClientCheck.h"
#include "platform/clientcheck/UniqueFd.h"
#include "platform/codesign/AnchorStore.h"
#include "platform/codesign/ExecutableCheck.h"
#include "platform/codesign/SignatureCheck.h"
#include "platform/codesign/SignedImage.h"
#include "platform/codesign/Signer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace mavu::codesign {
namespace {

using mavu::testing::runProcess;

std::string caCert(const std::string& name) {
    return std::string(MAVU_SIGNING_DIR) + "/ca-" + name + "/cert.pem";
}
SigningCredentials credentials(const std::string& identity, std::string chain = {}) {
    const std::string dir = std::string(MAVU_SIGNING_DIR) + "/identity-" + identity;
    return {dir + "/cert.pem", dir + "/key.pem", std::move(chain)};
}

const std::string kProgram =
    "\x7f"
    "ELF pretend program bytes";

// The check of a client's program, held in a file of bytes, under the anchor file given.
Result<SigningIdentity> checkClient(const std::string& bytes, const std::string& anchor) {
    auto anchors = AnchorStore::load(anchor);
    if (!anchors) {
        return anchors.forward<SigningIdentity>();
    }
    const clientcheck::UniqueFd program(::memfd_create("program", MFD_CLOEXEC));
    EXPECT_EQ(::write(program.get(), bytes.data(), bytes.size()), ssize_t(bytes.size()));
    return checkExecutable(
        program.get(), createRequirement(clientcheck::kClientRequirement).value(), anchors.value());
}

std::string signAs(const std::string& identity, const std::string& identifier = "com.norvel.mavu",
                   const std::string& chain = {}) {
    auto bytes = signImage(kProgram, identifier, credentials(identity, chain));
    EXPECT_TRUE(bytes) << bytes.error();
    return bytes ? bytes.value() : "";
}

TEST(SigningTest, OnlyProgramsThatMeetTheClientRequirementUnderTheAnchorPass) {
    const std::string team = signAs("codesign-team"), root = caCert("codesign-root");
    std::string changed = team;
    changed[kProgram.size() - 1] ^= 1;
    const std::string chained =
        signAs("codesign-chained", "com.norvel.mavu", caCert("codesign-intermediate"));
    // A digest OpenSSL cannot fetch.
    const std::string sha256 = "\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x01";
    std::string unknownDigest = team;
    unknownDigest[team.find(sha256, kProgram.size()) + sha256.size() - 1] = 0;
    // Each is refused for its own reason (nullptr: admitted).
    const std::tuple<std::string, std::string, const char*> cases[] = {
        {team, root, nullptr},
        {mavu::testing::readFile(DEV_SIGNED_SAMPLE_CLIENT), MAVU_DEV_ANCHOR, nullptr},
        {chained, root, nullptr},
        {chained, caCert("codesign-intermediate"), nullptr},
        {kProgram, root, "not signed"},
        {signAs("codesign-other-team"), root, "team \"ZZ4K7W2M9B\""},
        {signAs("codesign-team", "com.norvel.mavu.other"), root, "as \"com.norvel.mavu.other\""},
        {changed, root, "content verify error"},
        {signAs("codesign-foreign"), root, "local issuer"},
        {chained, caCert("codesign-foreign-root"), "local issuer"},
        {signAs("codesign-chained"), root, "local issuer"},  // the chain left out
        // A certificate its anchor issued for another use does not sign code (a signature
        // made once without the signer's checks, which refuse such a certificate).
        {joinSignedImage(
             "\x7f"
             "ELF MAVU fuzz seed program\n",
             mavu::testing::readFile(MAVU_FUZZ_DIR "/corpus/CmsSignature/refused-mail-leaf.der")),
         MAVU_FUZZ_DIR "/CmsSignature-anchor.pem", "code signing"},
        {unknownDigest, root, ""},
        // The system's trust store is no anchor of ours; nor is a missing file.
        {team, "/etc/ssl/certs/ca-certificates.crt", "local issuer"},
        {team, caCert("no-such-ca"), ""},
    };
    for (const auto& [bytes, anchor, reason] : cases) {
        const auto result = checkClient(bytes, anchor);
        if (reason) {
            ASSERT_FALSE(result) << anchor;
            EXPECT_NE(result.error().find(reason), std::string::npos) << result.error();
        } else {
            ASSERT_TRUE(result) << anchor << ": " << result.error();
            EXPECT_EQ(result.value(), (SigningIdentity{"com.norvel.mavu", "QX3J8R2N5T"}));
        }
    }
    // The reasons went into the answers; nothing is left for the next operation to
    // mistake for its own.
    EXPECT_EQ(ERR_peek_error(), 0u);
}

TEST(SigningTest, ReSigningReplacesTheSignatureAndSigningRefusesWhatCouldNotVerify) {
    auto second =
        signImage(signAs("codesign-team"), "MAVUHelper", credentials("codesign-other-team"));
    ASSERT_TRUE(second) << second.error();
    EXPECT_EQ(splitSignedImage(second.value())->content, kProgram);
    EXPECT_EQ(verifySignedImage(second.value(), AnchorStore::load(caCert("codesign-root")).value())
                  .value(),
              (SigningIdentity{"MAVUHelper", "ZZ4K7W2M9B"}));

    for (const char* identifier : {"", "has space", "quote\"d"}) {
        EXPECT_FALSE(signImage(kProgram, identifier, credentials("codesign-team"))) << identifier;
    }
    EXPECT_FALSE(signImage(kProgram, "com.norvel.mavu", credentials("codesign-mail")));
    SigningCredentials mismatched = credentials("codesign-team");
    mismatched.keyPath = credentials("codesign-foreign").keyPath;
    EXPECT_FALSE(signImage(kProgram, "com.norvel.mavu", mismatched));
    // A damaged signature is not taken for program bytes and signed over.
    std::string damaged = signAs("codesign-team");
    damaged[damaged.size() - kTrailerSize + 7] = 9;
    EXPECT_FALSE(signImage(damaged, "com.norvel.mavu", credentials("codesign-team")));
}

// The tool's verdicts are the library's, above. What installing without a real identity
// does: the installed program verifies under the installed anchor, the development CA no
// longer admits it (the tool exits with a failure), and no key is left.
TEST(SigningToolTest, AnInstallationIsSignedByACaWhoseKeysAreGone) {
    mavu::testing::TempDir root, temporary;
    const std::string program = root.writeExecutable("usr/lib/mavu/mavu", kProgram);
    const auto run =
        runProcess(MAVU_CMAKE,
                   {"-DOPENSSL=" MAVU_OPENSSL, "-DCONFIG=" MAVU_SIGNING_DIR "/openssl.cnf",
                    "-DCODESIGN=" CODESIGN_TOOL, "-DROOT=" + root.path().string(),
                    "-DPRODUCTS=/usr/lib/mavu/mavu=com.norvel.mavu",
                    "-DANCHOR=/etc/mavu/anchor.pem", "-P", MAVU_SIGN_INSTALLATION},
                   {{"TMPDIR", temporary.path().string()}});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto verified =
        runProcess(CODESIGN_TOOL, {"verify", "--anchor", root.path("etc/mavu/anchor.pem"),
                                   "--requirement", "identifier \"com.norvel.mavu\"", program});
    EXPECT_EQ(verified.out, "identifier: com.norvel.mavu\nteam: QX3J8R2N5T\n") << verified.err;
    EXPECT_EQ(runProcess(CODESIGN_TOOL, {"show", program}).status, 0);
    EXPECT_NE(runProcess(CODESIGN_TOOL, {"verify", "--anchor", MAVU_DEV_ANCHOR, program}).status,
              0);
    EXPECT_TRUE(std::filesystem::is_empty(temporary.path()));
}

}  // namespace
}  // namespace mavu::codesign
