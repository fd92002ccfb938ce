#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "helper/bus/ConnectionGate.h"
#include "helper/bus/HelperBusAdaptor.h"
#include "protocol/HelperProtocol.h"

namespace mavu::helper {

// The system bus connection, or a sentence saying why there is none. Honours
// DBUS_SYSTEM_BUS_ADDRESS.
struct BusConnection {
    std::unique_ptr<sdbus::IConnection> connection;
    std::string error;
};
BusConnection openSystemBus();

// The daemon's way in: owns the bus connection, exports the service under the helper's
// bus name once resumed, and serves calls on a bus thread of its own. Client departures
// are passed to the gate so that it forgets their decisions.
class HelperListener {
  public:
    HelperListener(std::unique_ptr<sdbus::IConnection> connection, std::string busName);
    ~HelperListener();
    HelperListener(const HelperListener&) = delete;
    HelperListener& operator=(const HelperListener&) = delete;

    // The connection the listener serves on, for other parties that talk over it and
    // whose answers its bus thread delivers. They must go before the listener does.
    sdbus::IConnection& connection() { return *connection_; }

    // Both must outlive the listener.
    void setDelegate(protocol::HelperProtocol& service, ConnectionGate& gate);
    // Called once, on the bus thread, when the bus connection is lost; nothing is served
    // afterwards.
    void setDisconnectionHandler(std::function<void()> handler);

    // Exports the object, takes the bus name and starts serving; a sentence on failure
    // (the name is taken or the bus policy refuses it).
    std::optional<std::string> resume();
    // Stops serving; calls arriving afterwards wait in the socket. Replies the service
    // still sends go out.
    void suspend();

  private:
    void watchDepartures(ConnectionGate& gate);

    void serve();

    std::unique_ptr<sdbus::IConnection> connection_;
    const std::string busName_;
    protocol::HelperProtocol* service_ = nullptr;
    ConnectionGate* gate_ = nullptr;
    std::unique_ptr<HelperBusAdaptor> adaptor_;
    sdbus::Slot departures_;
    std::function<void()> onDisconnection_;
    std::thread busThread_;
    bool nameTaken_ = false;
    bool serving_ = false;
};

}  // namespace mavu::helper
