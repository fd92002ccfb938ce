#pragma once

#include <string_view>

#include "platform/codesign/AnchorStore.h"
#include "platform/codesign/GuestCode.h"
#include "platform/codesign/Requirement.h"
#include "platform/codesign/Result.h"
#include "platform/codesign/SigningIdentity.h"

namespace mavu::codesign {

// Verifies a signed file: the signature covers the original bytes, its leaf is a
// code-signing certificate that chains to one of the anchors, and it names one
// identifier and one team. Answers who signed it.
Result<SigningIdentity> verifySignedImage(std::string_view file, const AnchorStore& anchors);

// The validity check of a client: its program verifies and meets the requirement.
Result<SigningIdentity> checkValidity(const GuestCode& code, const Requirement& requirement,
                                      const AnchorStore& anchors);

}  // namespace mavu::codesign
