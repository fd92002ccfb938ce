#include "platform/codesign/Requirement.h"

#include <gtest/gtest.h>

#include "platform/clientcheck/ClientCheck.h"

namespace mavu::codesign {
namespace {

using Kind = Requirement::Kind;

// Whether an identity meets what it reads is the fuzz replay's (tests/fuzz/corpus/Requirement).
TEST(RequirementTest, TheClientRequirementSpacingAndEscapesAreRead) {
    auto client = createRequirement(clientcheck::kClientRequirement);
    ASSERT_TRUE(client) << client.error();
    EXPECT_EQ(client->clauses,
              (std::vector<Requirement::Clause>{{Kind::anchorGeneric, ""},
                                                {Kind::identifier, "com.norvel.mavu"},
                                                {Kind::leafSubjectOU, "QX3J8R2N5T"}}));
    EXPECT_FALSE(client->isMetBy({"com.norvel.mavu.x", "QX3J8R2N5T"}));

    auto requirement = createRequirement(
        "\n  identifier\t\"a \\\"b\\\\\"  and certificate leaf [ subject.OU ]=\"T\"");
    ASSERT_TRUE(requirement) << requirement.error();
    EXPECT_EQ(requirement->clauses[0].value, "a \"b\\");
    EXPECT_EQ(requirement->clauses[1].value, "T");

    // Read within its bounds when nothing follows the text (the sanitizer build checks).
    const std::string text = "anchor apple generic";
    const auto exact = std::make_unique<char[]>(text.size());
    std::copy(text.begin(), text.end(), exact.get());
    EXPECT_TRUE(createRequirement(std::string_view(exact.get(), text.size())));
}

TEST(RequirementTest, MalformedOrUnknownTextIsRefused) {
    // A backslash at the very end, or one escaping the closing quote, leaves the string
    // open: refused, never read past the end.
    const char* texts[] = {"",
                           "   ",
                           "anchor",
                           "anchor apple",
                           "anchor apple generic and",
                           "and anchor apple generic",
                           "anchor apple generic and and identifier \"x\"",
                           "anchor apple generic identifier \"x\"",
                           "anchor apple generic or identifier \"x\"",
                           "!identifier \"x\"",
                           "Identifier \"x\"",
                           "identifier x",
                           "identifier \"x",
                           "identifier \"x\\",
                           "identifier \"x\\\"",
                           "identifier \"\"",
                           "identifier \"x\" \"y\"",
                           "certificate leaf[subject.CN] = \"x\"",
                           "certificate root[subject.OU] = \"x\"",
                           "certificate leaf[subject.OU] \"x\"",
                           "certificate leaf[subject.OU = \"x\"",
                           "certificate leaf[subject.OU] = x",
                           "cdhash H\"00\"",
                           "identifier \"x\"; anchor apple generic"};
    for (const char* text : texts) {
        auto requirement = createRequirement(text);
        EXPECT_FALSE(requirement) << "accepted: " << text;
        EXPECT_FALSE(requirement.error().empty()) << text;
    }
}

}  // namespace
}  // namespace mavu::codesign
