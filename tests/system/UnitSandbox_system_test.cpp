// systemd's own measure of the helper's sandbox, on the unit as the build configured it.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/ChildProcess.h"

namespace mavu::testing {
namespace {

// The unit scored 2.4 before ProtectKernelTunables, ProtectHome, ProtectProc, private
// mounts, the narrower capability set and the system-call denials; 1.5 with them.
constexpr double kMostExposure = 1.6;

TEST(UnitSandbox, ExposureStaysBelowTheBound) {
    const auto result = runProcess(
        "systemd-analyze", {"security", "--offline=yes", "--no-pager", MAVU_TEST_SYSTEMD_UNIT});
    // "→ Overall exposure level for <unit>: 1.5 OK 🙂"
    const auto line = result.out.find("Overall exposure level");
    ASSERT_NE(line, std::string::npos) << result.out << result.err;
    const auto colon = result.out.find(": ", line);
    ASSERT_NE(colon, std::string::npos);
    const double exposure = std::stod(result.out.substr(colon + 2));
    std::printf("exposure of the helper's unit: %.1f\n", exposure);
    EXPECT_LE(exposure, kMostExposure) << result.out;
}

}  // namespace
}  // namespace mavu::testing
