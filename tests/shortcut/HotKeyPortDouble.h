#pragma once

#include <map>
#include <set>
#include <utility>

#include "platform/hotkey/HotKeyPort.h"

namespace mavu::testing {

// Holds what is registered and refuses taken combinations.
struct HotKeyPortDouble final : hotkey::HotKeyPort {
    using Combo = std::pair<std::uint32_t, std::uint32_t>;

    std::optional<hotkey::HotKeyRef> registerHotKey(std::uint32_t keyCode, std::uint32_t mods,
                                                    hotkey::HotKeyID) override {
        if (taken.contains({keyCode, mods})) {
            return std::nullopt;
        }
        active[nextRef] = {keyCode, mods};
        return nextRef++;
    }
    void unregisterHotKey(hotkey::HotKeyRef ref) override { active.erase(ref); }
    bool installPressHandler(hotkey::PressHandler) override { return true; }

    std::set<Combo> taken;
    std::map<hotkey::HotKeyRef, Combo> active;
    hotkey::HotKeyRef nextRef = 1;
};

}  // namespace mavu::testing
