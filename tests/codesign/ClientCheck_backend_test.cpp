// The client check against real processes: signed copies of a small program, run and
// checked by pid while they run.
#include <gtest/gtest.h>

#include "platform/clientcheck/ProcessExecutable.h"
#include "platform/codesign/SignedClientVerifier.h"
#include "platform/codesign/SignedImage.h"
#include "tests/codesign/SigningFixture.h"

namespace mavu::codesign {
namespace {

using clientcheck::identifyProcess;
using clientcheck::ProcessIdentity;
using testing::caCert;
using testing::RunningProgram;

class ClientCheckTest : public ::testing::Test {
  protected:
    // A copy of the sample client signed by identity as identifier.
    std::string signedClient(const std::string& identity, const std::string& identifier) {
        auto bytes =
            signImage(testing::readFile(SAMPLE_CLIENT), identifier, testing::credentials(identity));
        EXPECT_TRUE(bytes) << bytes.error();
        return scratch.writeExecutable(identity + "-" + identifier, bytes ? bytes.value() : "");
    }

    // Runs the program at path and checks it with the client requirement against anchor.
    Result<SigningIdentity> checkRunning(const std::string& path,
                                         const std::string& anchor = caCert("codesign-root")) {
        RunningProgram program(path);
        EXPECT_TRUE(program.ready()) << path << " did not run";
        const auto identity = identifyProcess(program.pid()).value_or(ProcessIdentity{});
        SignedClientVerifier verifier(anchor);
        auto result = verifier.check(identity);
        EXPECT_EQ(verifier.isAuthorizedClient(identity), static_cast<bool>(result));
        return result;
    }

    testing::TempDir scratch;
};

TEST_F(ClientCheckTest, SignedClientsAreAdmittedWhileRunning) {
    auto result = checkRunning(signedClient("codesign-team", "com.norvel.mavu"));
    ASSERT_TRUE(result) << result.error();
    EXPECT_EQ(result.value(), (SigningIdentity{"com.norvel.mavu", "QX3J8R2N5T"}));
    // The client the build signed, under the development anchor.
    result = checkRunning(DEV_SIGNED_SAMPLE_CLIENT, MAVU_DEV_ANCHOR);
    ASSERT_TRUE(result) << result.error();
    EXPECT_EQ(result->identifier, "com.norvel.mavu");
}

TEST_F(ClientCheckTest, ClientsThatMissTheRequirementAreRefused) {
    std::string bytes = testing::readFile(signedClient("codesign-team", "com.norvel.mavu"));
    // The last byte before the signature lies in the section headers, which the loader
    // never reads, so the program still runs.
    const auto image = splitSignedImage(bytes);
    ASSERT_TRUE(image);
    bytes[image->content.size() - 1] ^= 1;
    const std::string changed = scratch.writeExecutable("changed", bytes);

    // Each is refused for its own reason, not because it failed to run.
    const std::pair<std::string, const char*> cases[] = {
        {SAMPLE_CLIENT, "not signed"},
        {signedClient("codesign-other-team", "com.norvel.mavu"), "team \"ZZ4K7W2M9B\""},
        {signedClient("codesign-team", "com.norvel.mavu.other"), "as \"com.norvel.mavu.other\""},
        {changed, "content verify error"},
        {signedClient("codesign-foreign", "com.norvel.mavu"), "local issuer"},
    };
    for (const auto& [path, reason] : cases) {
        auto result = checkRunning(path);
        ASSERT_FALSE(result) << path;
        EXPECT_NE(result.error().find(reason), std::string::npos) << path << ": " << result.error();
    }
}

TEST_F(ClientCheckTest, APidThatChangedHandsOrAnUnusableRequirementOrAnchorAdmitsNobody) {
    RunningProgram program(signedClient("codesign-team", "com.norvel.mavu"));
    ASSERT_TRUE(program.ready());
    const auto identity = identifyProcess(program.pid());
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->pid, program.pid());
    SignedClientVerifier verifier(caCert("codesign-root"));
    ASSERT_TRUE(verifier.isAuthorizedClient(*identity));

    EXPECT_FALSE(SignedClientVerifier(caCert("codesign-root"),
                                      "anchor apple generic or identifier \"com.norvel.mavu\"")
                     .isAuthorizedClient(*identity));
    EXPECT_FALSE(SignedClientVerifier(caCert("no-such-ca")).isAuthorizedClient(*identity));
    // The system's trust store is no anchor of ours.
    EXPECT_FALSE(
        SignedClientVerifier("/etc/ssl/certs/ca-certificates.crt").isAuthorizedClient(*identity));

    ProcessIdentity other = *identity;
    other.startTime += 1;
    auto result = verifier.check(other);
    ASSERT_FALSE(result);
    EXPECT_NE(result.error().find("no longer"), std::string::npos) << result.error();
    program.end();
    EXPECT_FALSE(identifyProcess(identity->pid));
    EXPECT_FALSE(verifier.isAuthorizedClient(*identity));
    EXPECT_FALSE(identifyProcess(0));
    EXPECT_FALSE(identifyProcess(-1));
}

}  // namespace
}  // namespace mavu::codesign
