// Signing and verifying files with throwaway identities, and the tool built on it.
#include <gtest/gtest.h>
#include <openssl/err.h>

#include "platform/codesign/AnchorStore.h"
#include "platform/codesign/CmsSignature.h"
#include "platform/codesign/SignatureCheck.h"
#include "platform/codesign/SignatureDescription.h"
#include "platform/codesign/SignedImage.h"
#include "tests/codesign/SigningFixture.h"

namespace mavu::codesign {
namespace {

using mavu::testing::runProcess;
using testing::caCert;
using testing::credentials;

const std::string kProgram =
    "\x7f"
    "ELF pretend program bytes";
const char kTeamSigned[] = "identifier: com.norvel.mavu\nteam: QX3J8R2N5T\n";

Result<SigningIdentity> verify(const std::string& file, const std::string& anchorName) {
    auto anchors = AnchorStore::load(caCert(anchorName));
    EXPECT_TRUE(anchors) << anchors.error();
    return verifySignedImage(file, anchors.value());
}

std::string signAs(const std::string& identity, const std::string& file = kProgram,
                   const std::string& chain = {}) {
    auto bytes = signImage(file, "com.norvel.mavu", credentials(identity, chain));
    EXPECT_TRUE(bytes) << bytes.error();
    return bytes ? bytes.value() : "";
}

// Signs as an attacker with any certificate could, without the signer's checks.
std::string signWithoutChecks(const std::string& content, const SigningCredentials& with) {
    auto certs = ssl::loadCertificates(with.certificatePath);
    auto key = ssl::loadPrivateKey(with.keyPath);
    const unsigned flags = CMS_BINARY | CMS_DETACHED | CMS_PARTIAL;
    ssl::Cms cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
    CMS_SignerInfo* signer = CMS_add1_signer(cms.get(), certs.value().front().get(),
                                             key.value().get(), EVP_sha256(), flags);
    ssl::Object attribute = cms::identifierAttribute();
    CMS_signed_add1_attr_by_OBJ(signer, attribute.get(), V_ASN1_UTF8STRING, "com.norvel.mavu", 15);
    ssl::Bio data = ssl::readOnlyBio(content);
    EXPECT_EQ(CMS_final(cms.get(), data.get(), nullptr, flags), 1);
    std::string der(static_cast<std::size_t>(i2d_CMS_ContentInfo(cms.get(), nullptr)), '\0');
    auto* cursor = reinterpret_cast<unsigned char*>(der.data());
    i2d_CMS_ContentInfo(cms.get(), &cursor);
    return joinSignedImage(content, der);
}

TEST(SigningTest, ASignatureNamesItsSignerReSigningReplacesItAndChainsTravelWhenGiven) {
    // A first signature's identity is the tool test's to check.
    auto second =
        signImage(signAs("codesign-team"), "MAVUHelper", credentials("codesign-other-team"));
    ASSERT_TRUE(second) << second.error();
    EXPECT_EQ(splitSignedImage(second.value())->content, kProgram);
    EXPECT_EQ(verify(second.value(), "codesign-root").value(),
              (SigningIdentity{"MAVUHelper", "ZZ4K7W2M9B"}));
    // That a description names what a check names is the fuzz replay's (CmsSignature).
    auto shown = describeSignedImage(second.value());
    ASSERT_TRUE(shown) << shown.error();
    EXPECT_NE(shown->issuer.find("codesign-root"), std::string::npos) << shown->issuer;

    const std::string chained =
        signAs("codesign-chained", kProgram, caCert("codesign-intermediate"));
    EXPECT_TRUE(verify(chained, "codesign-root"));
    EXPECT_TRUE(verify(chained, "codesign-intermediate"));
    EXPECT_FALSE(verify(chained, "codesign-foreign-root"));
    EXPECT_FALSE(verify(signAs("codesign-chained"), "codesign-root"));
}

TEST(SigningTest, SignaturesThatMustNotCountAreRefused) {
    const std::string good = signAs("codesign-team");
    // A certificate the anchor issued for another use does not sign code.
    auto mail = verify(signWithoutChecks(kProgram, credentials("codesign-mail")), "codesign-root");
    EXPECT_FALSE(mail);
    EXPECT_NE(mail.error().find("code signing"), std::string::npos) << mail.error();

    // A digest OpenSSL cannot fetch. (Changed bytes, no signature and another anchor are
    // the client check's table.)
    const std::string sha256 = "\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x01";
    std::string unknownDigest = good;
    unknownDigest[good.find(sha256, kProgram.size()) + sha256.size() - 1] = 0;
    EXPECT_FALSE(verify(unknownDigest, "codesign-root"));
    // The reasons went into the answers; nothing is left for the next operation to
    // mistake for its own.
    EXPECT_EQ(ERR_peek_error(), 0u);
}

TEST(SigningTest, SigningRefusesWhatCouldNotVerify) {
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

TEST(SigningToolTest, ExitsWithZeroOnlyForAValidSignature) {
    mavu::testing::TempDir scratch;
    const std::string file = scratch.writeExecutable("program", kProgram);
    const std::string anchor = caCert("codesign-root");
    const auto team = credentials("codesign-team");
    const std::pair<std::vector<std::string>, int> steps[] = {
        {{"verify", "--anchor", anchor, file}, 1},
        {{"show", file}, 1},
        {{"sign", "--identifier", "com.norvel.mavu", "--cert", team.certificatePath, "--key",
          team.keyPath, file},
         0},
        {{"show", file}, 0},
        {{"verify", "--anchor", anchor, "--requirement",
          "identifier \"com.norvel.mavu\" and certificate leaf[subject.OU] = \"QX3J8R2N5T\"", file},
         0},
        {{"verify", "--anchor", anchor, "--requirement", "identifier \"other\"", file}, 1},
        {{"verify", "--anchor", caCert("codesign-foreign-root"), file}, 1},
        {{"verify", file}, 2},
        {{"sign", "--identifier", "x", file}, 2},
    };
    for (const auto& [args, status] : steps) {
        EXPECT_EQ(runProcess(CODESIGN_TOOL, args).status, status) << ::testing::PrintToString(args);
    }
    EXPECT_EQ(runProcess(CODESIGN_TOOL, {"verify", "--anchor", anchor, file}).out, kTeamSigned);
}

// What installing without a real identity does: the installed program verifies under the
// installed anchor, the development CA no longer admits it, and no key is left.
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
    const auto verified = runProcess(
        CODESIGN_TOOL, {"verify", "--anchor", root.path("etc/mavu/anchor.pem"), program});
    EXPECT_EQ(verified.out, kTeamSigned) << verified.err;
    EXPECT_NE(runProcess(CODESIGN_TOOL, {"verify", "--anchor", MAVU_DEV_ANCHOR, program}).status,
              0);
    EXPECT_TRUE(std::filesystem::is_empty(temporary.path()));
}

}  // namespace
}  // namespace mavu::codesign
