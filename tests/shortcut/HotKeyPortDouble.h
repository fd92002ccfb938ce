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

// Records every call in order ("install", "register 6 6400", "unregister 1") and refuses
// taken combinations, or ones already registered. press() plays the window system.
class HotKeyPortDouble final : public hotkey::HotKeyPort {
  public:
    using Combo = std::pair<std::uint32_t, std::uint32_t>;

    std::optional<hotkey::HotKeyRef> registerHotKey(std::uint32_t keyCode, std::uint32_t mods,
                                                    hotkey::HotKeyID id) override {
        calls.push_back("register " + std::to_string(keyCode) + " " + std::to_string(mods));
        lastID = id;
        const Combo combo{keyCode, mods};
        if (taken.count(combo) != 0 || std::ranges::count(std::views::values(active), combo)) {
            return std::nullopt;
        }
        active[nextRef] = combo;
        return nextRef++;
    }
    void unregisterHotKey(hotkey::HotKeyRef ref) override {
        calls.push_back("unregister " + std::to_string(ref));
        active.erase(ref);
    }
    bool installPressHandler(hotkey::PressHandler handler) override {
        calls.push_back("install");
        handlers.push_back(std::move(handler));
        return true;
    }
    void press(hotkey::HotKeyID id) {
        const auto handler = handlers.back();  // a copy: the action may register anew
        handler(hotkey::HotKeyPress{id});
    }

    std::vector<std::string> calls;
    std::set<Combo> taken;
    std::map<hotkey::HotKeyRef, Combo> active;
    std::vector<hotkey::PressHandler> handlers;
    hotkey::HotKeyID lastID;

  private:
    hotkey::HotKeyRef nextRef = 1;
};

}  // namespace mavu::testing
