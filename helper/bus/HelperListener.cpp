#include "helper/bus/HelperListener.h"

#include <utility>

namespace mavu::helper {
namespace {

// Only departures: a unique name whose owner became empty.
const char kDepartureMatch[] =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg2=''";

}  // namespace

BusConnection openSystemBus() {
    try {
        return {sdbus::createSystemBusConnection(), {}};
    } catch (const sdbus::Error& error) {
        return {nullptr, "Could not connect to the system bus: " + error.getMessage()};
    }
}

HelperListener::HelperListener(std::unique_ptr<sdbus::IConnection> connection, std::string busName)
    : connection_(std::move(connection)), busName_(std::move(busName)) {}

HelperListener::~HelperListener() {
    suspend();
    // The object and the match go before the connection they belong to.
    departures_.reset();
    adaptor_.reset();
}

void HelperListener::setDelegate(protocol::HelperProtocol& service, ConnectionGate& gate) {
    service_ = &service;
    gate_ = &gate;
}

std::optional<std::string> HelperListener::resume() {
    if (serving_) {
        return std::nullopt;
    }
    if (!service_ || !gate_) {
        return "The helper listener has no service to serve.";
    }
    try {
        // Exported and watching before the name is taken, so the call that activated the
        // daemon already finds everything in place.
        if (!adaptor_) {
            adaptor_ = std::make_unique<HelperBusAdaptor>(*connection_, *service_, *gate_);
            watchDepartures(*gate_);
        }
        if (!nameTaken_) {
            connection_->requestName(busName_);
            nameTaken_ = true;
        }
    } catch (const sdbus::Error& error) {
        return "Could not take the bus name " + busName_ + ": " + error.getMessage();
    }
    serving_ = true;
    busThread_ = std::thread([this] { serve(); });
    return std::nullopt;
}

void HelperListener::setDisconnectionHandler(std::function<void()> handler) {
    onDisconnection_ = std::move(handler);
}

// The library's own loop thread lets a lost connection escape as an exception and
// terminate the process; this one turns it into a call of the handler.
void HelperListener::serve() {
    try {
        connection_->enterEventLoop();
    } catch (const sdbus::Error&) {
        if (onDisconnection_) {
            onDisconnection_();
        }
    }
}

void HelperListener::suspend() {
    if (!serving_) {
        return;
    }
    connection_->leaveEventLoop();
    if (busThread_.joinable()) {
        busThread_.join();
    }
    serving_ = false;
}

void HelperListener::watchDepartures(ConnectionGate& gate) {
    departures_ = connection_->addMatch(kDepartureMatch, [&gate](sdbus::Message& signal) {
        std::string name;
        std::string oldOwner;
        std::string newOwner;
        try {
            signal >> name >> oldOwner >> newOwner;
        } catch (const sdbus::Error&) {
            return;
        }
        if (!name.empty() && name.front() == ':' && newOwner.empty()) {
            gate.connectionClosed(name);
        }
    });
}

}  // namespace mavu::helper
