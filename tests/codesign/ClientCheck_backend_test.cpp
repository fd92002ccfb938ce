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
using mavu::testing::TalkingProcess;
using testing::caCert;

class ClientCheckTest : public ::testing::Test {
  protected:
    // A copy of the sample client signed by identity as identifier.
    std::string signedClient(const std::string& identity,
                             const std::string& identifier = "com.norvel.mavu") {
        auto bytes =
            signImage(testing::readFile(SAMPLE_CLIENT), identifier, testing::credentials(identity));
        EXPECT_TRUE(bytes) << bytes.error();
        return scratch.writeExecutable(identity + "-" + identifier, bytes ? bytes.value() : "");
    }
    // The identity of a process that runs path, once it does.
    ProcessIdentity running(const TalkingProcess& process, const std::string& path) {
        EXPECT_TRUE(mavu::testing::eventually([&] {
            std::error_code ignored;
            return std::filesystem::equivalent("/proc/" + std::to_string(process.pid()) + "/exe",
                                               path, ignored);
        })) << path
            << " did not run";
        return identifyProcess(process.pid()).value_or(ProcessIdentity{});
    }

    testing::TempDir scratch;
};

TEST_F(ClientCheckTest, OnlyRunningClientsThatMeetTheRequirementAreAdmitted) {
    const std::string team = signedClient("codesign-team"), root = caCert("codesign-root");
    std::string changed = testing::readFile(team);
    // The last byte before the signature lies in the section headers, which the loader
    // never reads, so the program still runs.
    changed[splitSignedImage(changed)->content.size() - 1] ^= 1;
    // Each is refused for its own reason (nullptr: admitted), not because it failed to run.
    struct Case {
        std::string path, anchor;
        const char* reason;
        std::string requirement = clientcheck::kClientRequirement;
    } cases[] = {
        {team, root, nullptr},
        {DEV_SIGNED_SAMPLE_CLIENT, MAVU_DEV_ANCHOR, nullptr},
        {SAMPLE_CLIENT, root, "not signed"},
        {signedClient("codesign-other-team"), root, "team \"ZZ4K7W2M9B\""},
        {signedClient("codesign-team", "com.norvel.mavu.other"), root,
         "as \"com.norvel.mavu.other\""},
        {scratch.writeExecutable("changed", changed), root, "content verify error"},
        {signedClient("codesign-foreign"), root, "local issuer"},
        // The system's trust store is no anchor of ours; nor is a missing file.
        {team, "/etc/ssl/certs/ca-certificates.crt", ""},
        {team, caCert("no-such-ca"), ""},
        {team, root, "", "anchor apple generic or identifier \"com.norvel.mavu\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " under " + c.anchor);
        auto program = std::make_unique<TalkingProcess>(c.path, std::vector<std::string>{});
        auto identity = running(*program, c.path);
        const SignedClientVerifier verifier(c.anchor, c.requirement);
        const auto result = verifier.check(identity);
        EXPECT_EQ(verifier.isAuthorizedClient(identity), static_cast<bool>(result));
        if (c.reason) {
            ASSERT_FALSE(result);
            EXPECT_NE(result.error().find(c.reason), std::string::npos) << result.error();
            continue;
        }
        ASSERT_TRUE(result) << result.error();
        EXPECT_EQ(result.value(), (SigningIdentity{"com.norvel.mavu", "QX3J8R2N5T"}));
        // The same pid with another start time, or no longer running, is someone else.
        ++identity.startTime;
        EXPECT_NE(verifier.check(identity).error().find("no longer"), std::string::npos);
        --identity.startTime;
        program.reset();
        EXPECT_FALSE(verifier.isAuthorizedClient(identity));
        EXPECT_FALSE(identifyProcess(identity.pid));
    }
    EXPECT_FALSE(identifyProcess(0));
    EXPECT_FALSE(identifyProcess(-1));
}

}  // namespace
}  // namespace mavu::codesign
