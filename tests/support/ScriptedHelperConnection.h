#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ipc/HelperConnection.h"

namespace mavu::testing {

// One message sent through a scripted proxy; the test answers it (or never does) as the
// daemon would, from the test's thread standing in for the bus thread.
struct SentMessage {
    std::string member;  // the bus member: "Arm", "Disarm", "Heartbeat", ...
    double durationSeconds = 0;
    bool hasExternalDisplay = false;
    protocol::MessageReply messageReply;
    protocol::EmptyReply emptyReply;
    protocol::VersionReply versionReply;
    ipc::ErrorHandler errorHandler;

    void reply(bool success, std::optional<std::string> message = std::nullopt) {
        messageReply(success, std::move(message));
    }
    void replyVersion(std::string shortVersion, std::string build) {
        versionReply({std::move(shortVersion), std::move(build)});
    }
    void fail(std::string description) {
        errorHandler({"org.freedesktop.DBus.Error.ServiceUnknown", std::move(description)});
    }
    // What a connection does with a message still pending when its owner closes it.
    void drop() { *this = {member, durationSeconds, hasExternalDisplay, {}, {}, {}, {}}; }
};

using SentLog = std::vector<std::shared_ptr<SentMessage>>;

class ScriptedHelperProxy final : public protocol::HelperProtocol {
  public:
    ScriptedHelperProxy(SentLog& log, SentLog& connectionLog, ipc::ErrorHandler onError)
        : log_(log), connectionLog_(connectionLog), onError_(std::move(onError)) {}

    void armWithDurationSeconds(double seconds, bool external,
                                protocol::MessageReply reply) override {
        add("Arm", seconds, external).messageReply = std::move(reply);
    }
    void disarm(protocol::MessageReply reply) override {
        add("Disarm").messageReply = std::move(reply);
    }
    void heartbeat(bool external, protocol::MessageReply reply) override {
        add("Heartbeat", 0, external).messageReply = std::move(reply);
    }
    void forceSafeOff(protocol::EmptyReply reply) override {
        add("ForceSafeOff").emptyReply = std::move(reply);
    }
    void status(protocol::StatusReply) override { add("Status"); }
    void helperVersion(protocol::VersionReply reply) override {
        add("HelperVersion").versionReply = std::move(reply);
    }

  private:
    SentMessage& add(std::string member, double seconds = 0, bool external = false) {
        auto message = std::make_shared<SentMessage>(
            SentMessage{std::move(member), seconds, external, {}, {}, {}, onError_});
        log_.push_back(message);
        connectionLog_.push_back(message);
        return *message;
    }
    SentLog& log_;
    SentLog& connectionLog_;
    ipc::ErrorHandler onError_;
};

// A connection whose bus-side events the test triggers itself.
class ScriptedHelperConnection final : public ipc::HelperConnection {
  public:
    explicit ScriptedHelperConnection(SentLog& log) : log_(log) {}

    void setInvalidationHandler(ipc::Handler h) override { onInvalidated = std::move(h); }
    void setInterruptionHandler(ipc::Handler h) override { onInterrupted = std::move(h); }
    void resume() override { resumed = true; }
    void invalidate() override {
        invalidatedByOwner = true;
        for (auto& message : sent) {
            message->drop();
        }
    }
    std::shared_ptr<protocol::HelperProtocol> remoteObjectProxy(ipc::ErrorHandler h) override {
        return std::make_shared<ScriptedHelperProxy>(log_, sent, std::move(h));
    }

    // The daemon left the bus / the bus closed the connection.
    void interrupt() { onInterrupted(); }
    void failFromBus() { onInvalidated(); }

    ipc::Handler onInvalidated;
    ipc::Handler onInterrupted;
    bool resumed = false;
    bool invalidatedByOwner = false;
    SentLog sent;

  private:
    SentLog& log_;
};

// Hands out scripted connections and keeps one log of every message sent through any.
class ScriptedHelperConnector final : public ipc::HelperConnector {
  public:
    Attempt connect() override {
        if (failure) {
            return {nullptr, *failure};
        }
        connections.push_back(std::make_shared<ScriptedHelperConnection>(sent));
        return {connections.back(), {}};
    }

    ScriptedHelperConnection& latest() { return *connections.back(); }
    SentMessage& last() { return *sent.back(); }

    std::optional<std::string> failure;  // when set, connect() fails with it
    std::vector<std::shared_ptr<ScriptedHelperConnection>> connections;
    SentLog sent;
};

}  // namespace mavu::testing
