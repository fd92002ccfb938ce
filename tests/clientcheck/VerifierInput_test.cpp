// What the check of a client reads from outside: the client's stat line, whose command
// name the client chooses (any name is the fuzz replay's, tests/fuzz/corpus/ProcStat),
// and the verifier's answer.
#include <gtest/gtest.h>

#include "platform/clientcheck/ProcStat.h"
#include "platform/clientcheck/VerifierProcess.h"

namespace mavu::clientcheck {
namespace {

// Fields 3..21 as a real line has them, then the start time and the rest.
std::string statLine(const std::string& comm, const std::string& startTime) {
    return "4242 (" + comm + ") S 1 4242 4242 0 -1 4194560 120 0 0 0 1 2 0 0 20 0 1 0 " +
           startTime + " 5570560 300 18446744073709551615 1 1 0 0 0 0 0 4096 0 0 0 17 1 0\n";
}

TEST(ProcStatTest, ReadsTheLargestStartTimeAndRefusesLinesItCannotRead) {
    EXPECT_EQ(parseStartTime(statLine(")) ) )", "18446744073709551615")), 18446744073709551615ull);
    for (const std::string& line : {std::string(), std::string("4242 mavu S 1 2 3"),
                                    std::string("4242 (mavu) S 1 4242 4242 0 -1"),
                                    statLine("mavu", "12x"), statLine("mavu", "-5")}) {
        EXPECT_FALSE(parseStartTime(line)) << line;
    }
}

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
