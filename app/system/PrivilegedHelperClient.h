#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/system/Observable.h"
#include "platform/dispatch/Queue.h"
#include "platform/ipc/HelperConnection.h"
#include "platform/services/ServiceManagement.h"
#include "protocol/HelperProtocol.h"

namespace mavu::app {

// The app's only gateway to the helper daemon: its registration with the service manager,
// the bus connection to it, and every reply-based call turned into an operation that
// completes, within 3.0 seconds, whatever the daemon does.
//
// Main queue only. Every asynchronous operation takes a completion that is called exactly
// once, on the main queue, and never before the operation has returned to its caller.
class PrivilegedHelperClient : public std::enable_shared_from_this<PrivilegedHelperClient> {
  public:
    struct ArmResult {
        bool ok = false;
        std::optional<std::string> message;
        bool operator==(const ArmResult&) const = default;
    };
    using ReadyCompletion = std::function<void(bool)>;
    using ArmCompletion = std::function<void(ArmResult)>;
    using DoneCompletion = std::function<void()>;
    using VersionCompletion = std::function<void(std::optional<protocol::HelperVersion>)>;
    using MessageHandler = std::function<void(const std::string&)>;

    static constexpr double kCallTimeoutSeconds = 3.0;
    static constexpr double kSettleDelaySeconds = 0.5;

    // The connector is kept for the client's life; the daemon's service handle is taken from
    // services once, now. mainQueue must outlive the client and every completion it was
    // given (a call dropped with its connection still completes there).
    static std::shared_ptr<PrivilegedHelperClient> create(
        dispatch::MainQueue& mainQueue, services::ServiceManagement& services,
        std::shared_ptr<ipc::HelperConnector> connector);

    PrivilegedHelperClient(const PrivilegedHelperClient&) = delete;
    PrivilegedHelperClient& operator=(const PrivilegedHelperClient&) = delete;

    // Published fields.
    const Observable<bool>& helperReady() const { return helperReady_; }
    const Observable<bool>& helperNeedsApproval() const { return helperNeedsApproval_; }
    const Observable<std::optional<std::string>>& lastError() const { return lastError_; }
    const Observable<bool>& isUninstalled() const { return isUninstalled_; }

    const std::shared_ptr<ipc::HelperConnection>& connection() const { return connection_; }
    const std::shared_ptr<services::AppService>& service() const { return service_; }

    // True only when the daemon is enabled and a connection exists; on false,
    // lastError, helperNeedsApproval and helperReady tell why.
    void ensureHelperReady(ReadyCompletion completion);
    // Unregisters the daemon, then answers as ensureHelperReady().
    void restartHelper(ReadyCompletion completion);
    // True when the daemon was unregistered; isUninstalled then stays true.
    void uninstallHelper(ReadyCompletion completion);

    // The daemon's answer, or (false, none) when it is not ready, unreachable or silent.
    void arm(double durationSeconds, bool hasExternalDisplay, ArmCompletion completion);
    // Complete after the daemon's answer, a delivery error or the time-out.
    void disarm(DoneCompletion completion);
    void forceSafeOff(DoneCompletion completion);
    // None when the daemon is unreachable or silent.
    void helperVersion(VersionCompletion completion);
    // Fire and forget, no time-out: onMessage runs on the main queue only when the reply
    // carries a message.
    void heartbeat(bool hasExternalDisplay, MessageHandler onMessage = {});

    // A proxy whose undeliverable messages reach errorHandler (on the bus thread), or null
    // when no connection can be made. Readiness is not consulted.
    std::shared_ptr<protocol::HelperProtocol> helperProxy(ipc::ErrorHandler errorHandler);
    // After it, connection() is set unless the bus cannot be reached.
    void connectIfNeeded();

  private:
    PrivilegedHelperClient(dispatch::MainQueue& mainQueue, services::ServiceManagement& services,
                           std::shared_ptr<ipc::HelperConnector> connector);

    // Returns why no connection could be made, if so.
    std::optional<std::string> connect();
    void becomeReady(ReadyCompletion& completion);
    void afterSettle(ReadyCompletion completion);
    void dropConnection(bool invalidate);
    // Unregisters the daemon; on success drops the connection and goes on with then, on
    // failure leaves failurePrefix and the reason in lastError and completes with false.
    using AfterUnregistering = std::function<void(PrivilegedHelperClient&, ReadyCompletion)>;
    void unregisterDaemon(const char* failurePrefix, ReadyCompletion completion,
                          AfterUnregistering then);
    template <class T>
    void finish(std::function<void(T)> completion, T value);
    void finish(DoneCompletion completion);

    dispatch::MainQueue& mainQueue_;
    std::shared_ptr<ipc::HelperConnector> connector_;
    std::shared_ptr<services::AppService> service_;
    std::shared_ptr<ipc::HelperConnection> connection_;
    // Tells a late handler of an earlier connection from one of the current connection.
    std::uint64_t connectionGeneration_ = 0;

    Observable<bool> helperReady_{false};
    Observable<bool> helperNeedsApproval_{false};
    Observable<std::optional<std::string>> lastError_{std::nullopt};
    Observable<bool> isUninstalled_{false};
};

}  // namespace mavu::app
