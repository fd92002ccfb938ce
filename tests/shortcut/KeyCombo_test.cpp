#include "app/shortcut/KeyCombo.h"

#include <gtest/gtest.h>

#include "app/shortcut/StoredShortcut.h"
#include "platform/hotkey/X11Keys.h"

namespace mavu::shortcut {
namespace {

TEST(KeyComboDisplay, ModifierSymbolsInFixedOrderThenKeyName) {
    EXPECT_EQ(defaultCombo.displayString(), "⌃⌥⌘Z");
    EXPECT_EQ((KeyCombo{49, modifier::shift | modifier::command}).displayString(), "⇧⌘Space");
    EXPECT_EQ((KeyCombo{6, 0}).displayString(), "Z");
    EXPECT_EQ((KeyCombo{50, modifier::command}).displayString(), "⌘?");
    EXPECT_EQ((KeyCombo{122, 0x1E0000}).displayString(), "⌃⌥⇧⌘F1");
    EXPECT_EQ((KeyCombo{36, modifier::capsLock | modifier::option}).displayString(), "⌥⏎");
}

TEST(KeyComboDisplay, NameTableHasFiftySevenKeysEachAPhysicalXKey) {
    int named = 0;
    for (std::uint32_t code = 0; code < 256; ++code) {
        if (keyName(code) != "?") {
            ++named;
            EXPECT_TRUE(hotkey::x11Keycode(code).has_value()) << "key code " << code;
        }
    }
    EXPECT_EQ(named, 57);
}

TEST(KeyComboPosition, EveryXKeyReadsBackAsItsPositionAndModifiersHaveNone) {
    for (std::uint32_t code = 0; code < 256; ++code) {
        if (const auto x11 = hotkey::x11Keycode(code)) {
            EXPECT_EQ(hotkey::positionCode(*x11), code) << "key code " << code;
            EXPECT_FALSE(hotkey::isModifierKeycode(*x11)) << "key code " << code;
        }
    }
    for (std::uint32_t x11 : {37u, 50u, 62u, 64u, 66u, 77u, 105u, 108u, 133u, 134u}) {
        EXPECT_TRUE(hotkey::isModifierKeycode(x11)) << "X keycode " << x11;
        EXPECT_EQ(hotkey::positionCode(x11), std::nullopt) << "X keycode " << x11;
    }
    EXPECT_EQ(hotkey::positionCode(0), std::nullopt);
}

TEST(KeyComboMask, EachModifierMapsToItsHotKeyBitAndOtherBitsAreDropped) {
    EXPECT_EQ((KeyCombo{0, modifier::command}).hotKeyModifierMask(), 0x100u);
    EXPECT_EQ((KeyCombo{0, modifier::shift}).hotKeyModifierMask(), 0x200u);
    EXPECT_EQ((KeyCombo{0, modifier::option}).hotKeyModifierMask(), 0x800u);
    EXPECT_EQ((KeyCombo{0, modifier::control}).hotKeyModifierMask(), 0x1000u);
    EXPECT_EQ((KeyCombo{0, ~0x1E0000ull}).hotKeyModifierMask(), 0u);  // caps lock among them
}

TEST(KeyComboCoding, RoundTripsAndFailsWithoutEitherKey) {
    const KeyCombo combo{4294967295u, ~0ull};
    EXPECT_EQ(encode(combo), (KeyComboRecord{{"keyCode", 4294967295u}, {"modifiers", ~0ull}}));
    EXPECT_EQ(decodeKeyCombo(encode(combo)), combo);
    EXPECT_EQ(decodeKeyCombo({{"keyCode", 6}}), std::nullopt);
    EXPECT_EQ(decodeKeyCombo({{"modifiers", 0x1C0000}}), std::nullopt);
    EXPECT_EQ(decodeKeyCombo({{"keyCode", 4294967296ull}, {"modifiers", 0}}), std::nullopt);
}

TEST(StoredShortcutLoad, UsesTheDefaultUnlessBothValuesAreUsable) {
    EXPECT_EQ(loadStoredShortcut(49, std::nullopt), defaultCombo);
    EXPECT_EQ(loadStoredShortcut(std::nullopt, 0x100000), defaultCombo);
    EXPECT_EQ(loadStoredShortcut(4294967296, 0x100000), defaultCombo);
    EXPECT_EQ(loadStoredShortcut(-1, 0x100000), defaultCombo);
    EXPECT_EQ(loadStoredShortcut(49, -1), defaultCombo);
    EXPECT_EQ(loadStoredShortcut(4294967295, 0x100000), (KeyCombo{4294967295u, 0x100000}));
    EXPECT_EQ(loadStoredShortcut(0, 0x10001), (KeyCombo{0, 0x10001}));  // taken as stored

    const auto stored = toStored(KeyCombo{49, 0x120000});
    EXPECT_EQ(loadStoredShortcut(stored.keyCode, stored.modifiers), (KeyCombo{49, 0x120000}));
}

}  // namespace
}  // namespace mavu::shortcut
