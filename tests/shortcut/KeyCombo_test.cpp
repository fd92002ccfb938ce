#include "app/shortcut/KeyCombo.h"

#include <gtest/gtest.h>

#include "app/shortcut/StoredShortcut.h"
#include "platform/hotkey/X11Keys.h"

namespace mavu::shortcut {
namespace {

TEST(KeyCombo, ShowsModifierSymbolsInFixedOrderThenTheKeyAndMasksEachModifier) {
    const std::pair<KeyCombo, const char*> shown[] = {
        {defaultCombo, "⌃⌥⌘Z"},
        {{49, modifier::shift | modifier::command}, "⇧⌘Space"},
        {{6, 0}, "Z"},
        {{50, modifier::command}, "⌘?"},
        {{122, 0x1E0000}, "⌃⌥⇧⌘F1"},
        {{36, modifier::capsLock | modifier::option}, "⌥⏎"},
    };
    for (const auto& [combo, text] : shown) {
        EXPECT_EQ(combo.displayString(), text);
    }
    const std::pair<std::uint64_t, std::uint32_t> masks[] = {
        {modifier::command, 0x100},  {modifier::shift, 0x200}, {modifier::option, 0x800},
        {modifier::control, 0x1000}, {~0x1E0000ull, 0},  // caps lock among them
    };
    for (const auto& [modifiers, mask] : masks) {
        EXPECT_EQ((KeyCombo{0, modifiers}).hotKeyModifierMask(), mask) << modifiers;
    }
}

// 57 named keys, each a physical X key that reads back as its position; modifier keys
// have none.
TEST(KeyCombo, EveryNamedKeyIsAnXKeyWithAPosition) {
    int named = 0;
    for (std::uint32_t code = 0; code < 256; ++code) {
        const auto x11 = hotkey::x11Keycode(code);
        if (keyName(code) != "?") {
            ++named;
            EXPECT_TRUE(x11.has_value()) << "key code " << code;
        }
        if (x11) {
            EXPECT_EQ(hotkey::positionCode(*x11), code) << "key code " << code;
            EXPECT_FALSE(hotkey::isModifierKeycode(*x11)) << "key code " << code;
        }
    }
    EXPECT_EQ(named, 57);
    for (std::uint32_t x11 : {0u, 37u, 50u, 62u, 64u, 66u, 77u, 105u, 108u, 133u, 134u}) {
        EXPECT_EQ(hotkey::isModifierKeycode(x11), x11 != 0) << "X keycode " << x11;
        EXPECT_EQ(hotkey::positionCode(x11), std::nullopt) << "X keycode " << x11;
    }
}

// Round trips are the fuzz target's; these are the rules for what is refused.
TEST(KeyCombo, TheRecordAndTheStoredFormRefuseWhatDoesNotFit) {
    EXPECT_EQ(encode({6, 0x1C0000}), (KeyComboRecord{{"keyCode", 6}, {"modifiers", 0x1C0000}}));
    EXPECT_EQ(decodeKeyCombo({{"keyCode", 6}}), std::nullopt);
    EXPECT_EQ(decodeKeyCombo({{"modifiers", 0x1C0000}}), std::nullopt);
    EXPECT_EQ(decodeKeyCombo({{"keyCode", 4294967296ull}, {"modifiers", 0}}), std::nullopt);
    const std::tuple<std::optional<std::int64_t>, std::optional<std::int64_t>, KeyCombo> loads[] = {
        {49, std::nullopt, defaultCombo},
        {4294967296, 0x100000, defaultCombo},
        {-1, 0x100000, defaultCombo},
        {49, -1, defaultCombo},
        {4294967295, 0x10001, {4294967295u, 0x10001}},  // taken as stored
    };
    for (const auto& [keyCode, modifiers, expected] : loads) {
        EXPECT_EQ(loadStoredShortcut(keyCode, modifiers), expected) << keyCode.value_or(-2);
    }
}

}  // namespace
}  // namespace mavu::shortcut
