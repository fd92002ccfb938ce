#include "helper/bus/DaemonOptions.h"

#include <gtest/gtest.h>

namespace mavu::helper {
namespace {

// The options in force (anchor, pmset, hardware root, verifier), or the sentence refusing them.
std::string outcome(const std::vector<std::string>& args) {
    const auto result = parseDaemonOptions(
        args, {"/etc/anchor.pem", "/usr/lib/mavu-pmset", "/", "/usr/lib/mavu-verify"});
    if (const auto* error = std::get_if<OptionsError>(&result)) {
        return error->sentence;
    }
    const auto& options = std::get<DaemonOptions>(result);
    return options.anchor + "|" + options.pmset + "|" + options.hardwareRoot + "|" +
           options.verifier;
}

TEST(DaemonOptions, OptionsReplaceTheDefaultsAndMalformedOnesAreRefusedWithASentence) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "/etc/anchor.pem|/usr/lib/mavu-pmset|/|/usr/lib/mavu-verify"},
        {{"--anchor", "dev.pem", "--pmset=/tmp/fake pmset", "--hardware-root", "/tmp/laptop",
          "--verifier", "/tmp/verify"},
         "dev.pem|/tmp/fake pmset|/tmp/laptop|/tmp/verify"},
        {{"--anchorx=1"}, "Unknown option --anchorx=1."},
        {{"--pmset"}, "The option --pmset needs a value."},
        {{"--anchor="}, "The option --anchor needs a value."},
        {{"--hardware-root", ""}, "The option --hardware-root needs a value."},
    };
    for (const auto& [args, expected] : cases) {
        EXPECT_EQ(outcome(args), expected) << ::testing::PrintToString(args);
    }
}

}  // namespace
}  // namespace mavu::helper
