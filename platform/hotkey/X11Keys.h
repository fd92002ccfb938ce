#pragma once

#include <cstdint>
#include <optional>

namespace mavu::hotkey {

// The X keycode of the physical key at a layout-independent position code. X servers
// with the evdev keymap (every current one) number keys as the kernel's evdev code + 8,
// so the result names the same key on every layout. No value for positions without a
// key on PC keyboards and for the modifier keys themselves.
std::optional<std::uint8_t> x11Keycode(std::uint32_t positionCode);

// modifierMask bits as X modifiers: control → Control, option → Mod1 (Alt),
// command → Mod4 (Super), shift → Shift. Other bits are dropped.
std::uint16_t x11Modifiers(std::uint32_t hotKeyModifiers);

}  // namespace mavu::hotkey
