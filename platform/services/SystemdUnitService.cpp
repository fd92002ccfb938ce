#include "platform/services/SystemdUnitService.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <optional>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>
#include <systemd/sd-bus.h>

namespace mavu::services {

namespace {

constexpr char kDestination[] = "org.freedesktop.systemd1";
constexpr char kObjectPath[] = "/org/freedesktop/systemd1";
constexpr char kManager[] = "org.freedesktop.systemd1.Manager";
// Long enough for a daemon reload on a busy machine, short enough that a wedged systemd
// cannot hold the caller for the bus library's default 25 seconds per call.
constexpr std::chrono::seconds kCallTimeout{10};
// Changing units may make polkit ask the desktop user for a password first; the call has to
// wait for a person to read the dialog and type.
constexpr std::chrono::seconds kAuthorizedCallTimeout{60};

// sdbus-c++ 1.2 has no say in the call's "allow interactive authorization" flag, so it is set
// on the sd-bus message the call wraps. Without it systemd refuses a desktop user at once
// instead of letting the polkit agent ask.
struct RawMessage : sdbus::Message {
    static void allowInteractiveAuthorization(sdbus::Message& message) {
        auto* raw = static_cast<sd_bus_message*>(message.*(&RawMessage::msg_));
        sd_bus_message_set_allow_interactive_authorization(raw, 1);
    }
};

using UnitFileChanges = std::vector<sdbus::Struct<std::string, std::string, std::string>>;

bool isAuthorizationRefusal(const std::string& errorName) {
    return errorName == "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired" ||
           errorName == "org.freedesktop.DBus.Error.AccessDenied" ||
           errorName == "org.freedesktop.DBus.Error.AuthFailed" ||
           errorName == "org.freedesktop.PolicyKit1.Error.NotAuthorized";
}

bool isUnknownUnit(const std::string& errorName) {
    return errorName == "org.freedesktop.systemd1.NoSuchUnit" ||
           errorName == "org.freedesktop.DBus.Error.FileNotFound";
}

ServiceError toServiceError(const sdbus::Error& error) {
    const std::string& description =
        error.getMessage().empty() ? error.getName() : error.getMessage();
    if (isAuthorizationRefusal(error.getName())) {
        return {kServiceErrorDomain, description};
    }
    return {error.getName(), description};
}

ServiceError toServiceError(const std::exception& error) {
    return {"org.freedesktop.DBus.Error.Failed", error.what()};
}

// A unit file's state as systemd names it, read as a registration status.
int statusOfUnitFileState(const std::string& state) {
    // Units without an [Install] section (static, generated, transient) cannot be
    // enabled, yet are ready to be started on demand: for the caller they are enabled.
    if (state == "enabled" || state == "enabled-runtime" || state == "static" ||
        state == "generated" || state == "transient") {
        return kStatusEnabled;
    }
    if (state == "disabled" || state == "indirect" || state == "linked" ||
        state == "linked-runtime" || state == "masked" || state == "masked-runtime") {
        return kStatusNotRegistered;
    }
    return kStatusUnknown;
}

// systemd's manager object over one fresh connection.
class Manager {
  public:
    explicit Manager(const BusConnector& connect)
        : connection_(connect()),
          proxy_(sdbus::createProxy(*connection_, kDestination, kObjectPath)) {}

    std::string unitFileState(const std::string& unit) {
        std::string state;
        auto reply = call("GetUnitFileState", unit);
        reply >> state;
        return state;
    }
    void enable(const std::string& unit) {
        bool carriesInstallInfo = false;
        UnitFileChanges changes;
        auto reply =
            authorizedCall("EnableUnitFiles", std::vector<std::string>{unit}, false, false);
        reply >> carriesInstallInfo >> changes;
    }
    void disable(const std::string& unit) {
        UnitFileChanges changes;
        auto reply = authorizedCall("DisableUnitFiles", std::vector<std::string>{unit}, false);
        reply >> changes;
    }
    void start(const std::string& unit) {
        sdbus::ObjectPath job;
        auto reply = authorizedCall("StartUnit", unit, std::string("replace"));
        reply >> job;
    }
    void stop(const std::string& unit) {
        sdbus::ObjectPath job;
        auto reply = authorizedCall("StopUnit", unit, std::string("replace"));
        reply >> job;
    }
    // Makes systemd pick up the links enable and disable changed.
    void reload() { authorizedCall("Reload"); }

  private:
    enum class Prompt { never, allowed };

    template <class... Args>
    sdbus::MethodReply call(const std::string& method, const Args&... args) {
        return send(Prompt::never, method, args...);
    }
    template <class... Args>
    sdbus::MethodReply authorizedCall(const std::string& method, const Args&... args) {
        return send(Prompt::allowed, method, args...);
    }
    template <class... Args>
    sdbus::MethodReply send(Prompt prompt, const std::string& method, const Args&... args) {
        auto message = proxy_->createMethodCall(kManager, method);
        if (prompt == Prompt::allowed) {
            RawMessage::allowInteractiveAuthorization(message);
        }
        ((message << args), ...);
        return proxy_->callMethod(
            message, prompt == Prompt::allowed ? kAuthorizedCallTimeout : kCallTimeout);
    }

    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IProxy> proxy_;
};

}  // namespace

BusConnector systemBusConnector() {
    return [] { return sdbus::createSystemBusConnection(); };
}

struct SystemdUnitService::Core {
    std::string unit;
    BusConnector connect;
    // Set when polkit turned down a registration; cleared once the unit is enabled.
    std::atomic<bool> refused{false};

    int status() {
        std::optional<Manager> manager;
        try {
            manager.emplace(connect);
        } catch (const std::exception&) {
            // No bus says nothing about the unit.
            return kStatusUnknown;
        }
        int status = kStatusUnknown;
        try {
            status = statusOfUnitFileState(manager->unitFileState(unit));
        } catch (const sdbus::Error& error) {
            return isUnknownUnit(error.getName()) ? kStatusNotFound : kStatusUnknown;
        } catch (const std::exception&) {
            return kStatusUnknown;
        }
        if (status == kStatusEnabled) {
            refused = false;
        } else if (status == kStatusNotRegistered && refused) {
            return kStatusRequiresApproval;
        }
        return status;
    }

    std::optional<ServiceError> enableAndStart() {
        try {
            Manager manager(connect);
            manager.enable(unit);
            manager.reload();
            manager.start(unit);
        } catch (const sdbus::Error& error) {
            if (isAuthorizationRefusal(error.getName())) {
                refused = true;
            }
            return toServiceError(error);
        } catch (const std::exception& error) {
            return toServiceError(error);
        }
        refused = false;
        return std::nullopt;
    }

    std::optional<ServiceError> stopAndDisable() {
        try {
            Manager manager(connect);
            manager.stop(unit);
            manager.disable(unit);
            manager.reload();
        } catch (const sdbus::Error& error) {
            return toServiceError(error);
        } catch (const std::exception& error) {
            return toServiceError(error);
        }
        return std::nullopt;
    }
};

SystemdUnitService::SystemdUnitService(std::string unit, dispatch::MainQueue& mainQueue,
                                       std::shared_ptr<dispatch::Queue> worker,
                                       BusConnector connect)
    : core_(std::make_shared<Core>()), mainQueue_(mainQueue), worker_(std::move(worker)) {
    core_->unit = std::move(unit);
    core_->connect = std::move(connect);
}

int SystemdUnitService::status() {
    return core_->status();
}

std::optional<ServiceError> SystemdUnitService::registerService() {
    return core_->enableAndStart();
}

std::optional<ServiceError> SystemdUnitService::unregisterService() {
    return core_->stopAndDisable();
}

void SystemdUnitService::unregisterService(
    std::function<void(std::optional<ServiceError>)> completion) {
    // The work holds the core, not this handle: it finishes even if the handle goes.
    worker_->async(
        [core = core_, &mainQueue = mainQueue_, completion = std::move(completion)]() mutable {
            auto result = core->stopAndDisable();
            mainQueue.async([completion = std::move(completion), result = std::move(result)] {
                completion(result);
            });
        });
}

}  // namespace mavu::services
