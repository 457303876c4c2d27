#include "ip_peer.h"

#include <chrono>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#define poll WSAPoll
#define close closesocket
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using SOCKET = int;
#endif
#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0
#endif

namespace xvr::test {

namespace {

SOCKET S(uintptr_t s) { return static_cast<SOCKET>(s); }

// A failed socket() or accept() (-1 or INVALID_SOCKET) becomes kNone.
uintptr_t NewSocket(int type) {
#ifdef _WIN32
    static WSADATA data;
    static const int started = WSAStartup(0x0202, &data);
    (void)started;
#endif
    return static_cast<uintptr_t>(::socket(AF_INET, type, 0));
}

using Clock = std::chrono::steady_clock;

// Readable before the deadline.
bool Ready(uintptr_t s, Clock::time_point end) {
    pollfd p{S(s), POLLIN, 0};
    auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
    return poll(&p, 1, left < 0 ? 0 : static_cast<int>(left)) > 0;
}

Clock::time_point In(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace

bool PeerSocket::Send(const std::string &bytes) {
    const int size = static_cast<int>(bytes.size());  // a blocking send takes it all
    return static_cast<int>(::send(S(m_s), bytes.data(), size, MSG_NOSIGNAL)) == size;
}

std::string PeerSocket::Receive(size_t n, int ms) {
    const auto end = In(ms);
    std::string out(n, '\0');
    size_t got = 0;
    while (got < n && Ready(m_s, end)) {
        int r = static_cast<int>(::recv(S(m_s), &out[got], static_cast<int>(n - got), 0));
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    out.resize(got);
    return out;
}

bool PeerSocket::ReceiveSome(int ms, std::string *into) {
    char chunk[4096];
    if (!Ready(m_s, In(ms))) return true;
    const int r = static_cast<int>(::recv(S(m_s), chunk, sizeof chunk, 0));
    if (r <= 0) return false;
    into->append(chunk, static_cast<size_t>(r));
    return true;
}

bool PeerSocket::WaitForEnd(int ms) {
    const auto end = In(ms);
    char chunk[4096];
    while (Ready(m_s, end))
        if (::recv(S(m_s), chunk, sizeof chunk, 0) <= 0) return true;
    return false;
}

void PeerSocket::SetReceiveBuffer(int bytes) {
    setsockopt(S(m_s), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char *>(&bytes), sizeof bytes);
}

void PeerSocket::Close(bool reset) {
    if (!Valid()) return;
    linger l{1, 0};
    if (reset)
        setsockopt(S(m_s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&l), sizeof l);
    close(S(std::exchange(m_s, kNone)));
}

void PeerSocket::Bind(int type) {
    m_s = NewSocket(type);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    sockaddr *p = reinterpret_cast<sockaddr *>(&a);
    if (bind(S(m_s), p, sizeof a) == 0 && getsockname(S(m_s), p, &len) == 0)
        m_port = ntohs(a.sin_port);
}

TcpListener::TcpListener(int backlog) {
    Bind(SOCK_STREAM);
    listen(S(m_s), backlog);
}

PeerSocket TcpListener::Accept(int ms) {
    if (!Ready(m_s, In(ms))) return PeerSocket();
    return PeerSocket(static_cast<uintptr_t>(::accept(S(m_s), nullptr, nullptr)));
}

PeerSocket ConnectLoopback(uint16_t port, bool wait) {
    PeerSocket s(NewSocket(SOCK_STREAM));
#ifdef _WIN32
    u_long nonBlocking = wait ? 0 : 1;
    ioctlsocket(S(s.Raw()), FIONBIO, &nonBlocking);
#else
    if (!wait) fcntl(S(s.Raw()), F_SETFL, O_NONBLOCK);
#endif
    sockaddr_in a = Loopback(port);
    ::connect(S(s.Raw()), reinterpret_cast<sockaddr *>(&a), sizeof a);
    return s;
}

UdpPeer::UdpPeer() { Bind(SOCK_DGRAM); }

std::string UdpPeer::ReceiveFrom(int ms) {
    std::string datagram(65536, '\0');
    sockaddr_in from{};
    socklen_t len = sizeof from;
    sockaddr *p = reinterpret_cast<sockaddr *>(&from);
    int n = -1;
    if (Ready(m_s, In(ms))) n = static_cast<int>(recvfrom(S(m_s), &datagram[0], 65536, 0, p, &len));
    if (n >= 0) ::connect(S(m_s), p, len);
    datagram.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return datagram;
}

EchoInstrument::EchoInstrument(std::string name, bool udp, int delayMs)
    : m_name(std::move(name)), m_udp(udp), m_delayMs(delayMs), m_thread([this] { Serve(); }) {}

EchoInstrument::~EchoInstrument() {
    m_stop = true;
    m_thread.join();
}

std::string EchoInstrument::Address() const {
    return m_udp ? m_udpPeer.Address() : m_tcp.Address();
}

void EchoInstrument::Serve() {
    while (!m_stop) {
        if (m_udp) {
            const std::string datagram = m_udpPeer.ReceiveFrom(20);
            if (datagram.empty()) continue;
            if (m_delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
            m_udpPeer.Send(m_name + ":" + datagram);
            continue;
        }
        PeerSocket connection = m_tcp.Accept(20);
        std::string pending;
        while (connection.Valid() && !m_stop && connection.ReceiveSome(20, &pending)) {
            for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
                if (m_delayMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
                connection.Send(m_name + ":" + pending.substr(0, end + 1));
                pending.erase(0, end + 1);
            }
        }
    }
}

}  // namespace xvr::test
