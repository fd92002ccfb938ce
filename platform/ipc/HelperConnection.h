#pragma once

#include <functional>
#include <memory>
#include <string>

#include "protocol/HelperProtocol.h"

namespace mavu::ipc {

// Why a message could not be delivered or answered, as a sentence for the user.
struct ConnectionError {
    std::string name;  // machine-readable kind, e.g. a bus error name
    std::string localizedDescription;
};

using ErrorHandler = std::function<void(const ConnectionError&)>;
using Handler = std::function<void()>;

// One client connection to the helper daemon.
//
// Threads: the owner calls every member from one thread. Handlers, replies and error
// handlers run on the connection's own thread (an error handler also runs on the caller's
// thread, before the call returns, when a message cannot even be sent); they must not call
// back into the connection and should only hand work over to the owner's queue.
//
// Every message sent through a proxy ends in exactly one of its reply or the proxy's error
// handler, except when the owner invalidates the connection: then what is still pending is
// dropped without either being called (the callbacks are destroyed).
class HelperConnection {
  public:
    virtual ~HelperConnection() = default;

    // Set both before resume(); they are not changed afterwards.
    // Invalidation: the connection is dead for good (the bus failed or closed it). Called at
    // most once, never after invalidate().
    virtual void setInvalidationHandler(Handler handler) = 0;
    // Interruption: the daemon went away while the connection stood (it may be started
    // again by the next message). Never after invalidate() or an invalidation.
    virtual void setInterruptionHandler(Handler handler) = 0;

    // Starts delivering replies and events.
    virtual void resume() = 0;
    // Closes the connection from the owner's side; no handler runs afterwards and later
    // messages fail through their error handler.
    virtual void invalidate() = 0;

    // A proxy whose messages report delivery failures to errorHandler. Never null.
    virtual std::shared_ptr<protocol::HelperProtocol> remoteObjectProxy(
        ErrorHandler errorHandler) = 0;
};

// Opens connections to the helper daemon's bus name.
class HelperConnector {
  public:
    struct Attempt {
        std::shared_ptr<HelperConnection> connection;  // null when the bus is unreachable
        std::string failure;                           // why, when connection is null
    };

    virtual ~HelperConnector() = default;
    virtual Attempt connect() = 0;
};

}  // namespace mavu::ipc
