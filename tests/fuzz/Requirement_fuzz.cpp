// The requirement text a client must meet.
#include <string>

#include "platform/codesign/Requirement.h"
#include "tests/fuzz/FuzzTarget.h"

MAVU_FUZZ_TARGET(Requirement) {
    using mavu::codesign::Requirement;
    const auto requirement = mavu::codesign::createRequirement(input);
    if (!requirement) {
        MAVU_FUZZ_CHECK(!requirement.error().empty());
        return;
    }
    MAVU_FUZZ_CHECK(!requirement->clauses.empty());

    // Written back in its plainest form and read again, it is the same requirement; and
    // the identity its identifier and team clauses name meets it exactly when they agree.
    std::string plain;
    mavu::codesign::SigningIdentity named;
    bool consistent = true;
    for (const auto& clause : requirement->clauses) {
        std::string quoted = "\"";
        for (const char c : clause.value) {
            quoted += (c == '"' || c == '\\') ? std::string{'\\', c} : std::string{c};
        }
        plain += plain.empty() ? "" : " and ";
        std::string* field = nullptr;
        switch (clause.kind) {
            case Requirement::Kind::anchorGeneric:
                plain += "anchor apple generic";
                continue;
            case Requirement::Kind::identifier:
                plain += "identifier " + quoted + "\"";
                field = &named.identifier;
                break;
            case Requirement::Kind::leafSubjectOU:
                plain += "certificate leaf[subject.OU] = " + quoted + "\"";
                field = &named.team;
                break;
        }
        MAVU_FUZZ_CHECK(!clause.value.empty());
        consistent = consistent && (field->empty() || *field == clause.value);
        *field = field->empty() ? clause.value : *field;
    }
    const auto again = mavu::codesign::createRequirement(plain);
    MAVU_FUZZ_CHECK(again && again->clauses == requirement->clauses);
    MAVU_FUZZ_CHECK(requirement->isMetBy(named) == consistent);
}
