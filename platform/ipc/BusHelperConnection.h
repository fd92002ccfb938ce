#pragma once

#include "platform/ipc/HelperConnection.h"

namespace mavu::ipc {

// Connections to the helper daemon over the system bus (DBUS_SYSTEM_BUS_ADDRESS, when set,
// names it). Every connect() opens a bus connection of its own, served by a thread of its
// own: replies, error handlers and the two handlers run there.
//
// Interruption: the daemon's bus name loses its owner while the connection stands.
// Invalidation: the bus connection fails or the bus closes it.
// A message that cannot be delivered (no such service, access denied, the daemon left
// without answering) reaches its proxy's error handler with the bus error's message.
class BusHelperConnector final : public HelperConnector {
  public:
    Attempt connect() override;
};

}  // namespace mavu::ipc
