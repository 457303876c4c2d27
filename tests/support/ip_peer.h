// Loopback peers for the network tests and the benchmark: a listener, an
// accepted or connecting socket, a UDP peer and an echo thread.  Every wait
// is bounded by the caller's time limit.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace xvr::test {

class PeerSocket {
public:
    PeerSocket() = default;
    explicit PeerSocket(uintptr_t s) : m_s(s) {}
    ~PeerSocket() { Close(); }
    PeerSocket(PeerSocket &&o) noexcept : m_s(o.m_s) { o.m_s = kNone; }
    PeerSocket &operator=(PeerSocket &&o) noexcept;
    PeerSocket(const PeerSocket &) = delete;
    PeerSocket &operator=(const PeerSocket &) = delete;

    static constexpr uintptr_t kNone = ~static_cast<uintptr_t>(0);
    bool Valid() const { return m_s != kNone; }
    uintptr_t Raw() const { return m_s; }

    // Sends everything (blocking); false on failure.
    bool Send(const std::string &bytes);
    // Up to n bytes, waiting at most timeoutMs for them all.
    std::string Receive(size_t n, int timeoutMs);
    // Bytes up to and including end, or what arrived before the time limit.
    std::string ReceiveUntil(const std::string &end, int timeoutMs);
    // True when the peer ended the stream within the time limit.
    bool WaitForEnd(int timeoutMs);
    void SetReceiveBuffer(int bytes);
    void Close();
    // Closes with a reset instead of an orderly end.
    void Reset();

private:
    uintptr_t m_s = kNone;
};

// A TCP listener on an ephemeral loopback port.
class TcpListener {
public:
    explicit TcpListener(int backlog = 16);
    uint16_t Port() const { return m_port; }
    // "127.0.0.1:port"
    std::string Address() const;
    PeerSocket Accept(int timeoutMs);

private:
    PeerSocket m_listen;
    uint16_t m_port = 0;
};

// A client connection to 127.0.0.1:port; with wait false the connect is left
// pending (to fill a listener's backlog).
PeerSocket ConnectLoopback(uint16_t port, bool wait = true);

// A loopback port on which nothing listens.
uint16_t ClosedPort();

// A UDP socket on an ephemeral loopback port.
class UdpPeer {
public:
    UdpPeer();
    uint16_t Port() const { return m_port; }
    std::string Address() const;
    // One datagram, remembering its sender; empty when none arrived in time.
    std::string ReceiveFrom(int timeoutMs, bool *got = nullptr);
    bool SendBack(const std::string &datagram);

private:
    PeerSocket m_socket;
    uint16_t m_port = 0;
    unsigned char m_sender[32] = {};
    int m_senderLength = 0;
};

// Answers every byte it receives with the same byte, one connection at a
// time, until destroyed.
class EchoPeer {
public:
    EchoPeer();
    ~EchoPeer();
    std::string Address() const { return m_listener.Address(); }
    uint16_t Port() const { return m_listener.Port(); }

private:
    TcpListener m_listener;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace xvr::test
