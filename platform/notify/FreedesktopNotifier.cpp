#include "platform/notify/FreedesktopNotifier.h"

#include <sdbus-c++/sdbus-c++.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <vector>

#include "platform/log/Log.h"

namespace mavu::notify {
namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";

// Servers that render body markup would read "<" and "&" in a message as markup.
std::string escapeMarkup(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace

// Lives on the notifier's own queue: only work running there touches it.
struct FreedesktopNotifier::Bus {
    std::string appName;
    std::optional<std::string> address;
    std::unique_ptr<sdbus::IConnection> connection;
    std::unique_ptr<sdbus::IProxy> proxy;
    bool bodyMarkup = false;

    std::chrono::microseconds timeout() const {
        return std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::duration<double>(kCallTimeoutSeconds));
    }

    void connect() {
        connection = address ? sdbus::createSessionBusConnectionWithAddress(*address)
                             : sdbus::createSessionBusConnection();
        proxy = sdbus::createProxy(*connection, kService, kPath);
        std::vector<std::string> capabilities;
        proxy->callMethod("GetCapabilities")
            .onInterface(kInterface)
            .withTimeout(timeout())
            .storeResultsTo(capabilities);
        bodyMarkup = std::ranges::find(capabilities, "body-markup") != capabilities.end();
    }

    void post(const Notification& notification) {
        try {
            if (!proxy) {
                connect();
            }
            const std::map<std::string, sdbus::Variant> hints{
                {"suppress-sound", sdbus::Variant(true)}};
            std::uint32_t id = 0;
            proxy->callMethod("Notify")
                .onInterface(kInterface)
                .withTimeout(timeout())
                .withArguments(appName, std::uint32_t{0}, std::string(), notification.title,
                               bodyMarkup ? escapeMarkup(notification.body) : notification.body,
                               std::vector<std::string>{}, hints, std::int32_t{-1})
                .storeResultsTo(id);
        } catch (const sdbus::Error& error) {
            log::line("MAVU notification not shown: " + error.getMessage());
            // Start afresh next time: the bus or the server may be back by then.
            proxy.reset();
            connection.reset();
        }
    }
};

FreedesktopNotifier::FreedesktopNotifier(dispatch::Dispatch& dispatch, std::string appName,
                                         std::optional<std::string> busAddress)
    : bus_(std::make_shared<Bus>(Bus{std::move(appName), std::move(busAddress), {}, {}, false})),
      queue_(dispatch.makeSerialQueue("notifications")) {}

FreedesktopNotifier::~FreedesktopNotifier() = default;

void FreedesktopNotifier::post(Notification notification) {
    queue_->async(
        [bus = bus_, notification = std::move(notification)] { bus->post(notification); });
}

}  // namespace mavu::notify
