#include "app/shortcut/GlobalShortcutManager.h"

#include <mutex>

#include "app/shortcut/KeyCombo.h"
#include "platform/log/Log.h"

namespace mavu::shortcut {
namespace {

// The port of a process that was never given one: nothing can be registered.
class NoHotKeys final : public hotkey::HotKeyPort {
  public:
    std::optional<hotkey::HotKeyRef> registerHotKey(std::uint32_t, std::uint32_t,
                                                    hotkey::HotKeyID) override {
        log::line("Global shortcut unavailable: no hot-key service was set up");
        return std::nullopt;
    }
    void unregisterHotKey(hotkey::HotKeyRef) override {}
    bool installPressHandler(hotkey::PressHandler) override { return true; }
};

std::mutex sharedMutex;
std::unique_ptr<hotkey::HotKeyPort> sharedPort;
GlobalShortcutManager* sharedManager = nullptr;

}  // namespace

GlobalShortcutManager::GlobalShortcutManager(std::unique_ptr<hotkey::HotKeyPort> port)
    : port_(std::move(port)) {}

bool GlobalShortcutManager::installShared(std::unique_ptr<hotkey::HotKeyPort> port) {
    std::lock_guard lock(sharedMutex);
    if (sharedManager != nullptr) {
        return false;
    }
    sharedPort = std::move(port);
    return true;
}

GlobalShortcutManager& GlobalShortcutManager::shared() {
    std::lock_guard lock(sharedMutex);
    if (sharedManager == nullptr) {
        auto port = sharedPort ? std::move(sharedPort) : std::make_unique<NoHotKeys>();
        // Lives until the process ends: its handler may be called until then, and
        // destroying the X connection during static destruction would race the main loop.
        sharedManager = new GlobalShortcutManager(std::move(port));
    }
    return *sharedManager;
}

bool GlobalShortcutManager::registerHotKey(std::uint32_t keyCode, std::uint64_t modifiers,
                                           Action action) {
    if (hotKeyRef_) {
        port_->unregisterHotKey(*hotKeyRef_);
        hotKeyRef_.reset();
    }
    action_ = std::move(action);
    if (!handlerInstalled_) {
        // The port outlives no manager (the manager owns it), so the handler may hold this.
        handlerInstalled_ = port_->installPressHandler(
            [this](const hotkey::HotKeyPress& press) { pressed(press); });
    }
    const auto mask = KeyCombo{keyCode, modifiers}.hotKeyModifierMask();
    hotKeyRef_ = port_->registerHotKey(keyCode, mask, hotKeyID);
    return hotKeyRef_.has_value();
}

void GlobalShortcutManager::unregister() {
    if (hotKeyRef_) {
        port_->unregisterHotKey(*hotKeyRef_);
        hotKeyRef_.reset();
    }
}

void GlobalShortcutManager::pressed(const hotkey::HotKeyPress& press) {
    // Only the id is compared, not the signature: the id names our one hot key.
    if (press.hotKeyID.id == hotKeyID.id && action_) {
        auto action = action_;  // the action may register a new shortcut, replacing action_
        action();
    }
}

}  // namespace mavu::shortcut
