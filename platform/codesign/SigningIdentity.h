#pragma once

#include <string>

namespace mavu::codesign {

// Who signed a program: the identifier carried in the signature and the team, the
// organisational unit of the signing certificate.
struct SigningIdentity {
    std::string identifier;
    std::string team;
    bool operator==(const SigningIdentity&) const = default;
};

}  // namespace mavu::codesign
