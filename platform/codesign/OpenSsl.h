#pragma once

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codesign/Result.h"

// One owner for every OpenSSL object, so each is released on every path.
namespace mavu::codesign::ssl {

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};

template <class T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, Deleter<T, Free>>;

inline void freeBio(BIO* bio) {
    BIO_free(bio);
}
inline void freeCertStack(STACK_OF(X509) * certs) {
    sk_X509_pop_free(certs, X509_free);
}
// For stacks whose certificates belong to someone else (CMS_get0_signers).
inline void freeBorrowedCertStack(STACK_OF(X509) * certs) {
    sk_X509_free(certs);
}

using Bio = Owned<BIO, freeBio>;
using BioChain = Owned<BIO, BIO_free_all>;
using Cert = Owned<X509, X509_free>;
using CertStack = Owned<STACK_OF(X509), freeCertStack>;
using BorrowedCertStack = Owned<STACK_OF(X509), freeBorrowedCertStack>;
using Cms = Owned<CMS_ContentInfo, CMS_ContentInfo_free>;
using Key = Owned<EVP_PKEY, EVP_PKEY_free>;
using Object = Owned<ASN1_OBJECT, ASN1_OBJECT_free>;
using Store = Owned<X509_STORE, X509_STORE_free>;

// OpenSSL reports the cause of a failure only on its thread's error queue. This clears
// the queue when an operation starts and again when it ends, whatever the path, so no
// stale entry leaks into the next operation's explanation.
class ErrorScope {
  public:
    ErrorScope();
    ~ErrorScope();
    ErrorScope(const ErrorScope&) = delete;
    ErrorScope& operator=(const ErrorScope&) = delete;
};

// what, followed by the reasons on the error queue (which it empties).
std::string failure(std::string_view what);

// A read-only memory stream over bytes that outlive it.
Bio readOnlyBio(std::string_view bytes);

// The same stream behind a pass-through filter, for content CMS_verify checks. Handed a
// bare memory stream, CMS_verify makes a copy of its own, which OpenSSL 3.0 (3.0.19 on
// Debian 12) loses when it cannot start digesting (the signature names a digest it does
// not know): a leak for every such program the helper refuses.
BioChain contentBio(std::string_view bytes);

// Every certificate in a PEM file, in file order; fails when there is none.
Result<std::vector<Cert>> loadCertificates(const std::string& pemPath);
// The same from PEM text already read; name says where it came from.
Result<std::vector<Cert>> certificatesFromPem(std::string_view pem, const std::string& name);
Result<Key> loadPrivateKey(const std::string& pemPath);

// The text of one subject entry of a certificate (e.g. NID_organizationalUnitName), or
// nothing when the entry is missing, repeated or not text.
std::optional<std::string> singleSubjectEntry(const X509* cert, int nid);
std::string subjectLine(const X509* cert);
std::string issuerLine(const X509* cert);

}  // namespace mavu::codesign::ssl
