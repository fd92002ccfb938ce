#include "helper/pmset/InhibitorLock.h"

#include <sdbus-c++/sdbus-c++.h>
#include <chrono>
#include <exception>

namespace mavu::pmset {

namespace {

constexpr char kLogindService[] = "org.freedesktop.login1";
constexpr char kLogindPath[] = "/org/freedesktop/login1";
constexpr char kLogindManager[] = "org.freedesktop.login1.Manager";
constexpr char kWhat[] = "handle-lid-switch:sleep:idle";
constexpr char kWho[] = "MAVU";
constexpr char kWhy[] = "Keeping the machine awake with the lid closed";
constexpr char kMode[] = "block";
constexpr auto kCallTimeout = std::chrono::seconds(3);

}  // namespace

InhibitorLock takeInhibitorLock() {
    try {
        auto connection = sdbus::createSystemBusConnection();
        auto logind = sdbus::createProxy(*connection, kLogindService, kLogindPath);
        sdbus::UnixFd lock;
        logind->callMethod("Inhibit")
            .onInterface(kLogindManager)
            .withTimeout(kCallTimeout)
            .withArguments(kWhat, kWho, kWhy, kMode)
            .storeResultsTo(lock);
        if (!lock.isValid()) {
            return {-1, "logind granted no lock."};
        }
        return {lock.release(), {}};
    } catch (const sdbus::Error& error) {
        return {-1, "logind refused the lock: " + error.getMessage()};
    } catch (const std::exception& error) {
        return {-1, std::string("logind is not reachable: ") + error.what()};
    }
}

}  // namespace mavu::pmset
