#include "platform/codesign/SignatureDescription.h"

#include <openssl/objects.h>

#include "platform/codesign/CmsSignature.h"
#include "platform/codesign/SignedImage.h"

namespace mavu::codesign {

Result<SignatureDescription> describeSignedImage(std::string_view file) {
    using R = Result<SignatureDescription>;
    ssl::ErrorScope errors;
    auto image = splitSignedImage(file);
    if (!image) {
        return image.forward<SignatureDescription>();
    }
    auto cms = cms::decode(image->signature);
    if (!cms) {
        return cms.forward<SignatureDescription>();
    }
    // Finds the signer's certificate among those the signature carries.
    if (CMS_set1_signers_certs(cms.value().get(), nullptr, 0) < 0) {
        return R::failure(ssl::failure("The signature does not carry its signer's certificate"));
    }
    ssl::BorrowedCertStack signers(CMS_get0_signers(cms.value().get()));
    if (!signers || sk_X509_num(signers.get()) != 1) {
        return R::failure("The signature's signer cannot be told.");
    }
    X509* leaf = sk_X509_value(signers.get(), 0);
    auto identifier = cms::signedIdentifier(cms::onlySigner(cms.value().get()));
    if (!identifier) {
        return identifier.forward<SignatureDescription>();
    }
    return SignatureDescription{
        std::move(identifier).value(), ssl::singleSubjectEntry(leaf, NID_organizationalUnitName),
        ssl::subjectLine(leaf),        ssl::issuerLine(leaf),
        image->content.size(),         image->signature.size()};
}

}  // namespace mavu::codesign
