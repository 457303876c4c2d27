#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace xvr::platform {

namespace {

int Fd(SocketHandle socket) { return static_cast<int>(socket); }

uint32_t Errno() { return static_cast<uint32_t>(errno); }

int ClampMs(uint32_t ms) { return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms); }

}  // namespace

uint32_t SocketStartup() { return 0; }

bool ResolveIPv4(const std::string &host, std::string *dotted, uint32_t *address) {
    // inet_aton takes what inet_addr takes ("127.1", "0x7f.1"), so both
    // systems keep the same host texts as written and share the same records.
    in_addr a{};
    if (inet_aton(host.c_str(), &a) != 0) {
        *dotted = host;
        *address = a.s_addr;
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo *found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    const auto *sin = reinterpret_cast<const sockaddr_in *>(found->ai_addr);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text);
    *address = sin->sin_addr.s_addr;
    freeaddrinfo(found);
    *dotted = text;
    return true;
}

uint32_t SocketCreate(uint32_t type, SocketHandle *socket) {
    int kind = type == kSocketStream ? SOCK_STREAM : type == kSocketDatagram ? SOCK_DGRAM : -1;
    int fd = ::socket(AF_INET, kind | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *socket = kInvalidSocket;
        return Errno();
    }
    *socket = static_cast<SocketHandle>(fd);
    return 0;
}

uint32_t SocketConnect(SocketHandle socket, uint32_t address, uint16_t port, int32_t timeoutMs) {
    int fd = Fd(socket);
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, timeoutMs > 0 ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK));
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = address;
    // After EINTR the attempt goes on in the background, like EINPROGRESS.
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) return Errno();
    if (timeoutMs <= 0) {
        pollfd p{fd, POLLOUT, 0};
        while (poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
    } else {
        uint32_t error = 0;
        int ready = SocketWait(socket, true, static_cast<uint32_t>(timeoutMs), &error);
        if (ready < 0) return error;
        if (ready == 0) return SocketTimedOutError();
    }
    // Ready for writing says only that the attempt ended; it may have failed.
    int soError = 0;
    socklen_t len = sizeof soError;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) < 0) return Errno();
    return static_cast<uint32_t>(soError);
}

void SocketSetNoDelay(SocketHandle socket) {
    int on = 1;
    setsockopt(Fd(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool SocketBytesWaiting(SocketHandle socket, uint32_t *count, uint32_t *error) {
    int n = 0;
    if (ioctl(Fd(socket), FIONREAD, &n) < 0) {
        *error = Errno();
        return false;
    }
    *count = n < 0 ? 0 : static_cast<uint32_t>(n);
    return true;
}

int64_t SocketReceive(SocketHandle socket, uint8_t *buffer, size_t size, uint32_t *error) {
    ssize_t n;
    do {
        n = ::recv(Fd(socket), buffer, size, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) *error = Errno();
    return n;
}

int64_t SocketSend(SocketHandle socket, const uint8_t *data, size_t size, uint32_t *error) {
    ssize_t n;
    do {
        n = ::send(Fd(socket), data, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) *error = Errno();
    return n;
}

int SocketWait(SocketHandle socket, bool forWrite, uint32_t ms, uint32_t *error) {
    pollfd p{Fd(socket), static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    int rc = poll(&p, 1, ClampMs(ms));
    if (rc < 0) {
        if (errno == EINTR) return 0;
        *error = Errno();
        return -1;
    }
    return rc > 0 ? 1 : 0;
}

uint32_t SocketListen(uint32_t address, uint16_t port, SocketHandle *listener) {
    *listener = kInvalidSocket;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return Errno();
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0 ||
        ::listen(fd, 8) != 0) {
        const uint32_t code = Errno();
        ::close(fd);
        return code;
    }
    *listener = static_cast<SocketHandle>(fd);
    return 0;
}

uint32_t SocketAccept(SocketHandle listener, SocketHandle *connection) {
    int fd;
    do {
        fd = ::accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *connection = kInvalidSocket;
        return Errno();
    }
    *connection = static_cast<SocketHandle>(fd);
    return 0;
}

uint32_t SocketLocalPort(SocketHandle socket, uint32_t *address, uint16_t *port) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(Fd(socket), reinterpret_cast<sockaddr *>(&local), &length) != 0)
        return Errno();
    *address = local.sin_addr.s_addr;
    *port = ntohs(local.sin_port);
    return 0;
}

void SocketShutdownSend(SocketHandle socket) { ::shutdown(Fd(socket), SHUT_WR); }

void SocketClose(SocketHandle socket) {
    if (socket != kInvalidSocket) ::close(Fd(socket));
}

bool SocketWouldBlock(uint32_t error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS;
}

uint32_t SocketTimedOutError() { return ETIMEDOUT; }

uint32_t SocketResetError() { return ECONNRESET; }

bool SocketConnectionLost(uint32_t error) {
    return error == ECONNRESET || error == ECONNABORTED || error == EPIPE || error == ENOTCONN ||
           error == ESHUTDOWN;
}

}  // namespace xvr::platform
