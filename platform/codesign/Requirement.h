#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/codesign/Result.h"
#include "platform/codesign/SigningIdentity.h"

namespace mavu::codesign {

// A parsed code requirement: clauses joined by `and`, every one of which must hold.
//   anchor apple generic                 the signature chains to an installed anchor
//   identifier "ID"                      the signing identifier is ID
//   certificate leaf[subject.OU] = "OU"  the leaf certificate's organisational unit is OU
// Anything else is refused when the text is read, so an unfamiliar requirement can
// never be satisfied by accident.
struct Requirement {
    enum class Kind { anchorGeneric, identifier, leafSubjectOU };
    struct Clause {
        Kind kind;
        std::string value;  // empty for anchorGeneric
        bool operator==(const Clause&) const = default;
    };
    std::vector<Clause> clauses;

    // Whether a signature that chains to an installed anchor and carries this identity
    // meets every clause.
    bool isMetBy(const SigningIdentity& identity) const;
};

Result<Requirement> createRequirement(std::string_view text);

}  // namespace mavu::codesign
