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

TEST(AppModelSettings, StoredValuesAreReadByTheRules) {
    struct Case {
        std::string stored;
        DurationOption duration;
        AppearancePreference appearance;
        KeyCombo shortcut;
    } cases[] = {
        {"duration=\u221E\nappearance=Dark", DurationOption::infinite, AppearancePreference::dark,
         shortcut::defaultCombo},
        {"duration=8H\nappearance=dark", DurationOption::eight, AppearancePreference::system,
         shortcut::defaultCombo},
        {"duration=1h\nshortcutKeyCode=12", DurationOption::infinite, AppearancePreference::system,
         shortcut::defaultCombo},
        {"duration=3H\nshortcutKeyCode=4294967296\nshortcutModifiers=0", DurationOption::infinite,
         AppearancePreference::system, shortcut::defaultCombo},
        {"duration=\nshortcutKeyCode=12\nshortcutModifiers=-1", DurationOption::infinite,
         AppearancePreference::system, shortcut::defaultCombo},
        {"shortcutKeyCode=4294967295\nshortcutModifiers=1048576", DurationOption::infinite,
         AppearancePreference::system, KeyCombo{4294967295u, 0x100000}},
    };
    for (const auto& c : cases) {
        ModelWorld world;
        world.folder.write("norvel/MAVU.conf", "[General]\n" + c.stored + "\n");
        auto& model = world.launch();
        EXPECT_EQ(model.duration().get(), c.duration) << c.stored;
        EXPECT_EQ(model.appearance().get(), c.appearance) << c.stored;
        EXPECT_EQ(model.shortcut().get(), c.shortcut) << c.stored;
    }
}

TEST(AppModelSettings, ChoicesReachTheNextLaunchUntilUninstallRemovesThem) {
    for (const bool unregisters : {true, false}) {
        ModelWorld world;
        auto& first = world.launch();
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
        if (!unregisters) {
            EXPECT_EQ(second.setupMessage().get(), "Could not remove the helper: Busy.");
        }

        auto& third = world.launch();
        EXPECT_EQ(third.duration().get(), DurationOption::infinite);
        EXPECT_EQ(third.appearance().get(), AppearancePreference::system);
        EXPECT_EQ(third.shortcut().get(), shortcut::defaultCombo);
    }
}

TEST(AppModelSettings, ATakenHotKeyKeepsTheOldCombination) {
    ModelWorld world;
    auto& model = world.launch();
    world.hotKeys->taken.insert({0, hotkey::modifierMask::command});
    model.updateShortcut({0, shortcut::modifier::command});
    EXPECT_EQ(model.shortcut().get(), shortcut::defaultCombo);
    EXPECT_FALSE(world.settings->contains("shortcutKeyCode"));
    EXPECT_EQ(model.setupMessage().get(),
              "This shortcut is already used by another app. Please choose a different "
              "combination.");
    EXPECT_TRUE(model.showSetupAlert().get());
    ASSERT_EQ(world.hotKeys->active.size(), 1u);  // the old one, registered again
    EXPECT_EQ(
        world.hotKeys->active.begin()->second,
        (std::pair<std::uint32_t, std::uint32_t>{6, shortcut::defaultCombo.hotKeyModifierMask()}));

    // Pressing it toggles.
    world.hotKeys->press(shortcut::GlobalShortcutManager::hotKeyID);
    world.dispatch.runUntilIdle();
    EXPECT_EQ(world.sent().back(), "Arm 0");
}

TEST(AppModelSession, HeartbeatsEveryTwentyFiveSecondsArmedOrNot) {
    ModelWorld world;
    auto& model = world.launch();
    world.dispatch.advance(24.9);
    EXPECT_EQ(world.sent(true), (Sent{"ForceSafeOff"}));
    world.dispatch.advance(0.1);
    world.screens->list.push_back({2, false});  // a monitor is plugged in
    world.arm();
    world.dispatch.advance(25.0);
    EXPECT_EQ(world.sent(true), (Sent{"ForceSafeOff", "Heartbeat 0", "Arm 0", "Heartbeat 1"}));

    world.answer("Heartbeat", true);  // no message: nothing changes
    world.dispatch.runUntilIdle();
    EXPECT_EQ(model.statusText().get(), kAwake);
    model.toggle();
    world.dispatch.runUntilIdle();
    world.answer("Disarm");
    world.dispatch.advance(25.0);
    world.answer("Heartbeat", true, kBattery);  // unarmed, still shown
    world.dispatch.runUntilIdle();
    EXPECT_EQ(model.statusText().get(), kBattery);
    EXPECT_EQ(world.notifier->posted, (std::vector<notify::Notification>{{"MAVU", kBattery}}));
}

TEST(AppModelSession, ASessionFromArmToQuit) {
    ModelWorld world;
    auto& model = world.launch();
    model.selectDuration(DurationOption::two);
    world.arm(kBattery);
    EXPECT_EQ(world.sent().back(), "Arm 7200");
    EXPECT_TRUE(model.isArmed().get());
    EXPECT_EQ(model.statusText().get(), kBattery);
    EXPECT_EQ(world.notifier->posted, (std::vector<notify::Notification>{{"MAVU", kBattery}}));

    // A silent daemon: the disarm waits out the 3.0 s bound, then ends unarmed.
    model.toggle();
    world.dispatch.advance(2.99);
    EXPECT_TRUE(model.isArmed().get());
    world.dispatch.advance(0.01);
    EXPECT_FALSE(model.isArmed().get());
    EXPECT_EQ(model.statusText().get(), kSleeps);

    // Quitting while armed, still silent: forceSafeOff, then exit 0 after 3.0 s.
    world.arm();
    model.quit();
    world.dispatch.advance(2.99);
    EXPECT_TRUE(world.exit->exits.empty());
    world.dispatch.advance(0.01);
    EXPECT_EQ(world.sent().back(), "ForceSafeOff");
    EXPECT_EQ(world.exit->exits, std::vector<int>{0});
    EXPECT_FALSE(model.isArmed().get());
}

// Any flow that ends unarmed after an arm that was not answered ok sends one disarm: the
// daemon may still apply the arm late.
TEST(AppModelSession, AnUnansweredArmIsFollowedByADisarm) {
    struct Case {
        const char* name;
        bool armedFirst;  // re-arm by picking 8H, else arm by toggling
        std::function<void(ModelWorld&)> daemon;
        std::string alert;
        Sent sentAfterLaunch;
    } cases[] = {
        {"silent arm",
         false,
         [](ModelWorld& w) { w.dispatch.advance(3.0); },
         "MAVU could not start its privileged helper. Please approve MAVU once in System "
         "Settings \u2192 General \u2192 Login Items, then try again.",
         {"Arm 0", "Disarm"}},
        {"lost connection",
         false,
         [](ModelWorld& w) {
             w.connector->sent.back()->fail("The helper left without answering.");
             w.dispatch.runUntilIdle();
         },
         "The helper left without answering.",
         {"Arm 0", "Disarm"}},
        {"silent re-arm",
         true,
         [](ModelWorld& w) { w.dispatch.advance(3.0); },
         "MAVU lost its connection to the privileged helper while updating the timer. Please "
         "try again.",
         {"Arm 0", "Arm 28800", "Disarm"}},
    };
    for (const auto& c : cases) {
        ModelWorld world;
        auto& model = world.launch();
        if (c.armedFirst) {
            world.arm();
            model.selectDuration(DurationOption::eight);
        } else {
            model.toggle();
        }
        world.dispatch.runUntilIdle();
        c.daemon(world);
        world.dispatch.runUntilIdle();
        EXPECT_FALSE(model.isArmed().get()) << c.name;
        EXPECT_EQ(model.statusText().get(), kSleeps) << c.name;
        EXPECT_EQ(model.setupMessage().get(), c.alert) << c.name;
        EXPECT_TRUE(model.showSetupAlert().get()) << c.name;
        Sent expected{"ForceSafeOff"};
        expected.insert(expected.end(), c.sentAfterLaunch.begin(), c.sentAfterLaunch.end());
        EXPECT_EQ(world.sent(), expected) << c.name;
    }
}

TEST(AppModelSession, TwoQuickPressesSendTwoArmsAndAnArmedModelSendsNoDisarm) {
    ModelWorld world;
    auto& model = world.launch();
    model.toggle();
    model.toggle();
    world.dispatch.runUntilIdle();
    world.answer("Arm");          // the second one
    world.dispatch.advance(3.0);  // the first one times out
    EXPECT_TRUE(model.isArmed().get());
    EXPECT_EQ(world.sent(), (Sent{"ForceSafeOff", "Arm 0", "Arm 0"}));
}

TEST(AppModelMaintenance, UpdateHelper) {
    ModelWorld world;
    auto& model = world.launch();
    model.selectDuration(DurationOption::two);
    world.arm();

    std::vector<bool> results;
    model.updateHelper([&](bool ok) { results.push_back(ok); });
    model.updateHelper([&](bool ok) { results.push_back(ok); });
    EXPECT_EQ(results, std::vector<bool>{false});  // the second one, at once
    EXPECT_TRUE(model.isRestartingHelper().get());
    world.answer("Disarm");
    world.dispatch.advance(1.0);  // unregister, register, settle
    world.answer("Arm");
    world.dispatch.runUntilIdle();
    EXPECT_EQ(results, (std::vector<bool>{false, true}));
    EXPECT_TRUE(model.isArmed().get());
    EXPECT_EQ(model.duration().get(), DurationOption::two);
    EXPECT_FALSE(model.isRestartingHelper().get());
    EXPECT_EQ(world.sent(),
              (Sent{"ForceSafeOff", "Arm 7200", "Disarm", "HelperVersion", "Arm 7200"}));

    // Refused: the system wants the helper approved again.
    world.services->daemon->statuses = {services::kStatusNotRegistered,
                                        services::kStatusRequiresApproval};
    model.updateHelper([&](bool ok) { results.push_back(ok); });
    world.dispatch.advance(4.0);
    EXPECT_EQ(results.back(), false);
    EXPECT_FALSE(model.isArmed().get());
    EXPECT_EQ(model.setupMessage().get().size(), 263u);
    EXPECT_EQ(model.setupMessage().get().substr(0, 60),
              "MAVU's helper needs to be approved again after this update:\n");
    EXPECT_TRUE(world.model->helper().helperNeedsApproval().get());

    // Unarmed: neither disarm nor arm, only the version.
    world.services->daemon->statuses = {services::kStatusEnabled};
    const auto before = world.sent().size();
    model.updateHelper([&](bool ok) { results.push_back(ok); });
    world.dispatch.runUntilIdle();
    EXPECT_EQ(results.back(), true);
    const Sent all = world.sent();
    EXPECT_EQ(Sent(all.begin() + static_cast<long>(before), all.end()), Sent{"HelperVersion"});
}

TEST(AppModelMaintenance, OpeningSettingsRefreshesTheVersionOnce) {
    ModelWorld world;
    auto& model = world.launch();
    model.setShowSettings(true);
    model.setShowSettings(true);
    world.dispatch.runUntilIdle();
    EXPECT_EQ(world.sent(), (Sent{"ForceSafeOff", "HelperVersion"}));
    world.dispatch.advance(3.0);
    EXPECT_TRUE(model.helperVersionUnknown().get());

    model.dismissPanels();
    model.setShowSettings(true);
    world.dispatch.runUntilIdle();
    world.connector->sent.back()->replyVersion("1.3", "?");
    world.dispatch.runUntilIdle();
    EXPECT_EQ(model.helperVersion().get(), "1.3");
    EXPECT_EQ(model.helperBuild().get(), "?");
    EXPECT_FALSE(model.helperVersionUnknown().get());
}

TEST(AppModelUpdates, TheUpdateNoticeComesOnceAfterTheBuildChanged) {
    struct Case {
        std::optional<std::string> lastSeen;
        std::optional<std::string> version;
        std::optional<std::string> text;
    } cases[] = {
        {"41", "1.3", "MAVU was updated to version 1.3 (build 42)."},
        {std::nullopt, "1.3", std::nullopt},
        {"42", "1.3", std::nullopt},
        {"41", std::nullopt, "MAVU was updated to version  (build 42)."},
    };
    for (const auto& c : cases) {
        ModelWorld world;
        world.writeInfo(c.version, "42");
        if (c.lastSeen) {
            world.settings->setString("lastSeenBuild", *c.lastSeen);
        }
        auto& model = world.launch();
        EXPECT_EQ(model.showUpdateNoticeIfNeeded(), c.text.has_value());
        EXPECT_EQ(world.settings->string("lastSeenBuild"), "42");
        if (c.text) {
            EXPECT_EQ(world.alerts->shown,
                      (std::vector<alert::Alert>{{"MAVU Updated", *c.text, {"OK"}}}));
        } else {
            EXPECT_TRUE(world.alerts->shown.empty());
        }
    }
}

TEST(AppModelUpdates, PanelsCloseBeforeInstallAndBeforeTheRelaunch) {
    ModelWorld world;
    auto& model = world.launch();
    std::vector<std::string> events;
    model.setEndSheets([&] { events.push_back("sheets ended"); });
    model.setShowSettings(true);
    const auto delegate = world.updater->delegate.lock();
    ASSERT_TRUE(delegate);

    delegate->willInstallUpdate({});
    EXPECT_TRUE(events.empty());  // not on the updater's stack
    world.dispatch.runUntilIdle();
    EXPECT_EQ(events, std::vector<std::string>{"sheets ended"});
    EXPECT_FALSE(model.showSettings().get());

    model.setShowSettings(true);
    EXPECT_TRUE(delegate->shouldPostponeRelaunch({}, [&] {
        events.push_back(model.showSettings().get() ? "relaunch, settings open" : "relaunch");
    }));
    world.dispatch.runUntilIdle();
    EXPECT_EQ(events, (std::vector<std::string>{"sheets ended", "sheets ended", "relaunch"}));

    // No hook yet: the relaunch still goes ahead.
    const auto bare = SparkleRelaunchCoordinator::create(world.dispatch.mainQueue());
    bool relaunched = false;
    EXPECT_TRUE(bare->shouldPostponeRelaunch({}, [&] { relaunched = true; }));
    world.dispatch.runUntilIdle();
    EXPECT_TRUE(relaunched);

    model.checkForUpdates();
    EXPECT_EQ(world.updater->checks, 1);
    EXPECT_TRUE(world.updater->started);
}

}  // namespace
}  // namespace mavu::app
