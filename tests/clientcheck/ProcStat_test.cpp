#include "platform/clientcheck/ProcStat.h"

#include <gtest/gtest.h>

namespace mavu::clientcheck {
namespace {

// Fields 3..21 as a real line has them, then the start time and the rest.
std::string statLine(const std::string& comm, const std::string& startTime) {
    return "4242 (" + comm + ") S 1 4242 4242 0 -1 4194560 120 0 0 0 1 2 0 0 20 0 1 0 " +
           startTime +
           " 5570560 300 18446744073709551615 1 1 0 0 0 0 0 4096 0 0 0 17 1 0 0 0 0 0\n";
}

// Any command name is the fuzz replay's (tests/fuzz/corpus/ProcStat); here the edges.
TEST(ProcStatTest, ReadsTheLargestStartTimeAndRefusesLinesItCannotRead) {
    EXPECT_EQ(parseStartTime(statLine(")) ) )", "18446744073709551615")), 18446744073709551615ull);
    EXPECT_FALSE(parseStartTime(""));
    EXPECT_FALSE(parseStartTime("4242 mavu S 1 2 3"));
    EXPECT_FALSE(parseStartTime("4242 (mavu) S 1 4242 4242 0 -1"));
    EXPECT_FALSE(parseStartTime(statLine("mavu", "12x")));
    EXPECT_FALSE(parseStartTime(statLine("mavu", "-5")));
}

}  // namespace
}  // namespace mavu::clientcheck
