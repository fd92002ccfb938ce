// The client check against real processes: signed copies of a small program, run and
// checked by pid while they run.
#include <gtest/gtest.h>

#include "platform/codesign/ClientCheck.h"
#include "platform/codesign/SignedClientVerifier.h"
#include "platform/codesign/SignedImage.h"
#include "tests/codesign/SigningFixture.h"

namespace mavu::codesign {
namespace {

using testing::caCert;
using testing::credentials;
using testing::RunningProgram;

class ClientCheckTest : public ::testing::Test {
  protected:
    // A copy of the sample client signed by identity as identifier.
    std::string signedClient(const std::string& identity, const std::string& identifier) {
        auto bytes =
            signImage(testing::readBytes(SAMPLE_CLIENT), identifier, credentials(identity));
        EXPECT_TRUE(bytes) << bytes.error();
        std::string path = scratch_.file(identity + "-" + identifier);
        testing::writeProgram(path, bytes ? bytes.value() : std::string());
        return path;
    }

    // Runs the program at path and checks it with the client requirement against the
    // test root.
    Result<SigningIdentity> checkRunning(const std::string& path,
                                         const std::string& anchor = caCert("codesign-root")) {
        RunningProgram program(path);
        EXPECT_TRUE(program.ready()) << path << " did not run";
        auto identity = identifyProcess(program.pid());
        EXPECT_TRUE(identity);
        SignedClientVerifier verifier(anchor);
        auto result = verifier.check(identity.value_or(ProcessIdentity{}));
        EXPECT_EQ(verifier.isAuthorizedClient(identity.value_or(ProcessIdentity{})),
                  static_cast<bool>(result));
        return result;
    }

    testing::ScratchDir scratch_;
};

TEST_F(ClientCheckTest, SignedClientRunsAndIsAdmittedWhileRunning) {
    auto result = checkRunning(signedClient("codesign-team", "com.norvel.mavu"));
    ASSERT_TRUE(result) << result.error();
    EXPECT_EQ(result.value(), (SigningIdentity{"com.norvel.mavu", "QX3J8R2N5T"}));
}

TEST_F(ClientCheckTest, ClientSignedByTheBuildIsAdmittedUnderTheDevelopmentAnchor) {
    auto result = checkRunning(DEV_SIGNED_SAMPLE_CLIENT, MAVU_DEV_ANCHOR);
    ASSERT_TRUE(result) << result.error();
    EXPECT_EQ(result->identifier, "com.norvel.mavu");
}

TEST_F(ClientCheckTest, ClientsThatMissTheRequirementAreRefused) {
    std::string changed = signedClient("codesign-team", "com.norvel.mavu");
    std::string bytes = testing::readBytes(changed);
    // The last byte before the signature lies in the section headers, which the loader
    // never reads, so the program still runs.
    auto image = splitSignedImage(bytes);
    ASSERT_TRUE(image);
    bytes[image->content.size() - 1] ^= 1;
    testing::writeProgram(changed, bytes);

    // Each is refused for its own reason, not because it failed to run.
    struct Case {
        const char* what;
        std::string path;
        const char* reason;
    } cases[] = {
        {"unsigned", SAMPLE_CLIENT, "not signed"},
        {"another team", signedClient("codesign-other-team", "com.norvel.mavu"),
         "team \"ZZ4K7W2M9B\""},
        {"another identifier", signedClient("codesign-team", "com.norvel.mavu.other"),
         "as \"com.norvel.mavu.other\""},
        {"one byte changed after signing", changed, "content verify error"},
        {"another CA", signedClient("codesign-foreign", "com.norvel.mavu"), "local issuer"},
    };
    for (const Case& c : cases) {
        auto result = checkRunning(c.path);
        EXPECT_FALSE(result) << c.what;
        EXPECT_NE(result.error().find(c.reason), std::string::npos)
            << c.what << ": " << result.error();
    }
}

TEST_F(ClientCheckTest, APidThatChangedHandsIsRefused) {
    RunningProgram program(signedClient("codesign-team", "com.norvel.mavu"));
    ASSERT_TRUE(program.ready());
    auto identity = identifyProcess(program.pid());
    ASSERT_TRUE(identity);
    SignedClientVerifier verifier(caCert("codesign-root"));
    ASSERT_TRUE(verifier.isAuthorizedClient(*identity));

    ProcessIdentity other = *identity;
    other.startTime += 1;
    auto result = verifier.check(other);
    EXPECT_FALSE(result);
    EXPECT_NE(result.error().find("no longer"), std::string::npos) << result.error();

    program.end();
    EXPECT_FALSE(identifyProcess(identity->pid));
    EXPECT_FALSE(verifier.isAuthorizedClient(*identity));
}

TEST_F(ClientCheckTest, AnUnreadableRequirementOrAnchorAdmitsNobody) {
    RunningProgram program(signedClient("codesign-team", "com.norvel.mavu"));
    ASSERT_TRUE(program.ready());
    auto identity = identifyProcess(program.pid());
    ASSERT_TRUE(identity);

    EXPECT_FALSE(SignedClientVerifier(caCert("codesign-root"),
                                      "anchor apple generic or identifier \"com.norvel.mavu\"")
                     .isAuthorizedClient(*identity));
    EXPECT_FALSE(SignedClientVerifier(caCert("no-such-ca")).isAuthorizedClient(*identity));
    // The system's trust store is no anchor of ours.
    EXPECT_FALSE(
        SignedClientVerifier("/etc/ssl/certs/ca-certificates.crt").isAuthorizedClient(*identity));
}

TEST(ProcessIdentityTest, NamesALiveProcessByItsStartTime) {
    auto self = identifyProcess(::getpid());
    ASSERT_TRUE(self);
    EXPECT_EQ(self->pid, ::getpid());
    EXPECT_GT(self->startTime, 0u);
    EXPECT_EQ(identifyProcess(::getpid())->startTime, self->startTime);
    EXPECT_FALSE(identifyProcess(0));
    EXPECT_FALSE(identifyProcess(-1));
}

}  // namespace
}  // namespace mavu::codesign
