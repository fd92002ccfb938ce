#include "platform/codesign/Requirement.h"

#include <gtest/gtest.h>

#include "platform/clientcheck/ClientCheck.h"

namespace mavu::codesign {
namespace {

using Kind = Requirement::Kind;

TEST(RequirementTest, TheClientRequirementReadsAsItsThreeClauses) {
    auto requirement = createRequirement(clientcheck::kClientRequirement);
    ASSERT_TRUE(requirement) << requirement.error();
    std::vector<Requirement::Clause> expected = {{Kind::anchorGeneric, ""},
                                                 {Kind::identifier, "com.norvel.mavu"},
                                                 {Kind::leafSubjectOU, "QX3J8R2N5T"}};
    EXPECT_EQ(requirement->clauses, expected);

    EXPECT_TRUE(requirement->isMetBy({"com.norvel.mavu", "QX3J8R2N5T"}));
    EXPECT_FALSE(requirement->isMetBy({"com.norvel.mavu", "ZZ4K7W2M9B"}));
    EXPECT_FALSE(requirement->isMetBy({"MAVUHelper", "QX3J8R2N5T"}));
    EXPECT_FALSE(requirement->isMetBy({"com.norvel.mavu.x", "QX3J8R2N5T"}));
}

TEST(RequirementTest, SpacingAndEscapesInsideStringsAreRead) {
    auto requirement = createRequirement(
        "\n  identifier\t\"a \\\"b\\\\\"  and certificate leaf [ subject.OU ]=\"T\"");
    ASSERT_TRUE(requirement) << requirement.error();
    EXPECT_EQ(requirement->clauses[0].value, "a \"b\\");
    EXPECT_EQ(requirement->clauses[1].value, "T");
    EXPECT_TRUE(requirement->isMetBy({"a \"b\\", "T"}));

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
                           "anchor trusted",
                           "(anchor apple generic)",
                           "!identifier \"x\"",
                           "Identifier \"x\"",
                           "identifier x",
                           "identifier = \"x\"",
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
                           "certificate leaf[field.1.2.3] exists",
                           "info[CFBundleVersion] = \"1\"",
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
