#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/Queue.h"
#include "platform/hotkey/HotKeyPort.h"

namespace mavu::hotkey {

// Hot keys as passive key grabs on the X root window. A grab another client already
// holds is refused by the server (BadAccess): that is "taken by another application".
// Each combination is grabbed four times, plain and with CapsLock, NumLock or both, since
// a grab only fires for the exact modifier state. Presses are read from the connection
// on the main queue and handed to the press handlers through it.
//
// The X connection is opened at the first registration (and opened again after it broke);
// without a reachable X server, for example in a Wayland-only session, every
// registration is refused.
class X11HotKeys final : public HotKeyPort {
  public:
    // displayName as xcb_connect takes it; none means $DISPLAY.
    explicit X11HotKeys(dispatch::MainQueue& mainQueue,
                        std::optional<std::string> displayName = std::nullopt);
    ~X11HotKeys() override;
    X11HotKeys(const X11HotKeys&) = delete;
    X11HotKeys& operator=(const X11HotKeys&) = delete;

    std::optional<HotKeyRef> registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                            HotKeyID id) override;
    void unregisterHotKey(HotKeyRef ref) override;
    bool installPressHandler(PressHandler handler) override;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace mavu::hotkey
