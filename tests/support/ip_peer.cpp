#include "ip_peer.h"

#include <chrono>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using SockLen = int;
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using SockLen = socklen_t;
using SOCKET = int;
#endif

namespace xvr::test {

namespace {

using Clock = std::chrono::steady_clock;

void StartSockets() {
#ifdef _WIN32
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(0x0202, &data) == 0;
    }();
    (void)started;
#endif
}

SOCKET S(uintptr_t s) { return static_cast<SOCKET>(s); }

void CloseRaw(uintptr_t s) {
#ifdef _WIN32
    closesocket(S(s));
#else
    ::close(S(s));
#endif
}

void SetNonBlocking(uintptr_t s, bool on) {
#ifdef _WIN32
    u_long v = on ? 1 : 0;
    ioctlsocket(S(s), FIONBIO, &v);
#else
    int flags = fcntl(S(s), F_GETFL);
    fcntl(S(s), F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK));
#endif
}

// Readable (or writable) within ms.
bool WaitReady(uintptr_t s, bool forWrite, int ms) {
    if (ms < 0) ms = 0;
#ifdef _WIN32
    fd_set set;
    FD_ZERO(&set);
    FD_SET(S(s), &set);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    return select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &tv) > 0;
#else
    pollfd p{S(s), static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    return poll(&p, 1, ms) > 0;
#endif
}

int MsLeft(Clock::time_point end) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

uint16_t BoundPort(uintptr_t s) {
    sockaddr_in a{};
    SockLen len = sizeof a;
    getsockname(S(s), reinterpret_cast<sockaddr *>(&a), &len);
    return ntohs(a.sin_port);
}

uintptr_t NewSocket(int family, int type) {
    StartSockets();
    SOCKET s = ::socket(family, type, 0);
#ifdef _WIN32
    if (s == INVALID_SOCKET) return PeerSocket::kNone;
#else
    if (s < 0) return PeerSocket::kNone;
#endif
    return static_cast<uintptr_t>(s);
}

}  // namespace

PeerSocket &PeerSocket::operator=(PeerSocket &&o) noexcept {
    if (this != &o) {
        Close();
        m_s = o.m_s;
        o.m_s = kNone;
    }
    return *this;
}

bool PeerSocket::Send(const std::string &bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
#ifdef _WIN32
        int n = ::send(S(m_s), bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
#else
        ssize_t n = ::send(S(m_s), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
#endif
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

std::string PeerSocket::Receive(size_t n, int timeoutMs) {
    std::string out;
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char chunk[65536];
    while (out.size() < n && WaitReady(m_s, false, MsLeft(end))) {
        size_t want = n - out.size() < sizeof chunk ? n - out.size() : sizeof chunk;
        int got = static_cast<int>(::recv(S(m_s), chunk, static_cast<int>(want), 0));
        if (got <= 0) break;
        out.append(chunk, static_cast<size_t>(got));
    }
    return out;
}

std::string PeerSocket::ReceiveUntil(const std::string &end, int timeoutMs) {
    std::string out;
    auto limit = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char c;
    while ((out.size() < end.size() || out.compare(out.size() - end.size(), end.size(), end) != 0) &&
           WaitReady(m_s, false, MsLeft(limit))) {
        if (::recv(S(m_s), &c, 1, 0) != 1) break;
        out.push_back(c);
    }
    return out;
}

bool PeerSocket::WaitForEnd(int timeoutMs) {
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char chunk[4096];
    while (WaitReady(m_s, false, MsLeft(end))) {
        int got = static_cast<int>(::recv(S(m_s), chunk, sizeof chunk, 0));
        if (got <= 0) return true;
    }
    return false;
}

void PeerSocket::SetReceiveBuffer(int bytes) {
    setsockopt(S(m_s), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char *>(&bytes), sizeof bytes);
}

void PeerSocket::Close() {
    if (m_s != kNone) CloseRaw(m_s);
    m_s = kNone;
}

void PeerSocket::Reset() {
    if (m_s == kNone) return;
    linger l{};
    l.l_onoff = 1;
    l.l_linger = 0;
    setsockopt(S(m_s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&l), sizeof l);
    Close();
}

TcpListener::TcpListener(int backlog) {
    m_listen = PeerSocket(NewSocket(AF_INET, SOCK_STREAM));
    if (!m_listen.Valid()) return;
    sockaddr_in a = Loopback(0);
    if (bind(S(m_listen.Raw()), reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        listen(S(m_listen.Raw()), backlog) != 0) {
        m_listen.Close();
        return;
    }
    m_port = BoundPort(m_listen.Raw());
}

std::string TcpListener::Address() const { return "127.0.0.1:" + std::to_string(m_port); }

PeerSocket TcpListener::Accept(int timeoutMs) {
    if (!m_listen.Valid() || !WaitReady(m_listen.Raw(), false, timeoutMs)) return PeerSocket();
    SOCKET s = ::accept(S(m_listen.Raw()), nullptr, nullptr);
#ifdef _WIN32
    if (s == INVALID_SOCKET) return PeerSocket();
#else
    if (s < 0) return PeerSocket();
#endif
    return PeerSocket(static_cast<uintptr_t>(s));
}

PeerSocket ConnectLoopback(uint16_t port, bool wait) {
    PeerSocket s(NewSocket(AF_INET, SOCK_STREAM));
    if (!s.Valid()) return s;
    sockaddr_in a = Loopback(port);
    SetNonBlocking(s.Raw(), true);
    ::connect(S(s.Raw()), reinterpret_cast<sockaddr *>(&a), sizeof a);
    if (wait) {
        WaitReady(s.Raw(), true, 2000);
        SetNonBlocking(s.Raw(), false);
    }
    return s;
}

uint16_t ClosedPort() {
    PeerSocket s(NewSocket(AF_INET, SOCK_STREAM));
    sockaddr_in a = Loopback(0);
    bind(S(s.Raw()), reinterpret_cast<sockaddr *>(&a), sizeof a);
    return BoundPort(s.Raw());
}

UdpPeer::UdpPeer() {
    m_socket = PeerSocket(NewSocket(AF_INET, SOCK_DGRAM));
    sockaddr_in a = Loopback(0);
    if (m_socket.Valid() && bind(S(m_socket.Raw()), reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
        m_port = BoundPort(m_socket.Raw());
}

std::string UdpPeer::Address() const { return "127.0.0.1:" + std::to_string(m_port); }

std::string UdpPeer::ReceiveFrom(int timeoutMs, bool *got) {
    if (got) *got = false;
    if (!WaitReady(m_socket.Raw(), false, timeoutMs)) return std::string();
    std::string datagram(65536, '\0');
    SockLen len = sizeof m_sender;
    int n = static_cast<int>(recvfrom(S(m_socket.Raw()), &datagram[0], static_cast<int>(datagram.size()), 0,
                                      reinterpret_cast<sockaddr *>(m_sender), &len));
    if (n < 0) return std::string();
    m_senderLength = static_cast<int>(len);
    if (got) *got = true;
    datagram.resize(static_cast<size_t>(n));
    return datagram;
}

bool UdpPeer::SendBack(const std::string &datagram) {
    int n = static_cast<int>(sendto(S(m_socket.Raw()), datagram.data(), static_cast<int>(datagram.size()),
                                    0, reinterpret_cast<sockaddr *>(m_sender), m_senderLength));
    return n == static_cast<int>(datagram.size());
}

EchoPeer::EchoPeer() {
    m_thread = std::thread([this] {
        while (!m_stop) {
            PeerSocket c = m_listener.Accept(50);
            if (!c.Valid()) continue;
            char chunk[65536];
            while (!m_stop) {
                if (!WaitReady(c.Raw(), false, 50)) continue;
                int n = static_cast<int>(::recv(S(c.Raw()), chunk, sizeof chunk, 0));
                if (n <= 0) break;
                if (!c.Send(std::string(chunk, static_cast<size_t>(n)))) break;
            }
        }
    });
}

EchoPeer::~EchoPeer() {
    m_stop = true;
    m_thread.join();
}

}  // namespace xvr::test
