#include "app/shortcut/KeyCombo.h"

#include <gtest/gtest.h>

#include "app/shortcut/StoredShortcut.h"
#include "platform/hotkey/X11Keys.h"

namespace mavu::shortcut {
namespace {

// Modifier symbols in a fixed order, then the key; 57 named keys, each a physical X key
// that reads back as its position, modifier keys none; a stored record must hold both
// fields, each in range (round trips are the fuzz target's).
TEST(KeyCombo, ShowsItselfMapsToXKeysAndRefusesBadRecords) {
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
    EXPECT_EQ(encode({6, 0x1C0000}), (KeyComboRecord{{"keyCode", 6}, {"modifiers", 0x1C0000}}));
    EXPECT_EQ(decodeKeyCombo({{"keyCode", 6}}), std::nullopt);
    EXPECT_EQ(decodeKeyCombo({{"modifiers", 0x1C0000}}), std::nullopt);
    EXPECT_EQ(decodeKeyCombo({{"keyCode", 4294967296ull}, {"modifiers", 0}}), std::nullopt);
}

}  // namespace
}  // namespace mavu::shortcut
