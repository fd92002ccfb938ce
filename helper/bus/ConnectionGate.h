#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/codesign/ClientCheck.h"

namespace mavu::helper {

// Decides once per client connection (one unique bus name) whether its calls are served,
// and remembers the decision until the connection leaves the bus. A refused connection
// is logged once, however many calls it makes.
class ConnectionGate {
  public:
    using Identify = std::function<std::optional<codesign::ProcessIdentity>(pid_t)>;
    // The pid behind a connection as the bus daemon knows it, or nothing when it cannot
    // be had (the client already left).
    using CredentialsPid = std::function<std::optional<pid_t>()>;

    ConnectionGate(codesign::ClientVerifier& verifier, Identify identify);
    ConnectionGate(const ConnectionGate&) = delete;
    ConnectionGate& operator=(const ConnectionGate&) = delete;

    // credentialsPid is asked only for a connection not seen before; it may be a round
    // trip to the bus daemon, so no lock is held while it runs.
    bool admits(const std::string& connection, const CredentialsPid& credentialsPid);
    void connectionClosed(const std::string& connection);

    std::size_t rememberedConnections() const;

  private:
    bool shouldAcceptNewConnection(std::optional<pid_t> pid);

    codesign::ClientVerifier& verifier_;
    const Identify identify_;
    mutable std::mutex mutex_;
    std::map<std::string, bool> decisions_;
};

}  // namespace mavu::helper
