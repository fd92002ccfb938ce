#pragma once

#include <systemd/sd-bus.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// What the attack programs share: the private system bus's socket, and a call to the
// helper over a bus connection made from a given socket.
namespace mavu::attacks {

// Connects the stream socket fd to the system bus named by DBUS_SYSTEM_BUS_ADDRESS
// ("unix:path=..."). The bus takes the caller of connect() for the connection's process.
bool connectToBus(int fd);

// Finishes the handshake on fd, calls the helper's member (Arm for 3600 s, or one
// without arguments) and prints "<member> ok" or "<member> error <D-Bus error name>".
void callHelper(int fd, const char* member);

}  // namespace mavu::attacks
