#pragma once

#include <sdbus-c++/sdbus-c++.h>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "protocol/HelperProtocol.h"

namespace mavu::testing {

// A stand-in for the helper daemon on a private bus: it owns the daemon's bus name and
// answers every member at once, with an error, or not at all (holding the calls until the
// test answers them or the daemon leaves the bus).
class BusTestDaemon {
  public:
    enum class Mode { answer, fail, hold };
    using MessageResult = sdbus::Result<bool, std::vector<std::string>>;
    using Answer = std::function<void(bool success, const std::optional<std::string>& message)>;

    explicit BusTestDaemon(Mode mode, std::optional<std::string> message = std::nullopt)
        : mode_(mode), message_(std::move(message)) {
        connection_ = sdbus::createSystemBusConnection(protocol::kBusName);
        object_ = sdbus::createObject(*connection_, protocol::kObjectPath);
        const char* in = protocol::kInterface;
        object_->registerMethod("Arm").onInterface(in).implementedAs(
            [this](MessageResult&& result, double seconds, bool external) {
                record("Arm", seconds, external);
                respond(std::move(result), [](auto& r, bool ok, const auto& message) {
                    r.returnResults(ok,
                                    message ? std::vector{*message} : std::vector<std::string>{});
                });
            });
        object_->registerMethod("Disarm").onInterface(in).implementedAs(
            [this](MessageResult&& result) {
                record("Disarm");
                respond(std::move(result), [](auto& r, bool, const auto&) {
                    r.returnResults(true, std::vector<std::string>{});
                });
            });
        object_->registerMethod("ForceSafeOff")
            .onInterface(in)
            .implementedAs([this](sdbus::Result<>&& result) {
                record("ForceSafeOff");
                respond(std::move(result), [](auto& r, bool, const auto&) { r.returnResults(); });
            });
        object_->registerMethod("HelperVersion")
            .onInterface(in)
            .implementedAs([this](sdbus::Result<std::string, std::string>&& result) {
                record("HelperVersion");
                respond(std::move(result), [](auto& r, bool, const auto&) {
                    r.returnResults(std::string("1.0"), std::string("7"));
                });
            });
        object_->finishRegistration();
        connection_->enterEventLoopAsync();
    }

    // Leaves the bus; unanswered calls are dropped with the connection.
    ~BusTestDaemon() { connection_->leaveEventLoop(); }

    // Answers every held call now; message calls with (success, message).
    void answerHeld(bool success, const std::optional<std::string>& message) {
        std::vector<Answer> held;
        {
            // Never send while holding the lock a handler takes.
            std::lock_guard lock(mutex_);
            held.swap(held_);
        }
        for (auto& answer : held) {
            answer(success, message);
        }
    }

    struct Call {
        std::string member;
        double seconds;
        bool external;
    };
    std::vector<Call> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

  private:
    void record(std::string member, double seconds = 0, bool external = false) {
        std::lock_guard lock(mutex_);
        calls_.push_back({std::move(member), seconds, external});
    }
    // answer(result, success, message) sends the reply.
    template <class Result, class Reply>
    void respond(Result&& result, Reply answer) {
        if (mode_ == Mode::answer) {
            answer(result, true, message_);
        } else if (mode_ == Mode::fail) {
            result.returnError(
                sdbus::Error("org.freedesktop.DBus.Error.AccessDenied", "The daemon refused."));
        } else {
            auto shared = std::make_shared<Result>(std::move(result));
            std::lock_guard lock(mutex_);
            held_.push_back([shared, answer](bool success, const std::optional<std::string>& m) {
                answer(*shared, success, m);
            });
        }
    }

    const Mode mode_;
    std::optional<std::string> message_;
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IObject> object_;
    std::mutex mutex_;
    std::vector<Call> calls_;
    std::vector<Answer> held_;
};

}  // namespace mavu::testing
