#include "platform/codesign/SignatureCheck.h"

#include <openssl/objects.h>

#include "platform/codesign/CmsSignature.h"
#include "platform/codesign/SignedImage.h"

namespace mavu::codesign {

Result<SigningIdentity> verifySignedImage(std::string_view file, const AnchorStore& anchors) {
    using R = Result<SigningIdentity>;
    ssl::ErrorScope errors;
    auto image = splitSignedImage(file);
    if (!image) {
        return image.forward<SigningIdentity>();
    }
    auto cms = cms::decode(image->signature);
    if (!cms) {
        return cms.forward<SigningIdentity>();
    }
    ssl::BioChain content = ssl::contentBio(image->content);
    if (!content) {
        return R::failure("The program is too large to check.");
    }
    if (CMS_verify(cms.value().get(), nullptr, anchors.get(), content.get(), nullptr, CMS_BINARY) !=
        1) {
        return R::failure(ssl::failure("The signature is not valid"));
    }
    ssl::BorrowedCertStack signers(CMS_get0_signers(cms.value().get()));
    if (!signers || sk_X509_num(signers.get()) != 1) {
        return R::failure("The signature's signer cannot be told.");
    }
    X509* leaf = sk_X509_value(signers.get(), 0);
    if (auto usage = cms::checkCodeSigningLeaf(leaf); !usage) {
        return usage.forward<SigningIdentity>();
    }
    auto identifier = cms::signedIdentifier(cms::onlySigner(cms.value().get()));
    if (!identifier) {
        return identifier.forward<SigningIdentity>();
    }
    std::optional<std::string> team = ssl::singleSubjectEntry(leaf, NID_organizationalUnitName);
    if (!team) {
        return R::failure("The signing certificate does not name exactly one team.");
    }
    return SigningIdentity{std::move(identifier).value(), std::move(*team)};
}

Result<SigningIdentity> checkValidity(const GuestCode& code, const Requirement& requirement,
                                      const AnchorStore& anchors) {
    auto identity = verifySignedImage(code.image, anchors);
    if (!identity) {
        return identity;
    }
    if (!requirement.isMetBy(identity.value())) {
        return Result<SigningIdentity>::failure(
            "The program of process " + std::to_string(code.process.pid) + " is signed as \"" +
            identity->identifier + "\" by team \"" + identity->team +
            "\", which the requirement does not admit.");
    }
    return identity;
}

}  // namespace mavu::codesign
