#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/hotkey/HotKeyPort.h"

namespace mavu::shortcut {

// Turns the current shortcut into a system-wide hot key and runs the stored action when
// it is pressed. Holds at most one hot key; the press handler is installed at the first
// registration and stays for the life of the manager. Confined to the main queue: every
// call, and every press the port delivers, happens there.
class GlobalShortcutManager {
  public:
    using Action = std::function<void()>;

    // 'MAVU' packed big-endian, id 1: the one hot key this process registers.
    static constexpr hotkey::HotKeyID hotKeyID{0x4D415655, 1};

    explicit GlobalShortcutManager(std::unique_ptr<hotkey::HotKeyPort> port);
    GlobalShortcutManager(const GlobalShortcutManager&) = delete;
    GlobalShortcutManager& operator=(const GlobalShortcutManager&) = delete;

    // Gives the process-wide manager its port. Call once at program start, before
    // anything uses shared() (the app passes an X11HotKeys on its main queue). False,
    // and the port is dropped, when shared() already exists. A manager that was never
    // given a port refuses every registration.
    static bool installShared(std::unique_ptr<hotkey::HotKeyPort> port);
    // The process-wide manager; created at first use and never destroyed.
    static GlobalShortcutManager& shared();

    // Drops the current hot key first, stores action, then tries keyCode (a position
    // code) with modifiers (KeyCombo bits). True when the system accepted the combination;
    // on false no hot key is left registered.
    bool registerHotKey(std::uint32_t keyCode, std::uint64_t modifiers, Action action);
    // Removes the hot key, if any; the handler and the action stay.
    void unregister();

  private:
    void pressed(const hotkey::HotKeyPress& press);

    std::unique_ptr<hotkey::HotKeyPort> port_;
    std::optional<hotkey::HotKeyRef> hotKeyRef_;
    bool handlerInstalled_ = false;
    Action action_;
};

}  // namespace mavu::shortcut
