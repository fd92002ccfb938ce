#pragma once

#include <algorithm>
#include <map>
#include <ranges>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/hotkey/HotKeyPort.h"

namespace mavu::testing {

// Records register calls ("register 6 6400") and refuses taken combinations, or ones
// already registered. press() plays the window system.
class HotKeyPortDouble final : public hotkey::HotKeyPort {
  public:
    using Combo = std::pair<std::uint32_t, std::uint32_t>;

    std::optional<hotkey::HotKeyRef> registerHotKey(std::uint32_t keyCode, std::uint32_t mods,
                                                    hotkey::HotKeyID) override {
        calls.push_back("register " + std::to_string(keyCode) + " " + std::to_string(mods));
        const Combo combo{keyCode, mods};
        if (taken.count(combo) != 0 || std::ranges::count(std::views::values(active), combo)) {
            return std::nullopt;
        }
        active[nextRef] = combo;
        return nextRef++;
    }
    void unregisterHotKey(hotkey::HotKeyRef ref) override { active.erase(ref); }
    bool installPressHandler(hotkey::PressHandler h) override {
        return handler = std::move(h), true;
    }
    void press(hotkey::HotKeyID id) { handler(hotkey::HotKeyPress{id}); }

    std::vector<std::string> calls;
    std::set<Combo> taken;
    std::map<hotkey::HotKeyRef, Combo> active;
    hotkey::PressHandler handler;
    hotkey::HotKeyRef nextRef = 1;
};

}  // namespace mavu::testing
