#include "app/shortcut/GlobalShortcutManager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/shortcut/KeyCombo.h"
#include "tests/shortcut/HotKeyPortDouble.h"

namespace mavu::shortcut {
namespace {

using ::testing::ElementsAre;
constexpr std::uint64_t shiftCommand = modifier::shift | modifier::command;

struct ManagerTest : ::testing::Test {
    testing::HotKeyPortDouble* port = new testing::HotKeyPortDouble;
    GlobalShortcutManager manager{std::unique_ptr<hotkey::HotKeyPort>(port)};
    int firstRuns = 0;
    int secondRuns = 0;
};

TEST_F(ManagerTest, OldHotKeyGoesBeforeTheNewOneIsTriedAndTheHandlerIsInstalledOnce) {
    EXPECT_TRUE(manager.registerHotKey(6, 0x1C0000, [&] { ++firstRuns; }));
    EXPECT_EQ(port->lastID, (hotkey::HotKeyID{0x4D415655, 1}));
    EXPECT_TRUE(manager.registerHotKey(49, shiftCommand, [&] { ++secondRuns; }));
    // The same combination again works: it is released before it is asked for.
    EXPECT_TRUE(manager.registerHotKey(49, shiftCommand, [&] { ++secondRuns; }));
    port->press(GlobalShortcutManager::hotKeyID);
    EXPECT_EQ(firstRuns, 0);
    EXPECT_EQ(secondRuns, 1);

    manager.unregister();
    manager.unregister();
    EXPECT_TRUE(port->active.empty());
    EXPECT_TRUE(manager.registerHotKey(6, 0x1C0000, [&] { ++firstRuns; }));
    EXPECT_THAT(port->calls,
                ElementsAre("install", "register 6 6400", "unregister 1", "register 49 768",
                            "unregister 2", "register 49 768", "unregister 3", "register 6 6400"));
}

TEST_F(ManagerTest, RefusedCombinationLeavesNoHotKeyAndTheOldOneCanBeRestored) {
    ASSERT_TRUE(manager.registerHotKey(6, 0x1C0000, [&] { ++firstRuns; }));
    port->taken.insert({49, 768});
    EXPECT_FALSE(manager.registerHotKey(49, shiftCommand, [&] { ++secondRuns; }));
    EXPECT_TRUE(port->active.empty());

    EXPECT_TRUE(manager.registerHotKey(6, 0x1C0000, [&] { ++firstRuns; }));
    port->press(GlobalShortcutManager::hotKeyID);
    EXPECT_EQ(firstRuns, 1);
    EXPECT_EQ(secondRuns, 0);
}

TEST_F(ManagerTest, OnlyAPressWithIdOneRunsTheActionWhichMayReplaceItself) {
    ASSERT_TRUE(manager.registerHotKey(6, 0x1C0000, [&] {
        ++firstRuns;
        manager.registerHotKey(7, 0x1C0000, [&] { ++secondRuns; });
    }));
    port->press({0x4D415655, 2});
    port->press({0x4D415655, 0});
    EXPECT_EQ(firstRuns, 0);
    port->press({0, 1});  // the signature is not compared
    port->press({0, 1});
    EXPECT_EQ(firstRuns, 1);
    EXPECT_EQ(secondRuns, 1);
}

TEST(SharedManager, TakesThePortInstalledAtStartAndRefusesALaterOne) {
    auto* port = new testing::HotKeyPortDouble;
    ASSERT_TRUE(GlobalShortcutManager::installShared(std::unique_ptr<hotkey::HotKeyPort>(port)));
    auto& shared = GlobalShortcutManager::shared();
    EXPECT_EQ(&shared, &GlobalShortcutManager::shared());
    EXPECT_TRUE(shared.registerHotKey(6, 0x1C0000, [] {}));
    EXPECT_EQ(port->active.size(), 1u);
    EXPECT_FALSE(
        GlobalShortcutManager::installShared(std::make_unique<testing::HotKeyPortDouble>()));
}

}  // namespace
}  // namespace mavu::shortcut
