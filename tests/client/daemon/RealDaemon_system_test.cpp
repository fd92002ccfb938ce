// The app's helper client, built into a signed and an unsigned program, against the real
// mavu-helper activated on a private system bus.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/ChildProcess.h"
#include "tests/system/harness/HelperBed.h"

namespace mavu::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class RealDaemonTest : public ::testing::Test {
  protected:
    std::vector<std::string> probe(const char* program) {
        const auto result = runProcess(program, {}, bed.environment());
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        std::vector<std::string> lines;
        std::istringstream in(result.out);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    void TearDown() override { bed.stopHelper(); }

    HelperBed bed{{MAVU_TEST_HELPER, MAVU_TEST_ANCHOR, MAVU_TEST_BUS_POLICY}};
};

TEST_F(RealDaemonTest, SignedClientIsAnsweredAndUnsignedRefusedWithoutWaiting) {
    ASSERT_TRUE(bed.bus().running()) << bed.log();
    EXPECT_THAT(probe(MAVU_TEST_SIGNED_PROBE),
                ElementsAre("arm 1 - answered lastError=-",
                            std::string("version ") + MAVU_TEST_PROJECT_VERSION + " " +
                                MAVU_TEST_BUILD_NUMBER + " answered",
                            "disarm answered", "forcesafeoff answered"))
        << bed.log();
    EXPECT_THAT(probe(MAVU_TEST_UNSIGNED_PROBE),
                ElementsAre("arm 0 - answered lastError=This program is not allowed to talk to the "
                            "MAVU helper.",
                            "version none answered", "disarm answered", "forcesafeoff answered"));
    EXPECT_THAT(bed.log(), HasSubstr("MAVUHelper: rejected XPC connection from unauthorized pid"));
    // Start-up and the first report of the open lid restore normal sleep; arming with the
    // lid open holds nothing; the disarm and the safe-off restore it again; the refused
    // client changes nothing.
    EXPECT_EQ(bed.powerToolRuns(), std::vector<std::string>(4, "-a disablesleep 0"));
}

}  // namespace
}  // namespace mavu::testing
