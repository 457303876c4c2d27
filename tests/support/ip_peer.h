// Loopback peers for the network tests and the benchmark.  They use the
// system's sockets directly, not the code under test.  Every wait is bounded
// by the caller's time limit.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>

namespace xvr::test {

class PeerSocket {
public:
    static constexpr uintptr_t kNone = ~static_cast<uintptr_t>(0);
    explicit PeerSocket(uintptr_t s = kNone) : m_s(s) {}
    PeerSocket(PeerSocket &&o) noexcept : m_s(std::exchange(o.m_s, kNone)), m_port(o.m_port) {}
    ~PeerSocket() { Close(); }
    bool Valid() const { return m_s != kNone; }
    uintptr_t Raw() const { return m_s; }
    // The loopback port a listener or UDP peer is bound to.
    uint16_t Port() const { return m_port; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }

    bool Send(const std::string &bytes);  // everything, blocking
    // Up to n bytes, waiting at most ms for them all.
    std::string Receive(size_t n, int ms);
    // Appends what arrives first, waiting at most ms for it; false at the
    // end of the stream or on a failure.
    bool ReceiveSome(int ms, std::string *into);
    // True when the peer ended the stream within ms.
    bool WaitForEnd(int ms);
    void SetReceiveBuffer(int bytes);
    // With reset, the peer sees a reset instead of an orderly end.
    void Close(bool reset = false);

protected:
    void Bind(int type);  // to an ephemeral loopback port

    uintptr_t m_s;
    uint16_t m_port = 0;
};

class TcpListener : public PeerSocket {
public:
    explicit TcpListener(int backlog = 16);
    PeerSocket Accept(int ms);
};

// A client connection to 127.0.0.1:port; without wait the connect is left
// pending (to fill a listener's backlog).
PeerSocket ConnectLoopback(uint16_t port, bool wait = true);

class UdpPeer : public PeerSocket {
public:
    UdpPeer();
    // One datagram, empty when none came in time; Send then answers its sender.
    std::string ReceiveFrom(int ms);
};

// An instrument on a loopback port for the thread tests: every line (TCP,
// ending in '\n') or datagram (UDP) is answered with "<name>:" and the line,
// so an answer tells which instrument it came from and which query it
// answers, after delayMs like an instrument that measures first.  TCP takes
// one connection after another.
class EchoInstrument {
public:
    EchoInstrument(std::string name, bool udp, int delayMs = 0);
    ~EchoInstrument();
    std::string Address() const;

private:
    void Serve();
    std::string m_name;
    bool m_udp;
    int m_delayMs;
    TcpListener m_tcp;
    UdpPeer m_udpPeer;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace xvr::test
