// The requirement text a client must meet.
#include <string>

#include "platform/codesign/Requirement.h"
#include "tests/fuzz/FuzzTarget.h"

namespace {

using mavu::codesign::Requirement;

std::string quoted(const std::string& value) {
    std::string text = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\') {
            text += '\\';
        }
        text += c;
    }
    return text + "\"";
}

// The requirement written back in its plainest form.
std::string canonicalText(const Requirement& requirement) {
    std::string text;
    for (const auto& clause : requirement.clauses) {
        text += text.empty() ? "" : " and ";
        switch (clause.kind) {
            case Requirement::Kind::anchorGeneric:
                text += "anchor apple generic";
                break;
            case Requirement::Kind::identifier:
                text += "identifier " + quoted(clause.value);
                break;
            case Requirement::Kind::leafSubjectOU:
                text += "certificate leaf[subject.OU] = " + quoted(clause.value);
                break;
        }
    }
    return text;
}

}  // namespace

MAVU_FUZZ_TARGET(Requirement) {
    const auto requirement = mavu::codesign::createRequirement(input);
    if (!requirement) {
        MAVU_FUZZ_CHECK(!requirement.error().empty());
        return;
    }
    MAVU_FUZZ_CHECK(!requirement->clauses.empty());

    // Written back and read again, it is the same requirement.
    const auto again = mavu::codesign::createRequirement(canonicalText(requirement.value()));
    MAVU_FUZZ_CHECK(again && again->clauses == requirement->clauses);

    // The identity every identifier and team clause names meets it exactly when the
    // clauses agree with each other.
    mavu::codesign::SigningIdentity named;
    bool consistent = true;
    for (const auto& clause : requirement->clauses) {
        MAVU_FUZZ_CHECK(clause.kind == Requirement::Kind::anchorGeneric || !clause.value.empty());
        std::string* field = clause.kind == Requirement::Kind::identifier      ? &named.identifier
                             : clause.kind == Requirement::Kind::leafSubjectOU ? &named.team
                                                                               : nullptr;
        if (field == nullptr) {
            continue;
        }
        consistent = consistent && (field->empty() || *field == clause.value);
        if (field->empty()) {
            *field = clause.value;
        }
    }
    MAVU_FUZZ_CHECK(requirement->isMetBy(named) == consistent);
}
