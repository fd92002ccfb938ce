#include "platform/hotkey/X11Keys.h"

#include <xcb/xproto.h>

#include <array>
#include <utility>

#include "platform/hotkey/HotKeyPort.h"

namespace mavu::hotkey {
namespace {

// Position code → Linux evdev key code (linux/input-event-codes.h), for the keys of
// ANSI, ISO and JIS keyboards.
constexpr std::array<std::pair<std::uint32_t, std::uint8_t>, 107> positionToEvdev{{
    // letters
    {0, 30},
    {1, 31},
    {2, 32},
    {3, 33},
    {4, 35},
    {5, 34},
    {6, 44},
    {7, 45},
    {8, 46},
    {9, 47},
    {11, 48},
    {12, 16},
    {13, 17},
    {14, 18},
    {15, 19},
    {16, 21},
    {17, 20},
    {31, 24},
    {32, 22},
    {34, 23},
    {35, 25},
    {37, 38},
    {38, 36},
    {40, 37},
    {45, 49},
    {46, 50},
    // digits
    {18, 2},
    {19, 3},
    {20, 4},
    {21, 5},
    {22, 7},
    {23, 6},
    {25, 10},
    {26, 8},
    {28, 9},
    {29, 11},
    // punctuation
    {10, 86},   // ISO section key, left of 1 / beside left shift (KEY_102ND)
    {24, 13},   // =
    {27, 12},   // -
    {30, 27},   // ]
    {33, 26},   // [
    {39, 40},   // '
    {41, 39},   // ;
    {42, 43},   // backslash
    {43, 51},   // ,
    {44, 53},   // /
    {47, 52},   // .
    {50, 41},   // `
    {93, 124},  // JIS yen
    {94, 89},   // JIS underscore (ro)
    // editing and navigation
    {36, 28},    // return
    {48, 15},    // tab
    {49, 57},    // space
    {51, 14},    // delete (backspace)
    {53, 1},     // escape
    {114, 110},  // help sits where insert is
    {115, 102},  // home
    {116, 104},  // page up
    {117, 111},  // forward delete
    {119, 107},  // end
    {121, 109},  // page down
    {123, 105},  // left
    {124, 106},  // right
    {125, 108},  // down
    {126, 103},  // up
    {110, 127},  // context menu
    // function keys
    {122, 59},
    {120, 60},
    {99, 61},
    {118, 62},
    {96, 63},
    {97, 64},
    {98, 65},
    {100, 66},
    {101, 67},
    {109, 68},
    {103, 87},
    {111, 88},
    {105, 183},
    {107, 184},
    {113, 185},
    {106, 186},
    {64, 187},
    {79, 188},
    {80, 189},
    {90, 190},
    // keypad
    {65, 83},   // .
    {67, 55},   // *
    {69, 78},   // +
    {75, 98},   // /
    {76, 96},   // enter
    {78, 74},   // -
    {81, 117},  // =
    {95, 121},  // JIS comma
    {82, 82},
    {83, 79},
    {84, 80},
    {85, 81},
    {86, 75},
    {87, 76},
    {88, 77},
    {89, 71},
    {91, 72},
    {92, 73},
    // media
    {72, 115},  // volume up
    {73, 114},  // volume down
    {74, 113},  // mute
}};

constexpr std::uint8_t evdevToX11Offset = 8;

// Evdev codes of the modifier and lock keys: left/right control, shift, alt and meta,
// caps lock and num lock (right alt is AltGr on many layouts: still a modifier).
constexpr std::array<std::uint8_t, 10> modifierEvdev{29, 97, 42, 54, 56, 100, 125, 126, 58, 69};

}  // namespace

std::optional<std::uint8_t> x11Keycode(std::uint32_t positionCode) {
    for (const auto& [position, evdev] : positionToEvdev) {
        if (position == positionCode) {
            return static_cast<std::uint8_t>(evdev + evdevToX11Offset);
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> positionCode(std::uint32_t x11Keycode) {
    if (x11Keycode < evdevToX11Offset) {
        return std::nullopt;
    }
    const std::uint32_t evdev = x11Keycode - evdevToX11Offset;
    for (const auto& [position, code] : positionToEvdev) {
        if (code == evdev) {
            return position;
        }
    }
    return std::nullopt;
}

bool isModifierKeycode(std::uint32_t x11Keycode) {
    for (const auto evdev : modifierEvdev) {
        if (x11Keycode == std::uint32_t{evdev} + evdevToX11Offset) {
            return true;
        }
    }
    return false;
}

std::uint16_t x11Modifiers(std::uint32_t hotKeyModifiers) {
    std::uint16_t mods = 0;
    if (hotKeyModifiers & modifierMask::control) {
        mods |= XCB_MOD_MASK_CONTROL;
    }
    if (hotKeyModifiers & modifierMask::option) {
        mods |= XCB_MOD_MASK_1;
    }
    if (hotKeyModifiers & modifierMask::command) {
        mods |= XCB_MOD_MASK_4;
    }
    if (hotKeyModifiers & modifierMask::shift) {
        mods |= XCB_MOD_MASK_SHIFT;
    }
    return mods;
}

}  // namespace mavu::hotkey
