#include "helper/bus/DaemonOptions.h"

#include <gtest/gtest.h>

namespace mavu::helper {
namespace {

const DaemonOptions kDefaults{"/etc/mavu/anchor.pem", "/usr/lib/mavu/mavu-pmset", "/",
                              "/usr/lib/mavu/mavu-verify"};

DaemonOptions parsed(const std::vector<std::string>& args) {
    auto result = parseDaemonOptions(args, kDefaults);
    EXPECT_TRUE(std::holds_alternative<DaemonOptions>(result))
        << std::get<OptionsError>(result).sentence;
    return std::holds_alternative<DaemonOptions>(result) ? std::get<DaemonOptions>(result)
                                                         : DaemonOptions{};
}

std::string errorOf(const std::vector<std::string>& args) {
    auto result = parseDaemonOptions(args, kDefaults);
    if (auto* error = std::get_if<OptionsError>(&result)) {
        return error->sentence;
    }
    return "accepted";
}

TEST(DaemonOptions, DefaultsStandUntilAnOptionReplacesThem) {
    const auto none = parsed({});
    EXPECT_EQ(none.anchor, "/etc/mavu/anchor.pem");
    EXPECT_EQ(none.pmset, "/usr/lib/mavu/mavu-pmset");
    EXPECT_EQ(none.hardwareRoot, "/");

    const auto all = parsed({"--anchor", "dev.pem", "--pmset=/tmp/fake pmset", "--hardware-root",
                             "/tmp/laptop", "--verifier", "/tmp/verify"});
    EXPECT_EQ(all.anchor, "dev.pem");
    EXPECT_EQ(all.verifier, "/tmp/verify");
    EXPECT_EQ(all.pmset, "/tmp/fake pmset");
    EXPECT_EQ(all.hardwareRoot, "/tmp/laptop");

    EXPECT_EQ(parsed({"--pmset", "a", "--pmset", "b"}).pmset, "b");
}

TEST(DaemonOptions, MalformedCommandLinesAreRefusedWithASentence) {
    EXPECT_EQ(errorOf({"--verbose"}), "Unknown option --verbose.");
    EXPECT_EQ(errorOf({"anchor.pem"}), "Unknown option anchor.pem.");
    EXPECT_EQ(errorOf({"--anchorx=1"}), "Unknown option --anchorx=1.");
    EXPECT_EQ(errorOf({"--pmset"}), "The option --pmset needs a value.");
    EXPECT_EQ(errorOf({"--anchor="}), "The option --anchor needs a value.");
    EXPECT_EQ(errorOf({"--hardware-root", ""}), "The option --hardware-root needs a value.");
}

}  // namespace
}  // namespace mavu::helper
