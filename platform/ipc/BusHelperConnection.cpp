#include "platform/ipc/BusHelperConnection.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <sdbus-c++/sdbus-c++.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace mavu::ipc {
namespace {

// The bound on every call is the caller's business (it gives up after its own time-out);
// the bus itself waits for ever, as the daemon may still answer late.
constexpr std::uint64_t kWaitForEver = std::numeric_limits<std::uint64_t>::max();

constexpr char kClosedName[] = "org.freedesktop.DBus.Error.Disconnected";
constexpr char kClosedDescription[] = "The connection to the helper was closed.";

ConnectionError toConnectionError(const sdbus::Error& error) {
    return {error.getName(), error.getMessage().empty() ? error.getName() : error.getMessage()};
}

ConnectionError closedError() {
    return {kClosedName, kClosedDescription};
}

// An optional string travels as an array of zero or one strings.
std::optional<std::string> optionalString(std::vector<std::string> values) {
    if (values.empty()) {
        return std::nullopt;
    }
    return std::move(values.front());
}

class BusConnection final : public HelperConnection,
                            public std::enable_shared_from_this<BusConnection> {
  public:
    explicit BusConnection(std::unique_ptr<sdbus::IConnection> bus) : bus_(std::move(bus)) {
        proxy_ = sdbus::createProxy(*bus_, protocol::kBusName, protocol::kObjectPath);
        ownerWatch_ = bus_->addMatch(
            std::string("type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/"
                        "DBus',interface='org.freedesktop.DBus',member='NameOwnerChanged',"
                        "arg0='") +
                protocol::kBusName + "'",
            [this](sdbus::Message& message) { onNameOwnerChanged(message); });
        wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd_ < 0) {
            throw std::system_error(errno, std::generic_category(), "eventfd");
        }
    }

    ~BusConnection() override {
        shutDown();
        close(wakeFd_);
    }

    void setInvalidationHandler(Handler handler) override { onInvalidated_ = std::move(handler); }
    void setInterruptionHandler(Handler handler) override { onInterrupted_ = std::move(handler); }

    void resume() override {
        if (!loop_.joinable() && bus_) {
            loop_ = std::thread([this] { run(); });
        }
    }

    void invalidate() override {
        ended_ = true;
        shutDown();
    }

    std::shared_ptr<protocol::HelperProtocol> remoteObjectProxy(ErrorHandler errorHandler) override;

    // Sends member with args; callback takes (const sdbus::Error*, reply values...).
    template <class Callback, class... Args>
    void send(const char* member, const ErrorHandler& onError, Callback callback,
              const Args&... args) {
        if (!proxy_) {
            onError(closedError());
            return;
        }
        try {
            proxy_->callMethodAsync(member)
                .onInterface(protocol::kInterface)
                .withTimeout(kWaitForEver)
                .withArguments(args...)
                .uponReplyInvoke(std::move(callback));
        } catch (const sdbus::Error& error) {
            onError(toConnectionError(error));
            return;
        }
        // The loop may be asleep on poll data taken before this message was queued.
        wake();
    }

  private:
    void onNameOwnerChanged(sdbus::Message& message) {
        std::string name, oldOwner, newOwner;
        try {
            message >> name >> oldOwner >> newOwner;
        } catch (const sdbus::Error&) {
            return;
        }
        if (!oldOwner.empty() && !ended_ && onInterrupted_) {
            onInterrupted_();
        }
    }

    // The connection's thread. sdbus-c++'s own loop ends the process with an uncaught
    // exception when the bus goes away, so this one catches that and reports it as the
    // invalidation it is.
    void run() {
        try {
            while (!stopping_) {
                if (bus_->processPendingRequest()) {
                    continue;
                }
                const auto poll = bus_->getEventLoopPollData();
                pollfd fds[] = {{poll.fd, poll.events, 0}, {wakeFd_, POLLIN, 0}};
                if (::poll(fds, 2, poll.getPollTimeout()) < 0 && errno != EINTR) {
                    throw std::system_error(errno, std::generic_category(), "poll");
                }
                if (fds[1].revents & POLLIN) {
                    std::uint64_t count;
                    [[maybe_unused]] auto n = read(wakeFd_, &count, sizeof count);
                }
            }
        } catch (const std::exception&) {
            if (!stopping_ && !ended_.exchange(true) && onInvalidated_) {
                onInvalidated_();
            }
        }
    }

    void wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = write(wakeFd_, &one, sizeof one);
    }

    // Stops the thread first, so nothing runs while the bus objects go; then drops them,
    // proxy before bus. Pending calls are dropped with the proxy.
    void shutDown() {
        stopping_ = true;
        wake();
        if (loop_.joinable()) {
            loop_.join();
        }
        ownerWatch_.reset();
        proxy_.reset();
        bus_.reset();
    }

    std::unique_ptr<sdbus::IConnection> bus_;
    std::unique_ptr<sdbus::IProxy> proxy_;
    sdbus::Slot ownerWatch_;
    Handler onInvalidated_;
    Handler onInterrupted_;
    int wakeFd_ = -1;
    std::thread loop_;
    std::atomic<bool> stopping_{false};
    // Invalidated, by the owner or by the bus: no handler runs any more.
    std::atomic<bool> ended_{false};
};

// The reply of Arm, Disarm and Heartbeat: (b success, as message).
auto messageCallback(protocol::MessageReply reply, ErrorHandler onError) {
    return [reply = std::move(reply), onError = std::move(onError)](
               const sdbus::Error* error, bool success, std::vector<std::string> message) {
        if (error) {
            onError(toConnectionError(*error));
        } else if (reply) {
            reply(success, optionalString(std::move(message)));
        }
    };
}

// Holds the connection weakly: a proxy kept past its connection fails its messages.
class BusProxy final : public protocol::HelperProtocol {
  public:
    BusProxy(std::weak_ptr<BusConnection> connection, ErrorHandler onError)
        : connection_(std::move(connection)), onError_(std::move(onError)) {}

    void armWithDurationSeconds(double durationSeconds, bool hasExternalDisplay,
                                protocol::MessageReply reply) override {
        withConnection([&](BusConnection& c) {
            c.send("Arm", onError_, messageCallback(std::move(reply), onError_), durationSeconds,
                   hasExternalDisplay);
        });
    }

    void disarm(protocol::MessageReply reply) override {
        withConnection([&](BusConnection& c) {
            c.send("Disarm", onError_, messageCallback(std::move(reply), onError_));
        });
    }

    void heartbeat(bool hasExternalDisplay, protocol::MessageReply reply) override {
        withConnection([&](BusConnection& c) {
            c.send("Heartbeat", onError_, messageCallback(std::move(reply), onError_),
                   hasExternalDisplay);
        });
    }

    void forceSafeOff(protocol::EmptyReply reply) override {
        withConnection([&](BusConnection& c) {
            c.send("ForceSafeOff", onError_,
                   [reply = std::move(reply), onError = onError_](const sdbus::Error* error) {
                       if (error) {
                           onError(toConnectionError(*error));
                       } else if (reply) {
                           reply();
                       }
                   });
        });
    }

    void status(protocol::StatusReply reply) override {
        withConnection([&](BusConnection& c) {
            c.send("Status", onError_,
                   [reply = std::move(reply), onError = onError_](
                       const sdbus::Error* error, bool armed, bool lidClosed, bool activeHold,
                       double durationSeconds, std::vector<std::string> message) {
                       if (error) {
                           onError(toConnectionError(*error));
                       } else if (reply) {
                           reply({armed, lidClosed, activeHold, durationSeconds,
                                  optionalString(std::move(message))});
                       }
                   });
        });
    }

    void helperVersion(protocol::VersionReply reply) override {
        withConnection([&](BusConnection& c) {
            c.send("HelperVersion", onError_,
                   [reply = std::move(reply), onError = onError_](
                       const sdbus::Error* error, std::string shortVersion, std::string build) {
                       if (error) {
                           onError(toConnectionError(*error));
                       } else if (reply) {
                           reply({std::move(shortVersion), std::move(build)});
                       }
                   });
        });
    }

  private:
    template <class F>
    void withConnection(F f) {
        if (auto connection = connection_.lock()) {
            f(*connection);
        } else {
            onError_(closedError());
        }
    }

    std::weak_ptr<BusConnection> connection_;
    ErrorHandler onError_;
};

std::shared_ptr<protocol::HelperProtocol> BusConnection::remoteObjectProxy(
    ErrorHandler errorHandler) {
    if (!errorHandler) {
        errorHandler = [](const ConnectionError&) {};
    }
    return std::make_shared<BusProxy>(weak_from_this(), std::move(errorHandler));
}

}  // namespace

HelperConnector::Attempt BusHelperConnector::connect() {
    try {
        return {std::make_shared<BusConnection>(sdbus::createSystemBusConnection()), {}};
    } catch (const sdbus::Error& error) {
        return {nullptr, toConnectionError(error).localizedDescription};
    } catch (const std::system_error& error) {
        return {nullptr, error.what()};
    }
}

}  // namespace mavu::ipc
