// Who the real mavu-helper serves: callers whose user polkit allows and whose program is
// signed as ours, decided without letting one caller hold up another.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/system/harness/HelperBed.h"

namespace mavu::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

const char kDenied[] = "error org.freedesktop.DBus.Error.AccessDenied";
const char kRejected[] = "MAVUHelper: rejected XPC connection from unauthorized pid ";

HelperBedSetup setup(PolkitStandIn polkit = PolkitStandIn::allows,
                     std::filesystem::path verifier = {}) {
    return {MAVU_TEST_HELPER, MAVU_TEST_ANCHOR, MAVU_TEST_BUS_POLICY, polkit, verifier};
}

std::string status(const HelperBed& bed) {
    return runProcess(MAVU_TEST_SIGNED_CLIENT, {"status"}, bed.environment()).out;
}

// The pid a run printed first ("pid N").
std::string pidOf(const std::string& out) {
    return out.rfind("pid ", 0) == 0 ? out.substr(4, out.find('\n') - 4) : "?";
}

// Every other test runs with polkit allowing; here it refuses, or is not there at all.
TEST(ClientAdmission, TheSignedClientIsRefusedUnlessPolkitAllowsIt) {
    // Signatures are read by the verifier; the daemon does not even load the crypto library.
    EXPECT_THAT(runProcess("ldd", {MAVU_TEST_HELPER}).out, Not(HasSubstr("libcrypto")));
    for (const auto polkit : {PolkitStandIn::refuses, PolkitStandIn::absent}) {
        SCOPED_TRACE(static_cast<int>(polkit));
        HelperBed bed(setup(polkit));
        const std::string out = status(bed);
        EXPECT_THAT(out, HasSubstr(kDenied)) << bed.log();
        EXPECT_THAT(bed.log(), HasSubstr(kRejected + pidOf(out)));
    }
}

// A verifier stuck on one client's program (as one reading a file on a stalled mount
// would be) holds up neither the bus nor anyone else's check; it is killed at the limit.
TEST(ClientAdmission, AStalledCheckDoesNotDelayAnotherClient) {
    TempDir scratch;
    const auto stalling =
        scratch.writeExecutable("stalling-client", readFile(MAVU_TEST_SIGNED_CLIENT));
    const auto verifier = scratch.writeScript(
        "verifier", "if [ \"$(readlink /proc/self/fd/3)\" = '" + stalling + "' ]; then\n  touch '" +
                        scratch.path("stalled").string() + "'\n  exec sleep 60\nfi\nexec '" +
                        MAVU_TEST_VERIFIER + "' \"$@\"\n");
    HelperBed bed(setup(PolkitStandIn::allows, verifier));
    ASSERT_THAT(status(bed), HasSubstr("status armed=0")) << bed.log();

    TalkingProcess stalled(stalling, {"status"}, bed.environment());
    ASSERT_TRUE(eventually([&] { return scratch.exists("stalled"); }));
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_THAT(status(bed), HasSubstr("status armed=0"));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);

    const auto pid = stalled.readLine(10s);
    EXPECT_EQ(stalled.readLine(10s), kDenied);
    EXPECT_THAT(bed.log(), HasSubstr(kRejected + pidOf(pid.value_or("") + "\n")));
}

// The signed client run by another user: polkit, asked about the connection's own user,
// refuses it (the signature check alone cannot tell a program from the code running in
// it); the bus lets that user call the helper but never take its name.
TEST(ClientAdmission, AnotherUsersSignedClientIsRefusedAndLogged) {
    if (getuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    HelperBed bed(setup());
    bed.allowOnlyUser(0);
    // The socket's folder must be open to others, as /run/dbus is.
    std::filesystem::permissions(
        bed.dir(), std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
        std::filesystem::perm_options::add);
    ASSERT_THAT(status(bed), HasSubstr("status armed=0")) << bed.log();

    const auto asNobody = [&](std::vector<std::string> command) {
        command.insert(command.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", "--"});
        return runProcess("setpriv", command, bed.environment());
    };
    EXPECT_THAT(asNobody({"busctl", "--address=" + bed.bus().address(), "call",
                          "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                          "RequestName", "su", "group.com.norvel.mavu.helper", "0"})
                    .err,
                HasSubstr("Access denied"));
    const auto run = asNobody({MAVU_TEST_SIGNED_CLIENT, "arm", "3600", "0"});
    EXPECT_THAT(run.out, HasSubstr(kDenied)) << run.err;
    EXPECT_THAT(bed.log(), HasSubstr(kRejected + pidOf(run.out) + "\n"));
    EXPECT_THAT(status(bed), HasSubstr("status armed=0"));
}

}  // namespace
}  // namespace mavu::testing
