#include "platform/clientcheck/VerifierProcess.h"

#include <gtest/gtest.h>

namespace mavu::clientcheck {
namespace {

// Only a verifier that said so and ended so has a verdict.
TEST(VerifierProcessTest, AVerdictNeedsBothTheLineAndTheExitStatus) {
    const std::tuple<const char*, std::optional<int>, Verdict> cases[] = {
        {"accepted com.norvel.mavu QX3J8R2N5T\n", 0, Verdict::accepted},
        {"refused: The program is not signed.\n", 1, Verdict::refused},
        {"accepted com.norvel.mavu QX3J8R2N5T\n", 1, Verdict::unknown},
        {"accepted com.norvel.mavu QX3J8R2N5T\n", std::nullopt, Verdict::unknown},
        {"refused: The program is not signed.\n", 0, Verdict::unknown},
        {"", 0, Verdict::unknown},
        {"noise\naccepted x y\n", 0, Verdict::unknown},
    };
    for (const auto& [output, status, verdict] : cases) {
        EXPECT_EQ(parseVerdict(output, status), verdict) << output << status.value_or(-1);
    }
}

}  // namespace
}  // namespace mavu::clientcheck
