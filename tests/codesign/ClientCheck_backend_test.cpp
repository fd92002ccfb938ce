// The client check on program files: signed copies of a small program, and others, under
// the client requirement and an anchor. (The verifier process runs it on a client's
// program; its own tests start real processes.)
#include <fcntl.h>
#include <gtest/gtest.h>

#include "platform/clientcheck/ClientCheck.h"
#include "platform/clientcheck/UniqueFd.h"
#include "platform/codesign/ExecutableCheck.h"
#include "platform/codesign/SignedImage.h"
#include "tests/codesign/SigningFixture.h"

namespace mavu::codesign {
namespace {

using testing::caCert;

Result<SigningIdentity> check(const std::string& path, const std::string& anchor) {
    auto anchors = AnchorStore::load(anchor);
    if (!anchors) {
        return anchors.forward<SigningIdentity>();
    }
    const clientcheck::UniqueFd program(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return checkExecutable(
        program.get(), createRequirement(clientcheck::kClientRequirement).value(), anchors.value());
}

TEST(ClientCheckTest, OnlyProgramsThatMeetTheRequirementUnderTheAnchorPass) {
    testing::TempDir scratch;
    const auto signedCopy = [&](const std::string& identity,
                                const std::string& identifier = "com.norvel.mavu") {
        auto bytes =
            signImage(testing::readFile(SAMPLE_CLIENT), identifier, testing::credentials(identity));
        EXPECT_TRUE(bytes) << bytes.error();
        return scratch.writeExecutable(identity + "-" + identifier, bytes ? bytes.value() : "");
    };
    const std::string team = signedCopy("codesign-team"), root = caCert("codesign-root");
    std::string changed = testing::readFile(team);
    changed[splitSignedImage(changed)->content.size() - 1] ^= 1;
    // Each is refused for its own reason (nullptr: admitted).
    const std::tuple<std::string, std::string, const char*> cases[] = {
        {team, root, nullptr},
        {DEV_SIGNED_SAMPLE_CLIENT, MAVU_DEV_ANCHOR, nullptr},
        {SAMPLE_CLIENT, root, "not signed"},
        {signedCopy("codesign-other-team"), root, "team \"ZZ4K7W2M9B\""},
        {signedCopy("codesign-team", "com.norvel.mavu.other"), root,
         "as \"com.norvel.mavu.other\""},
        {scratch.writeExecutable("changed", changed), root, "content verify error"},
        {signedCopy("codesign-foreign"), root, "local issuer"},
        // The system's trust store is no anchor of ours; nor is a missing file.
        {team, "/etc/ssl/certs/ca-certificates.crt", "local issuer"},
        {team, caCert("no-such-ca"), ""},
    };
    for (const auto& [path, anchor, reason] : cases) {
        const auto result = check(path, anchor);
        if (reason) {
            ASSERT_FALSE(result) << path;
            EXPECT_NE(result.error().find(reason), std::string::npos)
                << path << ": " << result.error();
        } else {
            ASSERT_TRUE(result) << path << ": " << result.error();
            EXPECT_EQ(result.value(), (SigningIdentity{"com.norvel.mavu", "QX3J8R2N5T"}));
        }
    }
}

}  // namespace
}  // namespace mavu::codesign
