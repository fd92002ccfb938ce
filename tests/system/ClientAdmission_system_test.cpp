// Who the real mavu-helper serves: callers whose user polkit allows and whose program is
// signed as ours, decided without letting one caller hold up another.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

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

// The sanitizer runtime refuses to run behind a preloaded library unless told to.
#if defined(__SANITIZE_ADDRESS__)
const std::string kPreloadSanitizerOptions =
    "ASAN_OPTIONS=" + std::string(getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "") +
    ":verify_asan_link_order=0";
#else
const std::string kPreloadSanitizerOptions = "MAVU_UNUSED=1";
#endif

std::string status(const HelperBed& bed) {
    return runProcess(MAVU_TEST_SIGNED_CLIENT, {"status"}, bed.environment()).out;
}

// The pid a run printed first ("pid N").
std::string pidOf(const std::string& out) {
    const auto at = out.find("pid ");
    return at == std::string::npos ? "?" : out.substr(at + 4, out.find('\n', at) - at - 4);
}

TEST(ClientAdmission, TheSignedClientIsServedOnlyWhenPolkitAllowsIt) {
    // Signatures are read by the verifier; the daemon does not even load the crypto library.
    EXPECT_THAT(runProcess("ldd", {MAVU_TEST_HELPER}).out, Not(HasSubstr("libcrypto")));
    for (const auto polkit :
         {PolkitStandIn::allows, PolkitStandIn::refuses, PolkitStandIn::absent}) {
        SCOPED_TRACE(static_cast<int>(polkit));
        HelperBed bed(setup(polkit));
        const std::string out = status(bed);
        if (polkit == PolkitStandIn::allows) {
            EXPECT_THAT(out, HasSubstr("status armed=0")) << bed.log();
            EXPECT_THAT(bed.log(), Not(HasSubstr(kRejected)));
        } else {
            EXPECT_THAT(out, HasSubstr(kDenied)) << bed.log();
            EXPECT_THAT(bed.log(), HasSubstr(kRejected + pidOf(out)));
        }
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
    const auto took = std::chrono::steady_clock::now() - asked;
    EXPECT_LT(took, 1s);
    std::printf("Status while another client's check is stalled: %lld ms\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));

    const auto pid = stalled.readLine(10s);
    EXPECT_EQ(stalled.readLine(10s), kDenied);
    ASSERT_TRUE(pid);
    EXPECT_THAT(bed.log(), HasSubstr(kRejected + pidOf(*pid)));
}

// Each attack puts a signed program behind a connection whose process is not running it
// as the bus sees it. On this bus (no process handle for a connection) the signature
// check cannot tell; polkit, asked about the connection's own user, refuses them.
TEST(ClientAdmission, AttacksOnTheSignatureCheckByAnotherUserAreRefusedAndLogged) {
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

    const std::vector<std::string> asNobody{"--reuid=65534", "--regid=65534", "--clear-groups",
                                            "--"};
    const std::pair<const char*, std::vector<std::string>> attacks[] = {
        {"the signed client itself", {MAVU_TEST_SIGNED_CLIENT, "arm", "3600", "0"}},
        {"exec after connect", {MAVU_TEST_ATTACK, "exec-after-connect", MAVU_TEST_SIGNED_CLIENT}},
        {"pid reuse", {MAVU_TEST_ATTACK, "pid-reuse", MAVU_TEST_SIGNED_CLIENT}},
        {"preloaded code",
         {"env", std::string("LD_PRELOAD=") + MAVU_TEST_PRELOAD, kPreloadSanitizerOptions,
          MAVU_TEST_SIGNED_CLIENT, "--help"}},
    };
    for (const auto& [what, command] : attacks) {
        SCOPED_TRACE(what);
        auto args = asNobody;
        args.insert(args.end(), command.begin(), command.end());
        const auto run = runProcess("setpriv", args, bed.environment());
        if (run.out.find("pid not reused") != std::string::npos) {
            std::printf("pid reuse not tried: the pid did not come round in time\n");
            continue;
        }
        EXPECT_THAT(run.out, HasSubstr(kDenied)) << run.err;
        EXPECT_THAT(bed.log(), HasSubstr(kRejected + pidOf(run.out) + "\n"));
    }
    EXPECT_THAT(status(bed), HasSubstr("status armed=0"));
}

}  // namespace
}  // namespace mavu::testing
