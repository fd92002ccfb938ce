#include "app/shortcut/StoredShortcut.h"

#include <limits>

namespace mavu::shortcut {

KeyCombo loadStoredShortcut(std::optional<std::int64_t> storedKeyCode,
                            std::optional<std::int64_t> storedModifiers) {
    if (!storedKeyCode || !storedModifiers) {
        return defaultCombo;
    }
    if (*storedKeyCode < 0 || *storedKeyCode > std::numeric_limits<std::uint32_t>::max() ||
        *storedModifiers < 0) {
        return defaultCombo;
    }
    return KeyCombo{static_cast<std::uint32_t>(*storedKeyCode),
                    static_cast<std::uint64_t>(*storedModifiers)};
}

StoredShortcut toStored(const KeyCombo& combo) {
    // Modifiers beyond the signed range cannot be stored as an integer; such a value
    // reads back negative and so as the default, like any other unusable value.
    return {static_cast<std::int64_t>(combo.keyCode), static_cast<std::int64_t>(combo.modifiers)};
}

}  // namespace mavu::shortcut
