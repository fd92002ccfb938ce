#include "app/system/PrivilegedHelperClient.h"

#include <variant>

#include "app/system/ResumeOnce.h"
#include "platform/dispatch/Time.h"

namespace mavu::app {
namespace {

constexpr char kUninstalled[] = "MAVU was uninstalled. Quit and reopen MAVU to use it again.";
constexpr char kApprove[] = "Approve MAVU in System Settings → General → Login Items.";
constexpr char kUnknownStatus[] = "Unknown helper status.";
constexpr char kBlocked[] =
    "macOS blocked the helper until it is approved in System Settings → General → Login Items "
    "& Extensions. (";
constexpr char kCouldNotRegister[] = "Could not register helper: ";
constexpr char kOneTimeApproval[] =
    "One-time approval is required in System Settings → General → Login Items.";
constexpr char kCouldNotStop[] = "Could not stop the helper: ";
constexpr char kCouldNotRemove[] = "Could not remove the helper: ";
constexpr char kCouldNotConnect[] = "Could not connect to the helper: ";
constexpr char kBusUnreachable[] = "The system bus cannot be reached.";

using Done = std::monostate;

dispatch::Duration callTimeout() {
    return dispatch::fromSeconds(PrivilegedHelperClient::kCallTimeoutSeconds);
}

// The guard of a call whose caller only waits for it to be over.
std::shared_ptr<ResumeOnce<Done>> doneOnce(dispatch::MainQueue& main,
                                           PrivilegedHelperClient::DoneCompletion completion) {
    return ResumeOnce<Done>::create(main, callTimeout(), Done{},
                                    [completion = std::move(completion)](Done) {
                                        if (completion) {
                                            completion();
                                        }
                                    });
}

}  // namespace

std::shared_ptr<PrivilegedHelperClient> PrivilegedHelperClient::create(
    dispatch::MainQueue& mainQueue, services::ServiceManagement& services,
    std::shared_ptr<ipc::HelperConnector> connector) {
    return std::shared_ptr<PrivilegedHelperClient>(
        new PrivilegedHelperClient(mainQueue, services, std::move(connector)));
}

PrivilegedHelperClient::PrivilegedHelperClient(dispatch::MainQueue& mainQueue,
                                               services::ServiceManagement& services,
                                               std::shared_ptr<ipc::HelperConnector> connector)
    : mainQueue_(mainQueue),
      connector_(std::move(connector)),
      service_(services.daemonService(protocol::kServicePlistName)) {}

template <class T>
void PrivilegedHelperClient::finish(std::function<void(T)> completion, T value) {
    mainQueue_.async([completion = std::move(completion), value = std::move(value)] {
        if (completion) {
            completion(value);
        }
    });
}

void PrivilegedHelperClient::finish(DoneCompletion completion) {
    mainQueue_.async([completion = std::move(completion)] {
        if (completion) {
            completion();
        }
    });
}

// --- Registration -------------------------------------------------------------------------

void PrivilegedHelperClient::ensureHelperReady(ReadyCompletion completion) {
    if (isUninstalled_.get()) {
        lastError_.set(kUninstalled);
        finish(std::move(completion), false);
        return;
    }

    const int status = service_->status();
    if (status == services::kStatusEnabled) {
        becomeReady(completion);
        return;
    }
    if (status == services::kStatusRequiresApproval) {
        helperReady_.set(false);
        helperNeedsApproval_.set(true);
        lastError_.set(kApprove);
        finish(std::move(completion), false);
        return;
    }
    if (status != services::kStatusNotRegistered && status != services::kStatusNotFound) {
        lastError_.set(kUnknownStatus);
        finish(std::move(completion), false);
        return;
    }

    if (const auto error = service_->registerService()) {
        // Only the domain is telling; codes differ between releases of the service manager.
        if (error->domain == services::kServiceErrorDomain ||
            error->domain == services::kPosixErrorDomain) {
            helperNeedsApproval_.set(true);
            lastError_.set(kBlocked + error->localizedDescription + ")");
        } else {
            lastError_.set(kCouldNotRegister + error->localizedDescription);
        }
    }

    // A fresh registration takes a moment to show in the status.
    mainQueue_.asyncAt(dispatch::addSaturating(mainQueue_.clock().monotonicNow(),
                                               dispatch::fromSeconds(kSettleDelaySeconds)),
                       [weak = weak_from_this(), completion = std::move(completion)]() mutable {
                           if (auto self = weak.lock()) {
                               self->afterSettle(std::move(completion));
                           } else if (completion) {
                               completion(false);
                           }
                       });
}

void PrivilegedHelperClient::afterSettle(ReadyCompletion completion) {
    const int status = service_->status();
    if (status == services::kStatusRequiresApproval) {
        helperNeedsApproval_.set(true);
        helperReady_.set(false);
        lastError_.set(kOneTimeApproval);
        finish(std::move(completion), false);
    } else if (status == services::kStatusEnabled) {
        becomeReady(completion);
    } else {
        helperReady_.set(false);
        finish(std::move(completion), false);
    }
}

void PrivilegedHelperClient::becomeReady(ReadyCompletion& completion) {
    // Ready means a connection stands; a bus that cannot be reached is said so.
    if (const auto failure = connect()) {
        helperReady_.set(false);
        helperNeedsApproval_.set(false);
        lastError_.set(kCouldNotConnect + *failure);
        finish(std::move(completion), false);
        return;
    }
    helperReady_.set(true);
    helperNeedsApproval_.set(false);
    finish(std::move(completion), true);
}

void PrivilegedHelperClient::restartHelper(ReadyCompletion completion) {
    unregisterDaemon(kCouldNotStop, std::move(completion),
                     [](PrivilegedHelperClient& self, ReadyCompletion completion) {
                         self.ensureHelperReady(std::move(completion));
                     });
}

void PrivilegedHelperClient::uninstallHelper(ReadyCompletion completion) {
    unregisterDaemon(kCouldNotRemove, std::move(completion),
                     [](PrivilegedHelperClient& self, ReadyCompletion completion) {
                         self.isUninstalled_.set(true);
                         self.finish(std::move(completion), true);
                     });
}

void PrivilegedHelperClient::unregisterDaemon(const char* failurePrefix, ReadyCompletion completion,
                                              AfterUnregistering then) {
    service_->unregisterService(
        [weak = weak_from_this(), failurePrefix, completion = std::move(completion),
         then = std::move(then)](std::optional<services::ServiceError> error) mutable {
            auto self = weak.lock();
            if (!self) {
                if (completion) {
                    completion(false);
                }
                return;
            }
            if (error) {
                self->lastError_.set(failurePrefix + error->localizedDescription);
                self->finish(std::move(completion), false);
                return;
            }
            self->dropConnection(true);
            self->helperReady_.set(false);
            then(*self, std::move(completion));
        });
}

// --- Connection ---------------------------------------------------------------------------

void PrivilegedHelperClient::connectIfNeeded() {
    connect();
}

std::optional<std::string> PrivilegedHelperClient::connect() {
    if (connection_) {
        return std::nullopt;
    }
    auto attempt = connector_->connect();
    if (!attempt.connection) {
        return attempt.failure.empty() ? std::string(kBusUnreachable) : attempt.failure;
    }

    // Both handlers run on the bus thread and only hand over to the main queue. A handler
    // of a connection already replaced must not drop its successor.
    const std::uint64_t generation = ++connectionGeneration_;
    dispatch::MainQueue* main = &mainQueue_;
    std::weak_ptr<PrivilegedHelperClient> weak = weak_from_this();
    attempt.connection->setInvalidationHandler([main, weak, generation] {
        main->async([weak, generation] {
            auto self = weak.lock();
            if (self && self->connection_ && self->connectionGeneration_ == generation) {
                self->connection_.reset();
                self->helperReady_.set(false);
            }
        });
    });
    attempt.connection->setInterruptionHandler([main, weak, generation] {
        main->async([weak, generation] {
            auto self = weak.lock();
            if (self && self->connection_ && self->connectionGeneration_ == generation) {
                self->connection_.reset();
            }
        });
    });
    attempt.connection->resume();
    connection_ = std::move(attempt.connection);
    return std::nullopt;
}

void PrivilegedHelperClient::dropConnection(bool invalidate) {
    if (auto connection = std::exchange(connection_, nullptr); connection && invalidate) {
        connection->invalidate();
    }
}

std::shared_ptr<protocol::HelperProtocol> PrivilegedHelperClient::helperProxy(
    ipc::ErrorHandler errorHandler) {
    if (!connection_) {
        connectIfNeeded();
    }
    if (!connection_) {
        return nullptr;
    }
    return connection_->remoteObjectProxy(std::move(errorHandler));
}

// --- Calls --------------------------------------------------------------------------------
// Replies and error handlers run on the bus thread: they touch only their ResumeOnce and
// hand every change of published state to the main queue, ahead of the resumption, so the
// caller sees the state its result goes with. Those changes happen even when the time-out
// has already decided the result.

void PrivilegedHelperClient::arm(double durationSeconds, bool hasExternalDisplay,
                                 ArmCompletion completion) {
    ensureHelperReady([weak = weak_from_this(), durationSeconds, hasExternalDisplay,
                       completion = std::move(completion)](bool ready) mutable {
        auto self = weak.lock();
        if (!self || !ready) {
            // Whatever ensureHelperReady() left in lastError explains why.
            if (completion) {
                completion(ArmResult{});
            }
            return;
        }

        auto once = ResumeOnce<ArmResult>::create(self->mainQueue_, callTimeout(), ArmResult{},
                                                  std::move(completion));
        dispatch::MainQueue* main = &self->mainQueue_;
        auto proxy = self->helperProxy([once, main, weak](const ipc::ConnectionError& error) {
            main->async([weak, description = error.localizedDescription] {
                if (auto self = weak.lock()) {
                    self->lastError_.set(description);
                }
            });
            once->resume(ArmResult{});
        });
        if (!proxy) {
            once->resumeWithFallback();
            return;
        }
        proxy->armWithDurationSeconds(
            durationSeconds, hasExternalDisplay,
            [once, main, weak](bool ok, std::optional<std::string> message) {
                main->async([weak, ok, message] {
                    if (auto self = weak.lock()) {
                        self->lastError_.set(ok ? std::nullopt : message);
                    }
                });
                once->resume(ArmResult{ok, std::move(message)});
            });
    });
}

void PrivilegedHelperClient::disarm(DoneCompletion completion) {
    auto once = doneOnce(mainQueue_, std::move(completion));
    auto proxy = helperProxy([once](const ipc::ConnectionError&) { once->resume(Done{}); });
    if (!proxy) {
        once->resumeWithFallback();
        return;
    }
    dispatch::MainQueue* main = &mainQueue_;
    proxy->disarm(
        [once, main, weak = weak_from_this()](bool ok, std::optional<std::string> message) {
            if (!ok) {
                main->async([weak, message] {
                    if (auto self = weak.lock()) {
                        self->lastError_.set(message);
                    }
                });
            }
            once->resume(Done{});
        });
}

void PrivilegedHelperClient::forceSafeOff(DoneCompletion completion) {
    auto once = doneOnce(mainQueue_, std::move(completion));
    auto proxy = helperProxy([once](const ipc::ConnectionError&) { once->resume(Done{}); });
    if (!proxy) {
        once->resumeWithFallback();
        return;
    }
    proxy->forceSafeOff([once] { once->resume(Done{}); });
}

void PrivilegedHelperClient::helperVersion(VersionCompletion completion) {
    using Version = std::optional<protocol::HelperVersion>;
    auto once =
        ResumeOnce<Version>::create(mainQueue_, callTimeout(), std::nullopt, std::move(completion));
    auto proxy = helperProxy([once](const ipc::ConnectionError&) { once->resume(std::nullopt); });
    if (!proxy) {
        once->resumeWithFallback();
        return;
    }
    proxy->helperVersion([once](protocol::HelperVersion version) { once->resume(version); });
}

void PrivilegedHelperClient::heartbeat(bool hasExternalDisplay, MessageHandler onMessage) {
    auto proxy = helperProxy([](const ipc::ConnectionError&) {});
    if (!proxy) {
        return;
    }
    dispatch::MainQueue* main = &mainQueue_;
    proxy->heartbeat(hasExternalDisplay, [main, onMessage = std::move(onMessage)](
                                             bool, std::optional<std::string> message) {
        if (message && onMessage) {
            main->async([onMessage, message = *message] { onMessage(message); });
        }
    });
}

}  // namespace mavu::app
