#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/codesign/Result.h"

namespace mavu::codesign {

// What a signature says about itself, read without deciding whether to trust it.
struct SignatureDescription {
    std::string identifier;
    std::optional<std::string> team;
    std::string signer;  // the leaf's subject
    std::string issuer;  // the leaf's issuer
    std::size_t signedBytes = 0;
    std::size_t signatureBytes = 0;
};

Result<SignatureDescription> describeSignedImage(std::string_view file);

}  // namespace mavu::codesign
