#include "sim_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace xvrsim {

int ListenLoopback(int type, int port, std::string *error) {
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool stream = (type & ~SOCK_NONBLOCK) == SOCK_STREAM;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        (stream && listen(fd, 16) != 0)) {
        *error = "cannot bind 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

uint16_t LocalPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

bool SendAll(int fd, const void *data, size_t size, int flags) {
    const char *from = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = send(fd, from, size, MSG_NOSIGNAL | flags);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        from += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool SendAll(int fd, const std::string &data) { return SendAll(fd, data.data(), data.size()); }

bool ReceiveExact(int fd, void *into, size_t size) {
    char *to = static_cast<char *>(into);
    while (size > 0) {
        const ssize_t n = recv(fd, to, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        to += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace xvrsim
