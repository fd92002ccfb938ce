#pragma once

#include <cstdint>
#include <optional>

#include "app/shortcut/KeyCombo.h"

namespace mavu::shortcut {

// Settings keys of the stored shortcut; both hold integers.
inline constexpr const char* shortcutKeyCodeKey = "shortcutKeyCode";
inline constexpr const char* shortcutModifiersKey = "shortcutModifiers";

// The shortcut from the two stored integers, each absent when its key holds no value or
// nothing readable as an integer. Taken as stored (no bit masked off) only when both are
// present, the key code lies in 0...4294967295 and the modifiers are not negative;
// defaultCombo otherwise.
KeyCombo loadStoredShortcut(std::optional<std::int64_t> storedKeyCode,
                            std::optional<std::int64_t> storedModifiers);

// The two integers to store for combo, in the form loadStoredShortcut reads back.
struct StoredShortcut {
    std::int64_t keyCode;
    std::int64_t modifiers;
};
StoredShortcut toStored(const KeyCombo& combo);

}  // namespace mavu::shortcut
