// The simulator's loopback sockets: one way to listen, send and receive for
// the plain, VXI-11 and HiSLIP servers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace xvrsim {

// A socket of `type` (SOCK_STREAM or SOCK_DGRAM, optionally with
// SOCK_NONBLOCK) bound to 127.0.0.1:port, port 0 taking any free one, and
// listening when a stream; -1 with the reason in *error.
int ListenLoopback(int type, int port, std::string *error);
uint16_t LocalPort(int fd);

// The whole buffer, or false once the connection ended; `flags` are added
// to send's (MSG_MORE).
bool SendAll(int fd, const void *data, size_t size, int flags = 0);
bool SendAll(int fd, const std::string &data);
bool ReceiveExact(int fd, void *into, size_t size);

}  // namespace xvrsim
