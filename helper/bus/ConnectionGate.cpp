#include "helper/bus/ConnectionGate.h"

#include <utility>

#include "platform/dispatch/Weak.h"
#include "platform/log/Log.h"

namespace mavu::helper {

std::shared_ptr<ConnectionGate> ConnectionGate::create(dispatch::Queue& timers,
                                                       clientcheck::ClientVerifier& verifier,
                                                       polkit::Authority& authority,
                                                       Identify identify) {
    return std::shared_ptr<ConnectionGate>(
        new ConnectionGate(timers, verifier, authority, std::move(identify)));
}

ConnectionGate::ConnectionGate(dispatch::Queue& timers, clientcheck::ClientVerifier& verifier,
                               polkit::Authority& authority, Identify identify)
    : timers_(timers), verifier_(verifier), authority_(authority), identify_(std::move(identify)) {}

void ConnectionGate::whenDecided(const std::string& connection,
                                 const CredentialsPid& credentialsPid, Admission admission) {
    std::unique_lock lock(mutex_);
    if (auto known = entries_.find(connection); known != entries_.end()) {
        Entry& entry = known->second;
        if (entry.decision && !entry.flushing) {
            const bool admitted = *entry.decision;
            lock.unlock();
            admission(admitted);
        } else {
            entry.waiting.push_back(std::move(admission));
        }
        return;
    }
    entries_[connection].waiting.push_back(std::move(admission));
    lock.unlock();
    startChecks(connection, credentialsPid());
}

void ConnectionGate::startChecks(const std::string& connection, std::optional<pid_t> pid) {
    // The identity is taken right after the credentials, so the verifier can tell when
    // the pid has since passed to another process.
    const auto identity = pid ? identify_(*pid) : std::nullopt;
    {
        std::lock_guard lock(mutex_);
        if (auto entry = entries_.find(connection); entry != entries_.end()) {
            entry->second.pid = pid.value_or(-1);
        }
    }
    if (!identity) {
        decide(connection, false);
        return;
    }
    auto self = weak_from_this();
    timers_.asyncAt(timers_.clock().monotonicNow() + kCheckLimit,
                    dispatch::weakly(self, [connection](ConnectionGate& gate) {
                        gate.decide(connection, false);
                    }));
    authority_.checkAuthorization(
        connection, dispatch::weakly(self, [connection](ConnectionGate& gate, bool ok) {
            gate.passed(connection, Check::authority, ok);
        }));
    verifier_.checkClient(*identity,
                          dispatch::weakly(self, [connection](ConnectionGate& gate, bool ok) {
                              gate.passed(connection, Check::signature, ok);
                          }));
}

void ConnectionGate::passed(const std::string& connection, Check check, bool ok) {
    if (ok) {
        std::lock_guard lock(mutex_);
        auto entry = entries_.find(connection);
        if (entry == entries_.end() || entry->second.decision) {
            return;
        }
        (check == Check::signature ? entry->second.signaturePassed
                                   : entry->second.authorityPassed) = true;
        if (!entry->second.signaturePassed || !entry->second.authorityPassed) {
            return;
        }
    }
    decide(connection, ok);
}

void ConnectionGate::decide(const std::string& connection, bool admitted) {
    std::unique_lock lock(mutex_);
    auto entry = entries_.find(connection);
    if (entry == entries_.end() || entry->second.decision) {
        return;
    }
    entry->second.decision = admitted;
    entry->second.flushing = true;
    const pid_t pid = entry->second.pid;
    lock.unlock();
    if (!admitted) {
        log::line("MAVUHelper: rejected XPC connection from unauthorized pid " +
                  std::to_string(pid));
    }
    // Calls that arrive while these are answered queue behind them, so each connection's
    // calls reach the service in the order they were made.
    lock.lock();
    for (;;) {
        entry = entries_.find(connection);
        if (entry == entries_.end()) {
            return;
        }
        std::deque<Admission> batch = std::move(entry->second.waiting);
        entry->second.waiting.clear();
        if (batch.empty()) {
            entry->second.flushing = false;
            return;
        }
        lock.unlock();
        for (Admission& admission : batch) {
            admission(admitted);
        }
        // What the calls hold (their replies) goes before the lock is taken again.
        batch.clear();
        lock.lock();
    }
}

void ConnectionGate::connectionClosed(const std::string& connection) {
    std::optional<Entry> gone;
    {
        std::lock_guard lock(mutex_);
        if (auto entry = entries_.find(connection); entry != entries_.end()) {
            gone = std::move(entry->second);
            entries_.erase(entry);
        }
    }
    // Calls still waiting are dropped here, outside the lock: their client has left.
}

std::size_t ConnectionGate::rememberedConnections() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

}  // namespace mavu::helper
