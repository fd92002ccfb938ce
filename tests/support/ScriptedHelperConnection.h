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
    ipc::ErrorHandler errorHandler = {};
    protocol::MessageReply messageReply = {};
    protocol::EmptyReply emptyReply = {};
    protocol::VersionReply versionReply = {};

    void reply(bool success, std::optional<std::string> message = std::nullopt) {
        messageReply(success, std::move(message));
    }
    void replyVersion(std::string shortVersion, std::string build) {
        versionReply({std::move(shortVersion), std::move(build)});
    }
    void fail(std::string description) {
        errorHandler({"org.freedesktop.DBus.Error.ServiceUnknown", std::move(description)});
    }
};

using SentLog = std::vector<std::shared_ptr<SentMessage>>;

// Logs every message both in the connector's log and in its connection's.
class ScriptedHelperProxy final : public protocol::HelperProtocol {
  public:
    ScriptedHelperProxy(SentLog& all, SentLog& mine, ipc::ErrorHandler onError)
        : all_(all), mine_(mine), onError_(std::move(onError)) {}

    void armWithDurationSeconds(double seconds, bool external, protocol::MessageReply r) override {
        add({"Arm", seconds, external, onError_, std::move(r)});
    }
    void disarm(protocol::MessageReply r) override {
        add({"Disarm", 0, false, onError_, std::move(r)});
    }
    void heartbeat(bool external, protocol::MessageReply r) override {
        add({"Heartbeat", 0, external, onError_, std::move(r)});
    }
    void forceSafeOff(protocol::EmptyReply r) override {
        add({"ForceSafeOff", 0, false, onError_, {}, std::move(r)});
    }
    void status(protocol::StatusReply) override { add({"Status", 0, false, onError_}); }
    void helperVersion(protocol::VersionReply r) override {
        add({"HelperVersion", 0, false, onError_, {}, {}, std::move(r)});
    }

  private:
    void add(SentMessage message) {
        all_.push_back(std::make_shared<SentMessage>(std::move(message)));
        mine_.push_back(all_.back());
    }
    SentLog& all_;
    SentLog& mine_;
    ipc::ErrorHandler onError_;
};

// A connection whose bus-side events the test triggers itself.
class ScriptedHelperConnection final : public ipc::HelperConnection {
  public:
    explicit ScriptedHelperConnection(SentLog& log) : log_(log) {}

    void setInvalidationHandler(ipc::Handler h) override { failFromBus = std::move(h); }
    void setInterruptionHandler(ipc::Handler h) override { interrupt = std::move(h); }
    void resume() override {}
    // What a connection does with the messages still pending when its owner closes it.
    void invalidate() override {
        invalidatedByOwner = true;
        for (auto& message : sent) {
            *message = {message->member, message->durationSeconds, message->hasExternalDisplay};
        }
    }
    std::shared_ptr<protocol::HelperProtocol> remoteObjectProxy(ipc::ErrorHandler h) override {
        return std::make_shared<ScriptedHelperProxy>(log_, sent, std::move(h));
    }

    ipc::Handler failFromBus;  // the bus closed the connection
    ipc::Handler interrupt;    // the daemon left the bus
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
