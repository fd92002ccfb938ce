#pragma once

#include <string>
#include <string_view>

#include "platform/codesign/Result.h"

namespace mavu::codesign {

// PEM files of a signing identity. The certificate file's first certificate is the
// leaf; further certificates there, and those of the chain file, travel in the
// signature so a verifier can reach its anchor through them.
struct SigningCredentials {
    std::string certificatePath;
    std::string keyPath;
    std::string chainPath;  // optional
};

// Whether identifier may name a program: non-empty printable ASCII without quotes or
// backslashes, so it can always be written in a requirement.
bool isValidIdentifier(std::string_view identifier);

// The bytes of file signed as identifier. A signature file already carries is
// replaced, not signed over.
Result<std::string> signImage(std::string_view file, std::string_view identifier,
                              const SigningCredentials& credentials);

}  // namespace mavu::codesign
