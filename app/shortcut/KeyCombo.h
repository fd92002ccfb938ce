#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace mavu::shortcut {

// Modifier bits of a KeyCombo, in the layout of the original key events (AppKit's).
namespace modifier {
inline constexpr std::uint64_t capsLock = 0x10000;
inline constexpr std::uint64_t shift = 0x20000;
inline constexpr std::uint64_t control = 0x40000;
inline constexpr std::uint64_t option = 0x80000;
inline constexpr std::uint64_t command = 0x100000;
}  // namespace modifier

// The global shortcut: one key, by its layout-independent position code (A 0, S 1,
// D 2, ... Z 6), plus modifier bits. Bits other than the four named ones may be present
// in a stored value; they are carried along but mean nothing.
struct KeyCombo {
    std::uint32_t keyCode = 0;
    std::uint64_t modifiers = 0;

    friend bool operator==(const KeyCombo&, const KeyCombo&) = default;

    // Modifier symbols in the fixed order ⌃⌥⇧⌘, then the key's name; no separators.
    std::string displayString() const;
    // The modifiers as hot-key modifier bits (command 0x100, shift 0x200, option 0x800,
    // control 0x1000); every other bit is dropped.
    std::uint32_t hotKeyModifierMask() const;
};

// Control+option+command+Z, shown as ⌃⌥⌘Z.
inline constexpr KeyCombo defaultCombo{6, 0x1C0000};

// The name shown for a position code, "?" for codes without one.
const std::string& keyName(std::uint32_t keyCode);

// A keyed record of a KeyCombo: exactly "keyCode" and "modifiers".
using KeyComboRecord = std::map<std::string, std::uint64_t>;
KeyComboRecord encode(const KeyCombo& combo);
// No value when a key is missing or the key code does not fit in 32 bits.
std::optional<KeyCombo> decodeKeyCombo(const KeyComboRecord& record);

}  // namespace mavu::shortcut
