#pragma once

#include <string>

#include "platform/codesign/ClientCheck.h"
#include "platform/codesign/Result.h"
#include "platform/codesign/SigningIdentity.h"

namespace mavu::codesign {

// Admits a process when the program it runs is signed under the anchor certificates of
// one PEM file and meets the requirement. Holds no state between checks (the anchor
// file is read at each), so it may be called from any thread.
class SignedClientVerifier : public ClientVerifier {
  public:
    explicit SignedClientVerifier(std::string anchorPemPath,
                                  std::string requirementText = kClientRequirement);

    bool isAuthorizedClient(const ProcessIdentity& process) override;

    // The same check, answering who signed the client or why it was refused.
    Result<SigningIdentity> check(const ProcessIdentity& process) const;

  private:
    std::string anchorPemPath_;
    std::string requirementText_;
};

}  // namespace mavu::codesign
