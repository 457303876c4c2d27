// IPv4 sockets for the network driver: the little it needs, nothing more.
// Error codes are the system's own (errno / WSAGetLastError), ready for
// platform::SystemErrorText.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace xvr::platform {

// A socket (a descriptor or a Winsock SOCKET); kInvalidSocket when none.
using SocketHandle = uintptr_t;
constexpr SocketHandle kInvalidSocket = ~static_cast<SocketHandle>(0);

// Socket types as the driver names them (the values of both systems).
constexpr uint32_t kSocketStream = 1;
constexpr uint32_t kSocketDatagram = 2;

// Readies the socket layer (WSAStartup 1.1 on Windows, once per call, never
// cleaned up); 0 or the error code.
uint32_t SocketStartup();

// A host text as an IPv4 address.  A text inet_addr accepts ("10.0.0.5",
// "127.1") is taken as written; anything else is looked up by name and
// *dotted becomes the first address found.  *address is in network byte order.  False when nothing was found.
bool ResolveIPv4(const std::string &host, std::string *dotted, uint32_t *address);

// A new socket of the given type; 0 or the error code.
uint32_t SocketCreate(uint32_t type, SocketHandle *socket);

// Connects to address (network order) and port (host order).  timeoutMs
// above 0 puts the socket into non-blocking mode for good and bounds the
// wait; otherwise the socket stays blocking and the system decides.
// 0 or the error code (SocketTimedOutError() when the time ran out).
uint32_t SocketConnect(SocketHandle socket, uint32_t address, uint16_t port, int32_t timeoutMs);

// Sends small writes at once instead of collecting them.
void SocketSetNoDelay(SocketHandle socket);

// Bytes that a receive would deliver now; false with *error when the query fails.
bool SocketBytesWaiting(SocketHandle socket, uint32_t *count, uint32_t *error);

// Both return the bytes moved, or -1 with *error.  Receive never waits, in
// either socket mode: with nothing there it fails with a would-block error.
// A receive of 0 on a stream socket is the end of the stream.  Send never
// raises SIGPIPE.
int64_t SocketReceive(SocketHandle socket, uint8_t *buffer, size_t size, uint32_t *error);
int64_t SocketSend(SocketHandle socket, const uint8_t *data, size_t size, uint32_t *error);

// Waits until the socket is readable (or writable) or has an error or end
// of stream pending, for at most ms milliseconds: 1 ready, 0 time up, -1
// failure with *error.
int SocketWait(SocketHandle socket, bool forWrite, uint32_t ms, uint32_t *error);

// A stream socket listening on address (network order) and port (host
// order, 0: a free one), non-blocking; 0 or the error code.
uint32_t SocketListen(uint32_t address, uint16_t port, SocketHandle *listener);
// A connection waiting at the listener, non-blocking like it; 0 or the error
// code (a would-block code when none waits).
uint32_t SocketAccept(SocketHandle listener, SocketHandle *connection);
// The address (network order) and port (host order) the socket is bound to;
// 0 or the error code.
uint32_t SocketLocalPort(SocketHandle socket, uint32_t *address, uint16_t *port);

void SocketShutdownSend(SocketHandle socket);
void SocketClose(SocketHandle socket);

// Codes the driver must recognise or report.
bool SocketWouldBlock(uint32_t error);
uint32_t SocketTimedOutError();
// Reported for a connection that the peer closed or reset.
uint32_t SocketResetError();
// True for every code that means the connection is gone (reset, aborted,
// broken pipe, shut down).
bool SocketConnectionLost(uint32_t error);

}  // namespace xvr::platform
