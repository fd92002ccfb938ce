#include "app/model/AppModel.h"

#include <gtest/gtest.h>

#include "tests/model/ModelWorld.h"

namespace mavu::app {
namespace {

using shortcut::KeyCombo;
using testing::ModelWorld;
using Sent = std::vector<std::string>;

constexpr char kSleeps[] = "Mac sleeps normally when lid closes.";
constexpr char kAwake[] = "Mac stays awake when lid closes.";
constexpr char kBattery[] = "MAVU restored normal sleep \u2014 battery dropped to 5%.";

TEST(AppModelSettings, ChoicesReachTheNextLaunchUntilUninstallRemovesThem) {
    for (const bool unregisters : {true, false}) {
        ModelWorld world;
        // Stored values are read exactly: "8H" is a length, "dark" no appearance ("Dark" is).
        world.folder.write("norvel/MAVU.conf", "[General]\nduration=8H\nappearance=dark\n");
        auto& first = world.launch();
        EXPECT_EQ(first.duration().get(), DurationOption::eight);
        EXPECT_EQ(first.appearance().get(), AppearancePreference::system);
        first.selectDuration(DurationOption::two);
        first.setAppearance(AppearancePreference::dark);
        first.updateShortcut({0, shortcut::modifier::command});
        first.toggleLaunchAtLogin();
        world.dispatch.advance(1.0);
        EXPECT_EQ(world.sent(), (Sent{"ForceSafeOff"}));  // unarmed: only stored

        auto& second = world.launch();
        EXPECT_EQ(second.duration().get(), DurationOption::two);
        EXPECT_EQ(second.appearance().get(), AppearancePreference::dark);
        EXPECT_EQ(second.shortcut().get(), (KeyCombo{0, shortcut::modifier::command}));
        EXPECT_TRUE(second.launchAtLoginEnabled().get());
        if (!unregisters) {
            world.services->daemon->unregisterError = services::ServiceError{"x", "Busy."};
        }
        second.uninstall();
        world.dispatch.advance(3.0);  // the daemon never answers forceSafeOff
        EXPECT_FALSE(second.launchAtLoginEnabled().get());
        EXPECT_TRUE(world.hotKeys->active.empty());
        EXPECT_FALSE(world.folder.exists("norvel/MAVU.conf"));
        EXPECT_EQ(second.showUninstallDone().get(), unregisters);
        EXPECT_EQ(second.showSetupAlert().get(), !unregisters);
        EXPECT_EQ(second.setupMessage().get(),
                  unregisters ? "MAVU needs one-time helper approval before it can keep the Mac "
                                "awake."
                              : "Could not remove the helper: Busy.");
    }
}

TEST(AppModelSession, ArmsDisarmsAndHeartbeatsWithASilentDaemon) {
    ModelWorld world;
    auto& model = world.launch();
    // Heartbeats every 25 s, armed or not, telling whether a monitor is plugged in.
    world.dispatch.advance(24.9);
    EXPECT_EQ(world.sent(), (Sent{"ForceSafeOff"}));
    world.dispatch.advance(0.1);
    world.desk->displays.push_back({2, false});
    // Two quick presses send two arms; the one answered arms, the other times out.
    model.toggle();
    model.toggle();
    world.dispatch.runUntilIdle();
    world.answer("Arm");
    world.dispatch.advance(3.0);
    EXPECT_TRUE(model.isArmed().get());
    EXPECT_EQ(model.statusText().get(), kAwake);
    world.dispatch.advance(22.0);
    world.answer("Heartbeat", true);  // no message: nothing changes
    world.dispatch.runUntilIdle();
    EXPECT_EQ(model.statusText().get(), kAwake);

    // A silent daemon: the disarm waits out the 3.0 s bound, then ends unarmed.
    model.toggle();
    world.dispatch.advance(2.99);
    EXPECT_TRUE(model.isArmed().get());
    world.dispatch.advance(0.01);
    EXPECT_FALSE(model.isArmed().get());
    EXPECT_EQ(model.statusText().get(), kSleeps);
    world.dispatch.advance(22.0);
    world.answer("Heartbeat", true, kBattery);  // unarmed, still shown
    world.dispatch.runUntilIdle();
    EXPECT_EQ(model.statusText().get(), kBattery);
    EXPECT_EQ(world.desk->posted, (std::vector<notify::Notification>{{"MAVU", kBattery}}));

    // An arm answered with a message posts it too.
    world.arm(kBattery);
    EXPECT_EQ(world.desk->posted.size(), 2u);
    EXPECT_EQ(world.sent(), (Sent{"ForceSafeOff", "Heartbeat 0", "Arm 0", "Arm 0", "Heartbeat 1",
                                  "Disarm", "Heartbeat 1", "Arm 0"}));
}

// Any flow that ends unarmed after an arm that was not answered ok sends one disarm: the
// daemon may still apply the arm late.
TEST(AppModelSession, AnUnansweredArmIsFollowedByADisarm) {
    const auto silent = [](ModelWorld& w) { w.dispatch.advance(3.0); };
    const std::tuple<bool, std::function<void(ModelWorld&)>, const char*, Sent> cases[] = {
        {false,
         silent,
         "MAVU could not start its privileged helper. Please approve MAVU once in System "
         "Settings \u2192 General \u2192 Login Items, then try again.",
         {"ForceSafeOff", "Arm 0", "Disarm"}},
        {false,
         [](ModelWorld& w) {
             w.connector->sent.back()->fail("The helper left without answering.");
         },
         "The helper left without answering.",
         {"ForceSafeOff", "Arm 0", "Disarm"}},
        // Armed first, then a new length re-arms.
        {true,
         silent,
         "MAVU lost its connection to the privileged helper while updating the timer. Please "
         "try again.",
         {"ForceSafeOff", "Arm 0", "Arm 28800", "Disarm"}},
    };
    for (const auto& [armedFirst, daemon, alert, sent] : cases) {
        ModelWorld world;
        auto& model = world.launch();
        if (armedFirst) {
            world.arm();
            model.selectDuration(DurationOption::eight);
        } else {
            model.toggle();
        }
        world.dispatch.runUntilIdle();
        daemon(world);
        world.dispatch.runUntilIdle();
        EXPECT_FALSE(model.isArmed().get()) << alert;
        EXPECT_EQ(model.statusText().get(), kSleeps) << alert;
        EXPECT_EQ(model.setupMessage().get(), alert);
        EXPECT_TRUE(model.showSetupAlert().get()) << alert;
        EXPECT_EQ(world.sent(), sent) << alert;
    }
}

TEST(AppModelMaintenance, UpdateHelper) {
    ModelWorld world;
    auto& model = world.launch();
    model.selectDuration(DurationOption::two);
    world.arm();
    std::vector<bool> results;
    const auto update = [&] { model.updateHelper([&](bool ok) { results.push_back(ok); }); };
    update();
    update();
    EXPECT_EQ(results, std::vector<bool>{false});  // the second one, at once
    EXPECT_TRUE(model.isRestartingHelper().get());
    world.answer("Disarm");
    world.dispatch.advance(1.0);  // unregister, register, settle
    world.answer("Arm");
    world.dispatch.runUntilIdle();
    EXPECT_EQ(results, (std::vector<bool>{false, true}));
    EXPECT_TRUE(model.isArmed().get());
    EXPECT_FALSE(model.isRestartingHelper().get());
    EXPECT_EQ(world.sent(),
              (Sent{"ForceSafeOff", "Arm 7200", "Disarm", "HelperVersion", "Arm 7200"}));

    // Refused: the system wants the helper approved again.
    world.services->daemon->statuses = {services::kStatusNotRegistered,
                                        services::kStatusRequiresApproval};
    update();
    world.dispatch.advance(4.0);
    EXPECT_EQ(results.back(), false);
    EXPECT_FALSE(model.isArmed().get());
    EXPECT_EQ(model.setupMessage().get().substr(0, 60),
              "MAVU's helper needs to be approved again after this update:\n");
    EXPECT_TRUE(world.model->helper().helperNeedsApproval().get());

    // Unarmed: neither disarm nor arm, only the version.
    world.services->daemon->statuses = {services::kStatusEnabled};
    update();
    world.dispatch.runUntilIdle();
    EXPECT_EQ(results.back(), true);
    EXPECT_EQ(world.sent().back(), "HelperVersion");
}

TEST(AppModelUpdates, TheUpdateNoticeComesOnceAfterTheBuildChanged) {
    using Text = std::optional<std::string>;
    const std::string version = "<key>CFBundleShortVersionString</key><string>1.3</string>";
    const std::tuple<Text, std::string, Text> cases[] = {
        {"41", version, "MAVU was updated to version 1.3 (build 42)."},
        {std::nullopt, version, std::nullopt},
        {"42", version, std::nullopt},
        {"41", "", "MAVU was updated to version  (build 42)."},
    };
    for (const auto& [lastSeen, versionEntry, text] : cases) {
        ModelWorld world;
        world.writeInfo(versionEntry);
        if (lastSeen) {
            world.settings->setString("lastSeenBuild", *lastSeen);
        }
        auto& model = world.launch();
        EXPECT_EQ(model.showUpdateNoticeIfNeeded(), text.has_value());
        EXPECT_EQ(world.settings->string("lastSeenBuild"), "42");
        using Alerts = std::vector<alert::Alert>;
        EXPECT_EQ(world.desk->shown, (text ? Alerts{{"MAVU Updated", *text, {"OK"}}} : Alerts{}));
    }
}

// Panels close after the updater's call returns, before install and before the relaunch.
TEST(AppModelUpdates, PanelsCloseBeforeInstallAndBeforeTheRelaunch) {
    ModelWorld world;
    auto& model = world.launch();
    int ended = 0;
    model.setEndSheets([&] { ++ended; });
    model.setShowSettings(true);
    const auto delegate = world.updater->delegate.lock();
    ASSERT_TRUE(delegate && world.updater->started);
    delegate->willInstallUpdate({});
    EXPECT_EQ(ended, 0);
    world.dispatch.runUntilIdle();
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(model.showSettings().get());
    model.setShowSettings(true);
    bool relaunchedClosed = false;
    EXPECT_TRUE(delegate->shouldPostponeRelaunch(
        {}, [&] { relaunchedClosed = ended == 2 && !model.showSettings().get(); }));
    world.dispatch.runUntilIdle();
    EXPECT_TRUE(relaunchedClosed);
}

}  // namespace
}  // namespace mavu::app
