// The app's helper client, built into a signed and an unsigned program, against the real
// mavu-helper activated on a private system bus.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"
#include "tests/system/harness/HelperBed.h"

namespace mavu::testing {
namespace {

TEST(RealDaemon, SignedClientIsAnsweredAndUnsignedRefusedWithoutWaiting) {
    HelperBed bed{{MAVU_TEST_HELPER, MAVU_TEST_ANCHOR, MAVU_TEST_BUS_POLICY}};
    ASSERT_TRUE(bed.bus().running()) << bed.log();
    const auto signedRun = runProcess(MAVU_TEST_SIGNED_PROBE, {}, bed.environment());
    EXPECT_EQ(signedRun.out, std::string("arm 1 - lastError=- answered\nversion ") +
                                 MAVU_TEST_PROJECT_VERSION + " " + MAVU_TEST_BUILD_NUMBER +
                                 " answered\ndisarm answered\n")
        << bed.log();
    EXPECT_EQ(runProcess(MAVU_TEST_UNSIGNED_PROBE, {}, bed.environment()).out,
              "arm 0 - lastError=This program is not allowed to talk to the MAVU helper. "
              "answered\nversion none answered\ndisarm answered\n");
    EXPECT_THAT(bed.log(),
                ::testing::HasSubstr("MAVUHelper: rejected XPC connection from unauthorized pid"));
    // Start-up and the first report of the open lid restore normal sleep; arming with the
    // lid open holds nothing; the disarm restores it again; the refused client changes
    // nothing.
    EXPECT_EQ(bed.powerToolRuns(), std::vector<std::string>(3, "-a disablesleep 0"));
    bed.stopHelper();
}

}  // namespace
}  // namespace mavu::testing
