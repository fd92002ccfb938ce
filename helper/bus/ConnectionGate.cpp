#include "helper/bus/ConnectionGate.h"

#include <utility>

#include "platform/log/Log.h"

namespace mavu::helper {

ConnectionGate::ConnectionGate(codesign::ClientVerifier& verifier, Identify identify)
    : verifier_(verifier), identify_(std::move(identify)) {}

bool ConnectionGate::admits(const std::string& connection, const CredentialsPid& credentialsPid) {
    {
        std::lock_guard lock(mutex_);
        if (auto known = decisions_.find(connection); known != decisions_.end()) {
            return known->second;
        }
    }
    const bool accepted = shouldAcceptNewConnection(credentialsPid());
    std::lock_guard lock(mutex_);
    // Calls of one connection arrive in order on one thread, so the first decision
    // recorded is the one made here.
    return decisions_.emplace(connection, accepted).first->second;
}

void ConnectionGate::connectionClosed(const std::string& connection) {
    std::lock_guard lock(mutex_);
    decisions_.erase(connection);
}

std::size_t ConnectionGate::rememberedConnections() const {
    std::lock_guard lock(mutex_);
    return decisions_.size();
}

bool ConnectionGate::shouldAcceptNewConnection(std::optional<pid_t> pid) {
    // The identity is taken right after the credentials, so the verifier can tell when
    // the pid has since passed to another process.
    std::optional<codesign::ProcessIdentity> identity;
    if (pid) {
        identity = identify_(*pid);
    }
    if (identity && verifier_.isAuthorizedClient(*identity)) {
        return true;
    }
    log::line("MAVUHelper: rejected XPC connection from unauthorized pid " +
              std::to_string(pid.value_or(-1)));
    return false;
}

}  // namespace mavu::helper
