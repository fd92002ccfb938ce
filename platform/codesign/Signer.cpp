#include "platform/codesign/Signer.h"

#include "platform/codesign/CmsSignature.h"
#include "platform/codesign/OpenSsl.h"
#include "platform/codesign/SignedImage.h"

namespace mavu::codesign {

namespace {

constexpr std::size_t kMaxIdentifierLength = 255;

Result<std::vector<ssl::Cert>> loadChain(const SigningCredentials& credentials) {
    auto certs = ssl::loadCertificates(credentials.certificatePath);
    if (!certs || credentials.chainPath.empty()) {
        return certs;
    }
    auto chain = ssl::loadCertificates(credentials.chainPath);
    if (!chain) {
        return chain;
    }
    std::vector<ssl::Cert> all = std::move(certs).value();
    for (ssl::Cert& cert : std::move(chain).value()) {
        all.push_back(std::move(cert));
    }
    return all;
}

Result<std::string> encode(CMS_ContentInfo* cms) {
    int length = i2d_CMS_ContentInfo(cms, nullptr);
    if (length <= 0) {
        return Result<std::string>::failure(ssl::failure("Cannot encode the signature"));
    }
    std::string der(static_cast<std::size_t>(length), '\0');
    auto* cursor = reinterpret_cast<unsigned char*>(der.data());
    if (i2d_CMS_ContentInfo(cms, &cursor) != length) {
        return Result<std::string>::failure(ssl::failure("Cannot encode the signature"));
    }
    return der;
}

}  // namespace

bool isValidIdentifier(std::string_view identifier) {
    if (identifier.empty() || identifier.size() > kMaxIdentifierLength) {
        return false;
    }
    for (char c : identifier) {
        if (c <= ' ' || c > '~' || c == '"' || c == '\\') {
            return false;
        }
    }
    return true;
}

Result<std::string> signImage(std::string_view file, std::string_view identifier,
                              const SigningCredentials& credentials) {
    using R = Result<std::string>;
    ssl::ErrorScope errors;
    if (!isValidIdentifier(identifier)) {
        return R::failure("The identifier \"" + std::string(identifier) +
                          "\" is empty, too long or has spaces, quotes or control characters.");
    }
    std::string_view content = file;
    if (hasSignatureTrailer(file)) {
        auto previous = splitSignedImage(file);
        if (!previous) {
            return R::failure("The file has a damaged signature: " + previous.error());
        }
        content = previous->content;
    }
    auto certs = loadChain(credentials);
    if (!certs) {
        return certs.forward<std::string>();
    }
    auto key = ssl::loadPrivateKey(credentials.keyPath);
    if (!key) {
        return key.forward<std::string>();
    }
    X509* leaf = certs.value().front().get();
    if (X509_check_private_key(leaf, key.value().get()) != 1) {
        return R::failure(ssl::failure("The private key does not belong to the certificate"));
    }
    if (auto usage = cms::checkCodeSigningLeaf(leaf); !usage) {
        return usage.forward<std::string>();
    }

    const unsigned flags = CMS_BINARY | CMS_DETACHED | CMS_PARTIAL | CMS_NOSMIMECAP;
    ssl::Cms cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
    if (!cms) {
        return R::failure(ssl::failure("Cannot start the signature"));
    }
    for (std::size_t i = 1; i < certs.value().size(); ++i) {
        if (CMS_add1_cert(cms.get(), certs.value()[i].get()) != 1) {
            return R::failure(ssl::failure("Cannot add the certificate chain"));
        }
    }
    CMS_SignerInfo* signer =
        CMS_add1_signer(cms.get(), leaf, key.value().get(), EVP_sha256(), flags);
    ssl::Object attribute = cms::identifierAttribute();
    if (signer == nullptr || !attribute ||
        CMS_signed_add1_attr_by_OBJ(signer, attribute.get(), V_ASN1_UTF8STRING, identifier.data(),
                                    static_cast<int>(identifier.size())) != 1) {
        return R::failure(ssl::failure("Cannot add the signer"));
    }
    ssl::Bio data = ssl::readOnlyBio(content);
    if (!data) {
        return R::failure("The file is too large to sign.");
    }
    if (CMS_final(cms.get(), data.get(), nullptr, flags) != 1) {
        return R::failure(ssl::failure("Cannot sign the file"));
    }
    auto der = encode(cms.get());
    if (!der) {
        return der;
    }
    return joinSignedImage(content, der.value());
}

}  // namespace mavu::codesign
