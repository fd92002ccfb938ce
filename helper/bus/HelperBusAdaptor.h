#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <memory>
#include <string>
#include <vector>

#include "helper/bus/ConnectionGate.h"
#include "protocol/HelperAdaptor.h"
#include "protocol/HelperProtocol.h"

namespace mavu::helper {

// Exports the helper protocol on the bus object. Runs on the bus thread and only hands
// calls on: each waits for its connection's decision at the gate, then members 1 to 5 go
// to the service, which answers later from its state queue, and the version is answered
// at once. Calls from a connection the gate refuses get AccessDenied and reach nothing.
class HelperBusAdaptor final : public sdbus::AdaptorInterfaces<
                                   group::com::norvel::mavu::helper::MAVUHelperProtocol_adaptor> {
  public:
    HelperBusAdaptor(sdbus::IConnection& connection, protocol::HelperProtocol& service,
                     ConnectionGate& gate);
    ~HelperBusAdaptor();
    HelperBusAdaptor(const HelperBusAdaptor&) = delete;
    HelperBusAdaptor& operator=(const HelperBusAdaptor&) = delete;

  private:
    using MessageResult = sdbus::Result<bool, std::vector<std::string>>;

    void Arm(MessageResult&& result, double durationSeconds, bool hasExternalDisplay) override;
    void Disarm(MessageResult&& result) override;
    void Heartbeat(MessageResult&& result, bool hasExternalDisplay) override;
    void ForceSafeOff(sdbus::Result<>&& result) override;
    void Status(
        sdbus::Result<bool, bool, bool, double, std::vector<std::string>>&& result) override;
    void HelperVersion(sdbus::Result<std::string, std::string>&& result) override;

    // Runs serve with the reply once the caller is admitted; a refused caller gets
    // AccessDenied on that reply instead.
    template <class Result, class Serve>
    void whenAdmitted(Result&& result, Serve serve);

    protocol::HelperProtocol& service_;
    ConnectionGate& gate_;
};

}  // namespace mavu::helper
