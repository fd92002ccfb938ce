#pragma once

#include <string>

#include "platform/clientcheck/ClientCheck.h"
#include "platform/codesign/Result.h"
#include "platform/codesign/SigningIdentity.h"

namespace mavu::codesign {

// Checks, in this process, that a process runs a program signed under the anchor
// certificates of one PEM file that meets the requirement. The daemon never does this
// itself (it hands the program to the verifier process); tools and tests do. Holds no
// state between checks (the anchor file is read at each), so it may be called from any
// thread.
class SignedClientVerifier {
  public:
    explicit SignedClientVerifier(std::string anchorPemPath,
                                  std::string requirementText = clientcheck::kClientRequirement);

    bool isAuthorizedClient(const clientcheck::ProcessIdentity& process) const;

    // The same check, answering who signed the client or why it was refused.
    Result<SigningIdentity> check(const clientcheck::ProcessIdentity& process) const;

  private:
    std::string anchorPemPath_;
    std::string requirementText_;
};

}  // namespace mavu::codesign
