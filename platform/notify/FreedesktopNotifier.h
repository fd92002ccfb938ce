#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/Dispatch.h"
#include "platform/notify/Notifier.h"

namespace mavu::notify {

// org.freedesktop.Notifications on the session bus: Notify with replaces_id 0 (a new
// notification every time), the "suppress-sound" hint, the server's default expiry.
// Bus calls run on a serial queue of their own, each bounded by callTimeout, so the main
// queue never waits for the bus or the server.
class FreedesktopNotifier final : public Notifier {
  public:
    static constexpr double kCallTimeoutSeconds = 5.0;

    // appName is what the server shows as the sender. busAddress names the session bus;
    // none means $DBUS_SESSION_BUS_ADDRESS.
    FreedesktopNotifier(dispatch::Dispatch& dispatch, std::string appName = "MAVU",
                        std::optional<std::string> busAddress = std::nullopt);
    ~FreedesktopNotifier() override;
    FreedesktopNotifier(const FreedesktopNotifier&) = delete;
    FreedesktopNotifier& operator=(const FreedesktopNotifier&) = delete;

    void post(Notification notification) override;

  private:
    struct Bus;
    std::shared_ptr<Bus> bus_;
    std::shared_ptr<dispatch::Queue> queue_;
};

}  // namespace mavu::notify
