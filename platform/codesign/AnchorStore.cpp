#include "platform/codesign/AnchorStore.h"

#include <openssl/x509_vfy.h>

namespace mavu::codesign {

Result<AnchorStore> AnchorStore::load(const std::string& pemPath) {
    ssl::ErrorScope errors;
    return fromCertificates(ssl::loadCertificates(pemPath), pemPath);
}

Result<AnchorStore> AnchorStore::fromPem(std::string_view pem, const std::string& name) {
    ssl::ErrorScope errors;
    return fromCertificates(ssl::certificatesFromPem(pem, name), name);
}

Result<AnchorStore> AnchorStore::fromCertificates(Result<std::vector<ssl::Cert>> certs,
                                                  const std::string& pemPath) {
    using R = Result<AnchorStore>;
    if (!certs) {
        return certs.forward<AnchorStore>();
    }
    ssl::Store store(X509_STORE_new());
    if (!store) {
        return R::failure(ssl::failure("Cannot make the anchor store"));
    }
    for (const ssl::Cert& cert : certs.value()) {
        if (X509_STORE_add_cert(store.get(), cert.get()) != 1) {
            return R::failure(ssl::failure("Cannot add an anchor from " + pemPath));
        }
    }
    // CMS checks signers for S/MIME use unless told otherwise, which a code-signing
    // certificate fails; the code-signing usage is checked on the leaf itself.
    if (X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY) != 1 ||
        X509_STORE_set_flags(store.get(), X509_V_FLAG_PARTIAL_CHAIN) != 1) {
        return R::failure(ssl::failure("Cannot configure the anchor store"));
    }
    return AnchorStore(std::move(store));
}

}  // namespace mavu::codesign
