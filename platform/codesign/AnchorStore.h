#pragma once

#include <string>

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

    X509_STORE* get() const { return store_.get(); }

  private:
    explicit AnchorStore(ssl::Store store) : store_(std::move(store)) {}

    ssl::Store store_;
};

}  // namespace mavu::codesign
