// xvr-sim's HiSLIP server (IVI-6.1): both channels, both modes, locks
// between clients, device clear, status query, trigger, remote/local and
// service requests, on a loopback port.  A thread per connection; the
// instrument behind it is used under one lock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "instrument.h"

namespace xvrsim {

class HislipServer {
public:
    // The largest message the server takes; longer writes come in parts.
    static constexpr uint64_t kMaxMessage = 1 << 20;

    explicit HislipServer(InstrumentModel model) : m_instrument(std::move(model)) {}
    ~HislipServer() { Stop(); }

    // Listens on 127.0.0.1:port (0: a free one); false with *error.
    bool Start(int port, std::string *error);
    uint16_t Port() const { return m_port; }
    void Stop();

    struct Session;

private:
    void Accept();
    void Serve(int fd);
    void ServeSync(const std::shared_ptr<Session> &s);
    void ServeAsync(const std::shared_ptr<Session> &s);
    void EndSession(const std::shared_ptr<Session> &s);
    bool MayAccess(const Session &s) const;
    bool Grantable(const Session &s, bool exclusive, const std::string &key) const;
    void Answer(const std::shared_ptr<Session> &s, uint32_t id, const std::string &command);
    void SendServiceRequests();

    Instrument m_instrument;
    int m_listen = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptor;
    std::mutex m_mutex;  // the instrument, the sessions, locks and modes
    std::condition_variable m_changed;
    std::map<uint16_t, std::shared_ptr<Session>> m_sessions;
    uint16_t m_nextSession = 1;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::list<Worker> m_threads;  // finished ones are joined at the next accept
    std::list<int> m_fds;         // every connection, shut down at Stop
};

}  // namespace xvrsim
