#pragma once

#include <sys/types.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/clientcheck/ClientCheck.h"
#include "platform/dispatch/Queue.h"
#include "platform/polkit/Authority.h"

namespace mavu::helper {

// Decides once per client connection (one unique bus name) whether its calls are served,
// and remembers the decision until the connection leaves the bus. Two checks must pass:
// polkit says the user may keep the machine awake, and the program the process runs is
// signed as our client. Both run away from the caller's thread; a connection's calls wait
// for its decision (in order) while other connections' calls go on. No decision within
// kCheckLimit is a refusal. A refused connection is logged once, however many calls it
// makes.
class ConnectionGate : public std::enable_shared_from_this<ConnectionGate> {
  public:
    using Identify = std::function<std::optional<clientcheck::ProcessIdentity>(pid_t)>;
    // The pid behind a connection as the bus daemon knows it, or nothing when it cannot
    // be had (the client already left).
    using CredentialsPid = std::function<std::optional<pid_t>()>;
    using Admission = std::function<void(bool admitted)>;

    static constexpr std::chrono::seconds kCheckLimit{2};

    // The deadlines run on timers.
    static std::shared_ptr<ConnectionGate> create(dispatch::Queue& timers,
                                                  clientcheck::ClientVerifier& verifier,
                                                  polkit::Authority& authority, Identify identify);
    ConnectionGate(const ConnectionGate&) = delete;
    ConnectionGate& operator=(const ConnectionGate&) = delete;

    // Calls admission with the connection's decision: at once when it is known, else when
    // it is made, on the thread that makes it. credentialsPid is asked only for a
    // connection not seen before; it may be a round trip to the bus daemon, so no lock is
    // held while it runs.
    void whenDecided(const std::string& connection, const CredentialsPid& credentialsPid,
                     Admission admission);
    void connectionClosed(const std::string& connection);

    std::size_t rememberedConnections() const;

  private:
    enum class Check { signature, authority };
    struct Entry {
        std::optional<bool> decision;
        // Calls that arrived before the decision are being answered.
        bool flushing = false;
        std::deque<Admission> waiting;
        bool signaturePassed = false;
        bool authorityPassed = false;
        pid_t pid = -1;
    };

    ConnectionGate(dispatch::Queue& timers, clientcheck::ClientVerifier& verifier,
                   polkit::Authority& authority, Identify identify);

    void startChecks(const std::string& connection, std::optional<pid_t> pid);
    void passed(const std::string& connection, Check check, bool ok);
    void decide(const std::string& connection, bool admitted);

    dispatch::Queue& timers_;
    clientcheck::ClientVerifier& verifier_;
    polkit::Authority& authority_;
    const Identify identify_;
    mutable std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

}  // namespace mavu::helper
