#include "app/shortcut/GlobalShortcutManager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/shortcut/KeyCombo.h"
#include "tests/shortcut/HotKeyPortDouble.h"

namespace mavu::shortcut {
namespace {

using ::testing::ElementsAre;

TEST(GlobalShortcutManager, HoldsOneHotKeyReleasedBeforeTheNextIsTried) {
    auto* port = new testing::HotKeyPortDouble;
    GlobalShortcutManager manager{std::unique_ptr<hotkey::HotKeyPort>(port)};
    std::vector<std::string> runs;
    EXPECT_TRUE(manager.registerHotKey(6, 0x1C0000, [&] { runs.push_back("first"); }));
    EXPECT_EQ(port->lastID, (hotkey::HotKeyID{0x4D415655, 1}));
    // The same combination again works: it is released before it is asked for.
    EXPECT_TRUE(manager.registerHotKey(6, 0x1C0000, [&] {
        runs.push_back("second");
        manager.registerHotKey(7, 0x1C0000, [&] { runs.push_back("third"); });
    }));
    port->press({0x4D415655, 2});
    port->press({0, 1});  // only the id counts, not the signature
    port->press({0, 1});
    EXPECT_EQ(runs, (std::vector<std::string>{"second", "third"}));

    // A refused combination leaves no hot key; the old one can be restored.
    port->taken.insert({49, 768});
    EXPECT_FALSE(manager.registerHotKey(49, modifier::shift | modifier::command, [] {}));
    EXPECT_TRUE(port->active.empty());
    manager.unregister();
    EXPECT_TRUE(manager.registerHotKey(6, 0x1C0000, [] {}));
    EXPECT_THAT(port->calls, ElementsAre("install", "register 6 6400", "unregister 1",
                                         "register 6 6400", "unregister 2", "register 7 6400",
                                         "unregister 3", "register 49 768", "register 6 6400"));
}

}  // namespace
}  // namespace mavu::shortcut
