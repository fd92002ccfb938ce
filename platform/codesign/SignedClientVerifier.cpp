#include "platform/codesign/SignedClientVerifier.h"

#include "platform/codesign/AnchorStore.h"
#include "platform/codesign/GuestCode.h"
#include "platform/codesign/Requirement.h"
#include "platform/codesign/SignatureCheck.h"

namespace mavu::codesign {

SignedClientVerifier::SignedClientVerifier(std::string anchorPemPath, std::string requirementText)
    : anchorPemPath_(std::move(anchorPemPath)), requirementText_(std::move(requirementText)) {}

bool SignedClientVerifier::isAuthorizedClient(const ProcessIdentity& process) {
    return static_cast<bool>(check(process));
}

Result<SigningIdentity> SignedClientVerifier::check(const ProcessIdentity& process) const {
    auto code = copyGuestCode(process);
    if (!code) {
        return code.forward<SigningIdentity>();
    }
    auto requirement = createRequirement(requirementText_);
    if (!requirement) {
        return requirement.forward<SigningIdentity>();
    }
    auto anchors = AnchorStore::load(anchorPemPath_);
    if (!anchors) {
        return anchors.forward<SigningIdentity>();
    }
    return checkValidity(code.value(), requirement.value(), anchors.value());
}

}  // namespace mavu::codesign
