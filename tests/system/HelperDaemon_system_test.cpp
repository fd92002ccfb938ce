// The real mavu-helper, activated on demand on a private system bus, against a fake
// laptop and a fake power tool, called by mavu-ctl as the build signed it, and refusing
// callers polkit does not allow or another user at every member. (Every way to be refused
// is the gate test's; a stalled check, the verifier's.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/system/harness/HelperBed.h"

namespace mavu::testing {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

const char kDenied[] = "error org.freedesktop.DBus.Error.AccessDenied";
const std::string kRejected = "MAVUHelper: rejected XPC connection from unauthorized ";

TEST(HelperDaemon, ASignedClientHoldsWhileTheLidIsClosedUntilItOpensDisarmsOrStops) {
    HelperBed bed({});
    std::size_t seen = 0;
    const auto newRuns = [&] {  // the power tool's runs since the last look
        const auto runs = bed.powerToolRuns();
        return Lines(runs.begin() + static_cast<long>(std::exchange(seen, runs.size())),
                     runs.end());
    };
    const auto lid = [&](const std::string& state, const std::string& part) {
        ASSERT_TRUE(bed.laptop({"lid", state}));
        ASSERT_TRUE(bed.waitForStatus(part)) << bed.status();
    };
    EXPECT_THAT(bed.call({"arm", "3600", "0", "heartbeat", "0", "status", "version"}),
                ElementsAre(HasSubstr("pid "), "arm 1 -", "heartbeat 1 -",
                            "status armed=1 lid=0 hold=0 duration=3600 message=-",
                            // from the Info.plist of the bundle the helper was built into
                            std::string("version ") + MAVU_TEST_PROJECT_VERSION + " " +
                                MAVU_TEST_BUILD_NUMBER))
        << bed.log();
    // Start-up and the first report of an open lid restore normal sleep; arming with the
    // lid open runs nothing.
    eventually([&] { return bed.powerToolRuns().size() >= 2; });
    EXPECT_THAT(newRuns(), ElementsAre("-a disablesleep 0", "-a disablesleep 0"));

    lid("closed", "armed=1 lid=1 hold=1 duration=3600 message=-");
    EXPECT_THAT(newRuns(), ElementsAre("-g batt", "-a disablesleep 1", "displaysleepnow"));
    lid("open", "armed=1 lid=0 hold=0");
    EXPECT_THAT(bed.call({"disarm", "status"}),
                ElementsAre(HasSubstr("pid "), "disarm 1 -",
                            "status armed=0 lid=0 hold=0 duration=3600 message=-"));
    EXPECT_THAT(newRuns(), ElementsAre("-a disablesleep 0", "-a disablesleep 0"));

    // Closing the lid while disarmed holds nothing; arming then holds at once (the panel
    // stays on for an external display), forcing it off releases, and a stop signal
    // releases the hold before the helper exits.
    lid("closed", "armed=0 lid=1 hold=0");
    EXPECT_THAT(bed.call({"arm", "60", "1", "forcesafeoff", "status", "arm", "60", "0", "status"}),
                ElementsAre(HasSubstr("pid "), "arm 1 -", "forcesafeoff",
                            "status armed=0 lid=1 hold=0 duration=60 message=-", "arm 1 -",
                            "status armed=1 lid=1 hold=1 duration=60 message=-"));
    EXPECT_TRUE(bed.stopHelper());
    EXPECT_THAT(newRuns(),
                ElementsAre("-g batt", "-a disablesleep 1", "-a disablesleep 0", "-g batt",
                            "-a disablesleep 1", "displaysleepnow", "-a disablesleep 0"));
    // Sanitizer builds report from inside the helper into the bus log.
    EXPECT_THAT(bed.log(), AllOf(Not(HasSubstr("Sanitizer")), Not(HasSubstr("runtime error"))));
}

// Every other test runs with polkit allowing; here it refuses, or is not there at all, and
// every member is refused. Then the signed client run by another user: polkit, asked about
// the connection's own user, refuses it (the signature check alone cannot tell a program
// from the code running in it); the bus lets that user call the helper but never take its
// name.
TEST(ClientAdmission, TheSignedClientIsRefusedUnlessPolkitAllowsItsUser) {
    // Signatures are read by the verifier; the daemon does not even load the crypto library.
    EXPECT_THAT(runProcess("ldd", {MAVU_TEST_HELPER}).out, Not(HasSubstr("libcrypto")));
    for (const auto polkit : {PolkitStandIn::refuses, PolkitStandIn::absent}) {
        HelperBed bed({.polkit = polkit});
        const auto run = bed.call(
            {"arm", "60", "0", "heartbeat", "1", "disarm", "forcesafeoff", "status", "version"});
        EXPECT_THAT(run, ElementsAre(HasSubstr("pid "), kDenied, kDenied, kDenied, kDenied, kDenied,
                                     kDenied))
            << bed.log();
        EXPECT_THAT(bed.log(), HasSubstr(kRejected + run.at(0)));
    }
    if (getuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    HelperBed bed({});
    bed.allowOnlyUser(0);
    // The socket's folder must be open to others, as /run/dbus is.
    std::filesystem::permissions(
        bed.dir(), std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
        std::filesystem::perm_options::add);
    ASSERT_THAT(bed.status(), HasSubstr("status armed=0")) << bed.log();

    const auto asNobody = [&](std::vector<std::string> command) {
        command.insert(command.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", "--"});
        return runProcess("setpriv", command, bed.environment());
    };
    EXPECT_THAT(asNobody({"busctl", "--address=" + bed.bus().address(), "call",
                          "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                          "RequestName", "su", "group.com.norvel.mavu.helper", "0"})
                    .err,
                HasSubstr("Access denied"));
    const auto out = asNobody({MAVU_TEST_SIGNED_CLIENT, "arm", "3600", "0"}).out;
    EXPECT_THAT(out, HasSubstr(kDenied));
    EXPECT_THAT(bed.log(), HasSubstr(kRejected + out.substr(0, out.find('\n') + 1)));
    EXPECT_THAT(bed.status(), HasSubstr("status armed=0"));
}

// systemd's own checker, without a complaint, on the unit as the build configured it but
// starting the helper just built (the installed one may not exist yet); it also exits 0
// on settings it ignores, so its words count as much as its status. The manual page the
// unit names comes with the package, not the build tree. Its measure of the sandbox
// scored 2.4 before ProtectKernelTunables, ProtectHome, ProtectProc, private mounts, the
// narrower capability set and the system-call denials; 1.5 with them.
TEST(HelperResources, SystemdAcceptsTheUnitAndItsSandboxStaysTight) {
    std::string unit = readFile(MAVU_TEST_SYSTEMD_UNIT);
    const auto line = unit.find("\nExecStart=");
    ASSERT_NE(line, std::string::npos) << unit;
    unit.replace(line, unit.find('\n', line + 1) - line, "\nExecStart=" MAVU_TEST_HELPER);
    TempDir dir;
    const auto path =
        dir.write(std::filesystem::path(MAVU_TEST_SYSTEMD_UNIT).filename().string(), unit);
    const auto verified = runProcess("systemd-analyze", {"verify", "--man=no", path});
    EXPECT_EQ(verified.status, 0) << "systemd-analyze (package systemd) missing or failing";
    EXPECT_EQ(verified.out + verified.err, "");

    const auto security = runProcess(
        "systemd-analyze", {"security", "--offline=yes", "--no-pager", MAVU_TEST_SYSTEMD_UNIT});
    // "→ Overall exposure level for <unit>: 1.5 OK 🙂"
    const auto exposure = security.out.find("Overall exposure level");
    ASSERT_NE(exposure, std::string::npos) << security.out << security.err;
    EXPECT_LE(std::stod(security.out.substr(security.out.find(": ", exposure) + 2)), 1.6)
        << security.out;
}

}  // namespace
}  // namespace mavu::testing
