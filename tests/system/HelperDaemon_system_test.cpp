// The real mavu-helper, activated on demand on a private system bus, against a fake
// laptop and a fake power tool, called by mavu-ctl as the build signed it and by copies of
// it the helper must refuse.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "tests/system/harness/HelperBed.h"

namespace mavu::testing {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

const char kTimerEnded[] = "MAVU's Keep Awake timer ended; the Mac now sleeps normally.";

// A client run: the pid from its first line, then one line per reply.
struct ClientRun {
    pid_t pid = -1;
    std::vector<std::string> replies;
    int exitCode = -1;
};

ClientRun parseRun(const ProcessResult& result) {
    ClientRun run;
    run.exitCode = result.status;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("pid ", 0) == 0 && run.pid < 0) {
            run.pid = std::stoi(line.substr(4));
        } else {
            run.replies.push_back(line);
        }
    }
    return run;
}

class HelperDaemonTest : public ::testing::Test {
  protected:
    ClientRun client(const std::vector<std::string>& commands,
                     const std::string& program = MAVU_TEST_SIGNED_CLIENT) {
        return parseRun(runProcess(program, commands, bed.environment()));
    }
    std::string status() {
        const auto run = client({"status"});
        return run.replies.empty() ? "" : run.replies.front();
    }
    // The helper follows the lid on its own: polls its status until it shows part.
    bool waitForStatus(const std::string& part) {
        return eventually([&] { return status().find(part) != std::string::npos; });
    }
    void closeLid() {
        bed.setLid(true);
        ASSERT_TRUE(waitForStatus("lid=1")) << status();
    }

    // Sanitizer builds report from inside the helper into the bus log.
    void TearDown() override {
        bed.stopHelper();
        EXPECT_THAT(bed.log(), AllOf(Not(HasSubstr("Sanitizer")), Not(HasSubstr("runtime error"))));
    }

    HelperBed bed{{MAVU_TEST_HELPER, MAVU_TEST_ANCHOR, MAVU_TEST_BUS_POLICY}};
};

TEST_F(HelperDaemonTest, SignedClientArmsHeartbeatsReadsStatusAndDisarms) {
    ASSERT_TRUE(bed.bus().running()) << bed.log();
    auto run =
        client({"arm", "3600", "0", "heartbeat", "0", "status", "disarm", "status", "version"});
    EXPECT_EQ(run.exitCode, 0) << bed.log();
    EXPECT_THAT(
        run.replies,
        ElementsAre(
            "arm 1 -", "heartbeat 1 -", "status armed=1 lid=0 hold=0 duration=3600 message=-",
            "disarm 1 -", "status armed=0 lid=0 hold=0 duration=3600 message=-",
            // from the Info.plist of the bundle the helper was built into
            std::string("version ") + MAVU_TEST_PROJECT_VERSION + " " + MAVU_TEST_BUILD_NUMBER));
    // Start-up restores normal sleep, and so do the first report of an open lid and the
    // disarm; arming with the lid open runs nothing.
    EXPECT_THAT(bed.powerToolRuns(),
                ElementsAre("-a disablesleep 0", "-a disablesleep 0", "-a disablesleep 0"));
}

TEST_F(HelperDaemonTest, ClosedLidHoldsUntilTheLidOpensOrTheHelperIsStopped) {
    closeLid();
    EXPECT_THAT(client({"arm", "3600", "0", "status"}).replies,
                ElementsAre("arm 1 -", "status armed=1 lid=1 hold=1 duration=3600 message=-"));
    EXPECT_THAT(bed.powerToolRuns(), ElementsAre("-a disablesleep 0", "-g batt",
                                                 "-a disablesleep 1", "displaysleepnow"));

    bed.setLid(false);
    ASSERT_TRUE(waitForStatus("armed=1 lid=0 hold=0")) << status();
    EXPECT_EQ(bed.powerToolRuns().back(), "-a disablesleep 0");

    // Closing the lid while armed holds again.
    closeLid();
    const auto runs = bed.powerToolRuns();
    ASSERT_THAT(std::vector<std::string>(runs.end() - 3, runs.end()),
                ElementsAre("-g batt", "-a disablesleep 1", "displaysleepnow"));
    // A stop signal releases the hold before the helper exits.
    EXPECT_TRUE(bed.stopHelper());
    EXPECT_EQ(bed.powerToolRuns().back(), "-a disablesleep 0");
}

TEST_F(HelperDaemonTest, RefusedClientsAreLoggedWithTheirPidAndChangeNothing) {
    // A signed copy with one byte of its usage text changed: it still runs.
    TempDir scratch;
    std::string bytes = readFile(MAVU_TEST_SIGNED_CLIENT);
    const auto at = bytes.find("usage: mavu-ctl");
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'U';
    const std::pair<const char*, std::string> refused[] = {
        {"unsigned", MAVU_TEST_UNSIGNED_CLIENT},
        {"other team", MAVU_TEST_OTHER_TEAM_CLIENT},
        {"other identifier", MAVU_TEST_OTHER_IDENTIFIER_CLIENT},
        {"one byte changed", scratch.writeExecutable("patched", bytes)},
        {"another CA", MAVU_TEST_ANOTHER_CA_CLIENT}};

    ASSERT_THAT(client({"arm", "3600", "1"}).replies, ElementsAre("arm 1 -"));
    const auto runsBefore = bed.powerToolRuns();
    for (const auto& [kind, program] : refused) {
        SCOPED_TRACE(kind);
        const auto run = client(
            {"disarm", "forcesafeoff", "arm", "5", "0", "heartbeat", "0", "status", "version"},
            program);
        ASSERT_GT(run.pid, 0);
        EXPECT_EQ(run.replies,
                  std::vector<std::string>(6, "error org.freedesktop.DBus.Error.AccessDenied"));
        const std::string line =
            "MAVUHelper: rejected XPC connection from unauthorized pid " + std::to_string(run.pid);
        const std::string log = bed.log();
        EXPECT_NE(log.find(line), std::string::npos) << log;
        EXPECT_EQ(log.find(line), log.rfind(line)) << "logged more than once";
    }
    EXPECT_EQ(status(), "status armed=1 lid=0 hold=0 duration=3600 message=-");
    EXPECT_EQ(bed.powerToolRuns(), runsBefore);
}

TEST_F(HelperDaemonTest, TwoSignedClientsShareOneState) {
    closeLid();
    TalkingProcess first(MAVU_TEST_SIGNED_CLIENT, {"arm", "0", "1", "wait", "status"},
                         bed.environment());
    ASSERT_TRUE(first.readLine(10s).has_value());  // pid
    EXPECT_EQ(first.readLine(10s), "arm 1 -");
    EXPECT_EQ(first.readLine(10s), "waiting");

    // While the first is still connected, the second keeps the hold and then ends it.
    EXPECT_THAT(client({"heartbeat", "1", "status", "disarm"}).replies,
                ElementsAre("heartbeat 1 -", "status armed=1 lid=1 hold=1 duration=0 message=-",
                            "disarm 1 -"));

    first.writeLine("");
    EXPECT_EQ(first.readLine(10s), "status armed=0 lid=1 hold=0 duration=0 message=-");
    EXPECT_EQ(first.finish(10s), 0);
    EXPECT_EQ(bed.powerToolRuns().back(), "-a disablesleep 0");
}

TEST_F(HelperDaemonTest, ArmReplyNeverCarriesAnOlderMessage) {
    closeLid();
    ASSERT_THAT(client({"arm", "1", "1"}).replies, ElementsAre("arm 1 -"));
    ASSERT_TRUE(waitForStatus(std::string("hold=0 duration=1 message=") + kTimerEnded)) << status();
    EXPECT_THAT(client({"arm", "3600", "1", "heartbeat", "1"}).replies,
                ElementsAre("arm 1 -", "heartbeat 1 -"));
}

TEST_F(HelperDaemonTest, IntrospectionShowsTheSixMembersToAnyone) {
    const auto result =
        runProcess("busctl", {"--address=" + bed.bus().address(), "introspect",
                              "group.com.norvel.mavu.helper", "/group/com/norvel/mavu/helper",
                              "group.com.norvel.mavu.helper.MAVUHelperProtocol"});
    ASSERT_EQ(result.status, 0) << result.err << bed.log();
    for (const char* member :
         {".Arm ", ".Disarm ", ".Heartbeat ", ".ForceSafeOff ", ".Status ", ".HelperVersion "}) {
        EXPECT_THAT(result.out, HasSubstr(member));
    }
    EXPECT_THAT(result.out, HasSubstr("db"));  // Arm takes a double and a Boolean
}

TEST_F(HelperDaemonTest, BusPolicyLetsAnyoneCallButOnlyRootOwnTheName) {
    if (getuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    // The socket's folder must be open to others, as /run/dbus is.
    std::filesystem::permissions(
        bed.dir(), std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
        std::filesystem::perm_options::add);
    const std::vector<std::string> asNobody{"--reuid=65534", "--regid=65534", "--clear-groups",
                                            "--"};
    auto own = asNobody;
    own.insert(own.end(), {"busctl", "--address=" + bed.bus().address(), "call",
                           "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "RequestName", "su", "group.com.norvel.mavu.helper", "0"});
    EXPECT_THAT(runProcess("setpriv", own).err, HasSubstr("Access denied"));

    // mavu-ctl, run by an ordinary user, gets through the bus and the helper.
    auto call = asNobody;
    call.insert(call.end(), {MAVU_TEST_SIGNED_CLIENT, "status"});
    EXPECT_THAT(parseRun(runProcess("setpriv", call, bed.environment())).replies,
                ElementsAre(HasSubstr("status armed=0")));
}

// systemd's own checker, without a complaint, on the unit as the build configured it but
// starting the helper just built (the installed one may not exist yet). It also exits 0
// on settings it ignores, so its words count as much as its status.
TEST(HelperResources, SystemdAcceptsTheUnit) {
    std::string unit = readFile(MAVU_TEST_SYSTEMD_UNIT);
    const auto line = unit.find("\nExecStart=");
    ASSERT_NE(line, std::string::npos) << unit;
    unit.replace(line, unit.find('\n', line + 1) - line, "\nExecStart=" MAVU_TEST_HELPER);
    TempDir dir;
    const auto path =
        dir.write(std::filesystem::path(MAVU_TEST_SYSTEMD_UNIT).filename().string(), unit);
    const auto result = runProcess("systemd-analyze", {"verify", path});
    EXPECT_EQ(result.status, 0) << "systemd-analyze (package systemd) missing or failing";
    EXPECT_EQ(result.out + result.err, "");
}

}  // namespace
}  // namespace mavu::testing
