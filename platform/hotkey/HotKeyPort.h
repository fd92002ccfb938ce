#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace mavu::hotkey {

// Modifier bits of a hot-key registration. The logic speaks only this layout; each
// backend translates it to its own window system.
namespace modifierMask {
inline constexpr std::uint32_t command = 0x100;
inline constexpr std::uint32_t shift = 0x200;
inline constexpr std::uint32_t option = 0x800;
inline constexpr std::uint32_t control = 0x1000;
}  // namespace modifierMask

// Given at registration and carried back by every press of that hot key.
struct HotKeyID {
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
    friend bool operator==(const HotKeyID&, const HotKeyID&) = default;
};

struct HotKeyPress {
    HotKeyID hotKeyID;
};

// Names one registration; only meaningful to the port that issued it.
using HotKeyRef = std::uint64_t;

using PressHandler = std::function<void(const HotKeyPress&)>;

// A system-wide hot key: the key combination reaches this process whatever window has
// the focus. All calls, and every press delivered to the handler, happen on the main
// queue.
class HotKeyPort {
  public:
    virtual ~HotKeyPort() = default;

    // keyCode is the layout-independent position code of the key (A 0, S 1, D 2, ...),
    // modifiers a combination of modifierMask bits. No value when the combination cannot
    // be had: another application holds it, this process already registered it, the key
    // is unknown, or there is no window system to ask. Nothing stays registered then.
    virtual std::optional<HotKeyRef> registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                    HotKeyID id) = 0;
    // Unknown or already removed references are ignored.
    virtual void unregisterHotKey(HotKeyRef ref) = 0;
    // The handler receives every press of every registered hot key from now on; it stays
    // installed for the life of the port. False when it could not be installed.
    virtual bool installPressHandler(PressHandler handler) = 0;
};

}  // namespace mavu::hotkey
