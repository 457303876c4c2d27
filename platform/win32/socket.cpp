#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <cstring>

namespace xvr::platform {

namespace {

SOCKET Sock(SocketHandle socket) { return static_cast<SOCKET>(socket); }

uint32_t LastSocketError() { return static_cast<uint32_t>(WSAGetLastError()); }

int ClampSize(size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

timeval Limit(uint32_t ms) {
    timeval tv;
    tv.tv_sec = static_cast<long>(ms / 1000);
    tv.tv_usec = static_cast<long>((ms % 1000) * 1000);
    return tv;
}

}  // namespace

uint32_t SocketStartup() {
    WSADATA data;
    if (WSAStartup(0x0101, &data) != 0) return LastSocketError();
    return 0;
}

bool ResolveIPv4(const std::string &host, std::string *dotted, uint32_t *address) {
    unsigned long a = inet_addr(host.c_str());
    if (a != INADDR_NONE) {
        *dotted = host;
        *address = a;
        return true;
    }
    const hostent *entry = gethostbyname(host.c_str());
    if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0])
        return false;
    in_addr first;
    memcpy(&first, entry->h_addr_list[0], sizeof first);
    const char *text = inet_ntoa(first);
    if (!text) return false;
    *dotted = text;
    *address = first.s_addr;
    return true;
}

uint32_t SocketCreate(uint32_t type, SocketHandle *socket) {
    SOCKET s = ::socket(AF_INET, static_cast<int>(type), 0);
    if (s == INVALID_SOCKET) {
        *socket = kInvalidSocket;
        return LastSocketError();
    }
    // Not inherited by programs the host starts.
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    *socket = static_cast<SocketHandle>(s);
    return 0;
}

uint32_t SocketConnect(SocketHandle socket, uint32_t address, uint16_t port, int32_t timeoutMs) {
    SOCKET s = Sock(socket);
    u_long nonBlocking = timeoutMs > 0 ? 1 : 0;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = address;
    if (::connect(s, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) == 0) return 0;
    uint32_t error = LastSocketError();
    if (error != WSAEWOULDBLOCK || timeoutMs <= 0) return error;
    // A failed attempt shows in the exception set; watch it too so that a
    // refusal ends the wait at once.
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval tv = Limit(static_cast<uint32_t>(timeoutMs));
    int rc = select(0, nullptr, &writable, &failed, &tv);
    if (rc < 0) return LastSocketError();
    if (rc == 0) return SocketTimedOutError();
    int soError = 0;
    int len = sizeof soError;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&soError), &len) != 0)
        return LastSocketError();
    if (soError == 0 && FD_ISSET(s, &failed)) return WSAECONNREFUSED;
    return static_cast<uint32_t>(soError);
}

void SocketSetNoDelay(SocketHandle socket) {
    BOOL on = TRUE;
    setsockopt(Sock(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on),
               sizeof on);
}

bool SocketBytesWaiting(SocketHandle socket, uint32_t *count, uint32_t *error) {
    u_long n = 0;
    if (ioctlsocket(Sock(socket), FIONREAD, &n) != 0) {
        *error = LastSocketError();
        return false;
    }
    *count = static_cast<uint32_t>(n);
    return true;
}

int64_t SocketReceive(SocketHandle socket, uint8_t *buffer, size_t size, uint32_t *error) {
    // A blocking socket would wait in recv: look first.  Nothing waiting and
    // not readable means no data, no end of stream and no error yet.
    u_long waiting = 0;
    if (ioctlsocket(Sock(socket), FIONREAD, &waiting) == 0 && waiting == 0) {
        uint32_t ignored = 0;
        if (SocketWait(socket, false, 0, &ignored) <= 0) {
            *error = WSAEWOULDBLOCK;
            return -1;
        }
    }
    int n = ::recv(Sock(socket), reinterpret_cast<char *>(buffer), ClampSize(size), 0);
    if (n == SOCKET_ERROR) {
        *error = LastSocketError();
        return -1;
    }
    return n;
}

int64_t SocketSend(SocketHandle socket, const uint8_t *data, size_t size, uint32_t *error) {
    int n = ::send(Sock(socket), reinterpret_cast<const char *>(data), ClampSize(size), 0);
    if (n == SOCKET_ERROR) {
        *error = LastSocketError();
        return -1;
    }
    return n;
}

int SocketWait(SocketHandle socket, bool forWrite, uint32_t ms, uint32_t *error) {
    SOCKET s = Sock(socket);
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    timeval tv = Limit(ms);
    int rc = select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, &tv);
    if (rc == SOCKET_ERROR) {
        *error = LastSocketError();
        return -1;
    }
    return rc > 0 ? 1 : 0;
}

uint32_t SocketListen(uint32_t address, uint16_t port, SocketHandle *listener) {
    *listener = kInvalidSocket;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return LastSocketError();
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    u_long nonBlocking = 1;
    if (::bind(s, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0 ||
        ::listen(s, 8) != 0 || ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        const uint32_t code = LastSocketError();
        closesocket(s);
        return code;
    }
    *listener = static_cast<SocketHandle>(s);
    return 0;
}

uint32_t SocketAccept(SocketHandle listener, SocketHandle *connection) {
    *connection = kInvalidSocket;
    SOCKET s = ::accept(Sock(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET) return LastSocketError();
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    // An accepted socket inherits the listener's mode; set it all the same.
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    *connection = static_cast<SocketHandle>(s);
    return 0;
}

uint32_t SocketLocalPort(SocketHandle socket, uint32_t *address, uint16_t *port) {
    sockaddr_in local{};
    int length = sizeof local;
    if (::getsockname(Sock(socket), reinterpret_cast<sockaddr *>(&local), &length) != 0)
        return LastSocketError();
    *address = local.sin_addr.s_addr;
    *port = ntohs(local.sin_port);
    return 0;
}

void SocketShutdownSend(SocketHandle socket) { ::shutdown(Sock(socket), SD_SEND); }

void SocketClose(SocketHandle socket) {
    if (socket != kInvalidSocket) closesocket(Sock(socket));
}

bool SocketWouldBlock(uint32_t error) { return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS; }

uint32_t SocketTimedOutError() { return WSAETIMEDOUT; }

uint32_t SocketResetError() { return WSAECONNRESET; }

bool SocketConnectionLost(uint32_t error) {
    return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENOTCONN ||
           error == WSAESHUTDOWN || error == WSAENETRESET;
}

}  // namespace xvr::platform
