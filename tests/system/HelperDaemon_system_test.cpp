// The real mavu-helper, activated on demand on a private system bus, against a fake
// laptop and a fake power tool, called by real signed and unsigned client programs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "tests/system/harness/HelperBed.h"

namespace mavu::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

const char kDenied[] = "error org.freedesktop.DBus.Error.AccessDenied";
const char kTimerEnded[] = "MAVU's Keep Awake timer ended; the Mac now sleeps normally.";

HelperBedSetup bedFor(const std::filesystem::path& helper) {
    return {helper, MAVU_TEST_ANCHOR, MAVU_TEST_BUS_POLICY};
}

// Output lines of a client run after its "pid" line.
struct ClientRun {
    pid_t pid = -1;
    std::vector<std::string> replies;
    int exitCode = -1;
};

ClientRun parseRun(const ProcessResult& result) {
    ClientRun run;
    run.exitCode = result.exitCode;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("pid ", 0) == 0 && run.pid < 0) {
            run.pid = std::stoi(line.substr(4));
        } else {
            run.replies.push_back(line);
        }
    }
    return run;
}

std::string rejection(pid_t pid) {
    return "MAVUHelper: rejected XPC connection from unauthorized pid " + std::to_string(pid);
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// Client programs that must each be refused: the unsigned build, copies the build signed
// under other identities, and a signed copy with one byte changed.
class RefusedClients {
  public:
    RefusedClients() {
        clients_ = {{"unsigned", MAVU_TEST_UNSIGNED_CLIENT},
                    {"other team", MAVU_TEST_OTHER_TEAM_CLIENT},
                    {"other identifier", MAVU_TEST_OTHER_IDENTIFIER_CLIENT},
                    {"one byte changed", patchedCopy(MAVU_TEST_SIGNED_CLIENT)},
                    {"another CA", MAVU_TEST_ANOTHER_CA_CLIENT}};
    }

    const std::vector<std::pair<std::string, std::filesystem::path>>& all() const {
        return clients_;
    }
    const std::string& problems() const { return problems_; }

  private:
    // The client keeps running: only a text constant changes.
    std::filesystem::path patchedCopy(const std::filesystem::path& program) {
        const auto copy = dir_ / "patched-client";
        std::string bytes = readFile(program);
        const auto at = bytes.find("MAVU-TEST-CLIENT-PATCH-AREA");
        if (at == std::string::npos) {
            problems_ += "no patch area in the client\n";
        } else {
            bytes[at] = 'N';
        }
        writeFile(copy, bytes, true);
        return copy;
    }

    TempDir dir_;
    std::vector<std::pair<std::string, std::filesystem::path>> clients_;
    std::string problems_;
};

class HelperDaemonTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { refused = new RefusedClients(); }
    static void TearDownTestSuite() {
        delete refused;
        refused = nullptr;
    }

    ClientRun client(const std::vector<std::string>& commands,
                     const std::filesystem::path& program = MAVU_TEST_SIGNED_CLIENT) {
        std::vector<std::string> argv{program.string()};
        argv.insert(argv.end(), commands.begin(), commands.end());
        return parseRun(ChildProcess::run(argv, bed->environment()));
    }

    std::string status() {
        const auto run = client({"status"});
        return run.replies.empty() ? "" : run.replies.front();
    }

    // Polls the helper's status (it follows the lid on its own) until it contains what is
    // expected or the time is up.
    bool waitForStatus(const std::string& part, std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (status().find(part) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    void closeLid() {
        bed->setLid(true);
        ASSERT_TRUE(waitForStatus("lid=1")) << status();
    }

    // Sanitizer builds report from inside the helper into the bus log.
    void TearDown() override {
        bed->stopHelper();
        EXPECT_THAT(bed->log(),
                    AllOf(Not(HasSubstr("Sanitizer")), Not(HasSubstr("runtime error"))));
    }

    static RefusedClients* refused;
    std::unique_ptr<HelperBed> bed = std::make_unique<HelperBed>(bedFor(MAVU_TEST_HELPER));
};

RefusedClients* HelperDaemonTest::refused = nullptr;

TEST_F(HelperDaemonTest, SignedClientArmsHeartbeatsReadsStatusAndDisarms) {
    ASSERT_TRUE(bed->bus().running()) << bed->log();
    auto run = client({"arm", "3600", "0", "heartbeat", "0", "status", "disarm", "status"});
    EXPECT_EQ(run.exitCode, 0) << bed->log();
    EXPECT_THAT(run.replies,
                ElementsAre("arm 1 -", "heartbeat 1 -",
                            "status armed=1 lid=0 hold=0 duration=3600 message=-", "disarm 1 -",
                            "status armed=0 lid=0 hold=0 duration=3600 message=-"));
    // Start-up restores normal sleep, and so do the first report of an open lid and the
    // disarm; arming with the lid open runs nothing.
    EXPECT_THAT(bed->powerToolRuns(),
                ElementsAre("-a disablesleep 0", "-a disablesleep 0", "-a disablesleep 0"));
}

TEST_F(HelperDaemonTest, ClosedLidHoldsUntilTheLidOpens) {
    closeLid();
    EXPECT_THAT(client({"arm", "3600", "0", "status"}).replies,
                ElementsAre("arm 1 -", "status armed=1 lid=1 hold=1 duration=3600 message=-"));
    EXPECT_THAT(bed->powerToolRuns(), ElementsAre("-a disablesleep 0", "-g batt",
                                                  "-a disablesleep 1", "displaysleepnow"));

    bed->setLid(false);
    ASSERT_TRUE(waitForStatus("armed=1 lid=0 hold=0")) << status();
    EXPECT_EQ(bed->powerToolRuns().back(), "-a disablesleep 0");
}

TEST_F(HelperDaemonTest, RefusedClientsAreLoggedWithTheirPidAndChangeNothing) {
    ASSERT_EQ(refused->problems(), "");
    ASSERT_THAT(client({"arm", "3600", "1"}).replies, ElementsAre("arm 1 -"));
    const auto runsBefore = bed->powerToolRuns();

    for (const auto& [kind, program] : refused->all()) {
        SCOPED_TRACE(kind);
        const auto run = client(
            {"disarm", "forcesafeoff", "arm", "5", "0", "heartbeat", "0", "status", "version"},
            program);
        ASSERT_GT(run.pid, 0);
        EXPECT_EQ(run.replies, std::vector<std::string>(6, kDenied));
        EXPECT_EQ(occurrences(bed->log(), rejection(run.pid)), 1u) << bed->log();
    }

    EXPECT_EQ(status(), "status armed=1 lid=0 hold=0 duration=3600 message=-");
    EXPECT_EQ(bed->powerToolRuns(), runsBefore);
}

TEST_F(HelperDaemonTest, TwoSignedClientsShareOneState) {
    closeLid();
    ChildProcess first({MAVU_TEST_SIGNED_CLIENT, "arm", "0", "1", "wait", "status"},
                       bed->environment());
    ASSERT_TRUE(first.readLine(10s).has_value());  // pid
    EXPECT_EQ(first.readLine(10s), "arm 1 -");
    EXPECT_EQ(first.readLine(10s), "waiting");

    // While the first is still connected, the second keeps the hold and then ends it.
    EXPECT_THAT(client({"heartbeat", "1", "status", "disarm"}).replies,
                ElementsAre("heartbeat 1 -", "status armed=1 lid=1 hold=1 duration=0 message=-",
                            "disarm 1 -"));

    first.writeLine("");
    EXPECT_EQ(first.readLine(10s), "status armed=0 lid=1 hold=0 duration=0 message=-");
    EXPECT_EQ(first.finish(10s).exitCode, 0);
    EXPECT_EQ(bed->powerToolRuns().back(), "-a disablesleep 0");
}

TEST_F(HelperDaemonTest, ArmReplyNeverCarriesAnOlderMessage) {
    closeLid();
    ASSERT_THAT(client({"arm", "1", "1"}).replies, ElementsAre("arm 1 -"));
    ASSERT_TRUE(waitForStatus(kTimerEnded)) << status();

    // Status shows the pending notice without taking it; the next heartbeat takes it.
    EXPECT_THAT(
        client({"status", "heartbeat", "1", "heartbeat", "1"}).replies,
        ElementsAre(std::string("status armed=1 lid=1 hold=0 duration=1 message=") + kTimerEnded,
                    std::string("heartbeat 1 ") + kTimerEnded, "heartbeat 1 -"));

    ASSERT_THAT(client({"arm", "1", "1"}).replies, ElementsAre("arm 1 -"));
    ASSERT_TRUE(waitForStatus(kTimerEnded)) << status();
    EXPECT_THAT(client({"arm", "3600", "1", "heartbeat", "1"}).replies,
                ElementsAre("arm 1 -", "heartbeat 1 -"));
}

TEST_F(HelperDaemonTest, IntrospectionShowsTheSixMembersToAnyone) {
    const auto result =
        ChildProcess::run({"busctl", "--address=" + bed->bus().address(), "introspect",
                           "group.com.norvel.mavu.helper", "/group/com/norvel/mavu/helper",
                           "group.com.norvel.mavu.helper.MAVUHelperProtocol"});
    ASSERT_EQ(result.exitCode, 0) << result.output << bed->log();
    for (const char* member :
         {".Arm ", ".Disarm ", ".Heartbeat ", ".ForceSafeOff ", ".Status ", ".HelperVersion "}) {
        EXPECT_THAT(result.output, HasSubstr(member));
    }
    EXPECT_THAT(result.output, HasSubstr("db"));  // Arm takes a double and a Boolean
}

TEST_F(HelperDaemonTest, StopSignalReleasesTheHoldBeforeTheHelperExits) {
    closeLid();
    ASSERT_THAT(client({"arm", "0", "1"}).replies, ElementsAre("arm 1 -"));
    ASSERT_EQ(bed->powerToolRuns().back(), "-a disablesleep 1");

    EXPECT_TRUE(bed->stopHelper());
    EXPECT_EQ(bed->powerToolRuns().back(), "-a disablesleep 0");
}

// The helper reads its version three folders above itself; copies of it in bundles with
// other Info.plists show what it does with each.
class HelperVersionSystemTest : public HelperDaemonTest {
  protected:
    std::string versionFromBundle(const std::optional<std::string>& infoPlist) {
        const auto contents = bundles.path() / std::to_string(++count) / "MAVU.app/Contents";
        const auto helper = contents / "Library/LaunchServices/mavu-helper";
        std::filesystem::create_directories(helper.parent_path());
        std::filesystem::copy_file(MAVU_TEST_HELPER, helper);
        if (infoPlist) {
            writeFile(contents / "Info.plist", *infoPlist);
        }
        bed = std::make_unique<HelperBed>(bedFor(helper));
        const auto run = client({"version"});
        return run.replies.empty() ? "" : run.replies.front();
    }

    TempDir bundles;
    int count = 0;
};

TEST_F(HelperVersionSystemTest, VersionComesFromTheBundlesInfoPlist) {
    EXPECT_EQ(client({"version"}).replies,
              std::vector<std::string>{std::string("version ") + MAVU_TEST_PROJECT_VERSION + " " +
                                       MAVU_TEST_BUILD_NUMBER});
    EXPECT_EQ(versionFromBundle(std::nullopt), "version ? ?");
    EXPECT_EQ(versionFromBundle(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>CFBundleVersion</key><string>77</string></dict></plist>
)"),
              "version ? 77");
}

TEST_F(HelperDaemonTest, BusPolicyLetsAnyoneCallButOnlyRootOwnTheName) {
    if (getuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    // The socket's folder must be open to others, as /run/dbus is.
    std::filesystem::permissions(
        bed->dir(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                        std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                        std::filesystem::perms::others_exec);
    const std::vector<std::string> asNobody{"setpriv", "--reuid=65534", "--regid=65534",
                                            "--clear-groups", "--"};
    auto own = asNobody;
    own.insert(own.end(), {"busctl", "--address=" + bed->bus().address(), "call",
                           "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "RequestName", "su", "group.com.norvel.mavu.helper", "0"});
    EXPECT_THAT(ChildProcess::run(own).output, HasSubstr("Access denied"));

    // The signed client, run by an ordinary user, gets through the bus and the helper.
    auto call = asNobody;
    call.insert(call.end(), {MAVU_TEST_SIGNED_CLIENT, "status"});
    const auto run = parseRun(ChildProcess::run(call, bed->environment()));
    EXPECT_THAT(run.replies, ElementsAre(HasSubstr("status armed=0")));
}

// systemd's own checker, on the unit as the build configured it. The program is not
// installed yet, which is the one complaint allowed.
TEST(HelperResources, SystemdAcceptsTheUnit) {
    const auto result = ChildProcess::run({"systemd-analyze", "verify", MAVU_TEST_SYSTEMD_UNIT});
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_THAT(line, HasSubstr("is not executable")) << result.output;
    }
}

}  // namespace
}  // namespace mavu::testing
