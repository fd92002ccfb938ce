#pragma once

#include <cstdint>
#include <optional>

namespace mavu::hotkey {

// The X keycode of the physical key at a layout-independent position code. X servers
// with the evdev keymap (every current one) number keys as the kernel's evdev code + 8,
// so the result names the same key on every layout. No value for positions without a
// key on PC keyboards and for the modifier keys themselves.
std::optional<std::uint8_t> x11Keycode(std::uint32_t positionCode);

// The position code of the key with this X keycode (a key event's native scan code under
// X11 and Wayland alike), the inverse of x11Keycode: the same physical key gives the same
// code whatever layout is active. No value for modifier keys and keys outside the table.
std::optional<std::uint32_t> positionCode(std::uint32_t x11Keycode);

// True for the X keycodes of modifier and lock keys (shift, control, alt, super, AltGr,
// caps lock, num lock): pressing one alone is part of building a combination, not a key.
bool isModifierKeycode(std::uint32_t x11Keycode);

// modifierMask bits as X modifiers: control → Control, option → Mod1 (Alt),
// command → Mod4 (Super), shift → Shift. Other bits are dropped.
std::uint16_t x11Modifiers(std::uint32_t hotKeyModifiers);

}  // namespace mavu::hotkey
