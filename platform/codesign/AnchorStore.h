#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/codesign/OpenSsl.h"
#include "platform/codesign/Result.h"

namespace mavu::codesign {

// The certificates a signature must chain to: those of one PEM file and nothing else,
// never the system's trust store. Any certificate in the file may end a chain, so an
// issuing CA can be installed without its root. Safe to share between threads once
// loaded.
class AnchorStore {
  public:
    static Result<AnchorStore> load(const std::string& pemPath);
    // From the text of such a file, already read; name says where it came from.
    static Result<AnchorStore> fromPem(std::string_view pem, const std::string& name);

    X509_STORE* get() const { return store_.get(); }

  private:
    explicit AnchorStore(ssl::Store store) : store_(std::move(store)) {}
    static Result<AnchorStore> fromCertificates(Result<std::vector<ssl::Cert>> certs,
                                                const std::string& pemPath);

    ssl::Store store_;
};

}  // namespace mavu::codesign
