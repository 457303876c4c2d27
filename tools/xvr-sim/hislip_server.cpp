#include "hislip_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "drivers/hislip/hislip_message.h"
#include "sim_socket.h"

namespace xvrsim {

namespace hs = xvr::hislip;

namespace {

constexpr char kVendor[2] = {'X', 'V'};
constexpr size_t kMaxKey = 256;

// A header and, up to the cap the check applied, its payload; false when
// the connection ended or the peer broke the framing (it was told).
bool ReceiveMessage(int fd, hs::Channel channel, hs::Header *h, std::string *payload) {
    uint8_t raw[hs::kHeaderSize];
    if (!ReceiveExact(fd, raw, sizeof raw)) return false;
    const hs::Check check =
        hs::ParseHeader(raw, hs::Receiver::kServer, channel, HislipServer::kMaxMessage, h);
    if (check == hs::Check::kBadPrologue || check == hs::Check::kTooLong) {
        SendAll(fd, hs::Message(hs::kFatalError, hs::kFatalBadHeader, 0, hs::CheckText(check)));
        return false;
    }
    payload->assign(static_cast<size_t>(h->length), '\0');
    if (!ReceiveExact(fd, &(*payload)[0], payload->size())) return false;
    if (check != hs::Check::kOk) {
        // Unknown or misplaced: an Error, and the message is dropped.
        SendAll(fd, hs::Message(hs::kError, hs::kErrorUnknownType, 0, hs::CheckText(check)));
        h->type = 0xFF;
    }
    return true;
}

}  // namespace

struct HislipServer::Session {
    uint16_t id = 0;
    int syncFd = -1, asyncFd = -1;
    std::mutex asyncSend;  // the async thread answers; any sync thread sends service requests
    // Under the server's mutex:
    bool overlapped = true;  // what the server prefers at start
    uint64_t clientMax = UINT64_MAX;
    bool exclusive = false, shared = false;
    std::string key;
    bool clearing = false;           // AsyncDeviceClear seen, DeviceClearComplete not yet
    bool answerOutstanding = false;  // MAV: an answer not known to have reached the host
    bool ended = false;
    std::string pending;  // command text without its END yet

    ~Session() {
        if (syncFd >= 0) close(syncFd);
        if (asyncFd >= 0) close(asyncFd);
    }
    bool SendAsync(const std::string &message) {
        std::lock_guard<std::mutex> lock(asyncSend);
        return asyncFd >= 0 && SendAll(asyncFd, message);
    }
};

bool HislipServer::Start(int port, std::string *error) {
    m_listen = ListenLoopback(SOCK_STREAM, port, error);
    if (m_listen < 0) {
        *error = "HiSLIP: " + *error;
        return false;
    }
    m_port = LocalPort(m_listen);
    m_acceptor = std::thread([this] { Accept(); });
    return true;
}

void HislipServer::Stop() {
    if (m_listen < 0) return;
    m_stop = true;
    shutdown(m_listen, SHUT_RDWR);
    if (m_acceptor.joinable()) m_acceptor.join();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int fd : m_fds) shutdown(fd, SHUT_RDWR);
        m_changed.notify_all();
    }
    for (auto &w : m_threads) w.thread.join();
    m_threads.clear();
    close(m_listen);
    m_listen = -1;
}

void HislipServer::Accept() {
    while (!m_stop) {
        const int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        const timeval sendLimit{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop) {
            close(fd);
            return;
        }
        m_fds.push_back(fd);
        for (auto it = m_threads.begin(); it != m_threads.end();) {
            if (!*it->done) {
                ++it;
                continue;
            }
            it->thread.join();
            it = m_threads.erase(it);
        }
        auto done = std::make_shared<std::atomic<bool>>(false);
        m_threads.push_back({std::thread([this, fd, done] {
                                 Serve(fd);
                                 *done = true;
                             }),
                             done});
    }
}

// The first message says which channel a connection is.
void HislipServer::Serve(int fd) {
    hs::Header h;
    std::string payload;
    bool owned = false;  // the session closes the descriptor
    if (ReceiveMessage(fd, hs::Channel::kNew, &h, &payload)) {
        if (h.type == hs::kInitialize) {
            std::string sub = payload;
            for (char &c : sub) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (sub != "hislip0") {
                SendAll(fd, hs::Message(hs::kFatalError, hs::kFatalUnidentified, 0,
                                        "unknown sub-address " + payload));
            } else {
                auto s = std::make_shared<Session>();
                s->syncFd = fd;
                owned = true;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    while (m_sessions.count(m_nextSession) || m_nextSession == 0) ++m_nextSession;
                    s->id = m_nextSession++;
                    m_sessions[s->id] = s;
                }
                const uint16_t version =
                    std::min<uint16_t>(hs::kVersion, static_cast<uint16_t>(h.parameter >> 16));
                if (SendAll(fd, hs::InitializeResponse(true, version, s->id))) ServeSync(s);
                EndSession(s);
            }
        } else if (h.type == hs::kAsyncInitialize) {
            std::shared_ptr<Session> s;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                auto it = m_sessions.find(static_cast<uint16_t>(h.parameter));
                if (it != m_sessions.end() && it->second->asyncFd < 0 && !it->second->ended) {
                    s = it->second;
                    std::lock_guard<std::mutex> send(s->asyncSend);
                    s->asyncFd = fd;
                    owned = true;
                }
            }
            if (!s) {
                SendAll(fd, hs::Message(hs::kFatalError, hs::kFatalBadInitialization, 0,
                                        "no such session"));
            } else {
                if (s->SendAsync(hs::AsyncInitializeResponse(kVendor))) ServeAsync(s);
                EndSession(s);
            }
        } else if (h.type != hs::kFatalError) {
            SendAll(fd, hs::Message(hs::kFatalError, hs::kFatalBadInitialization, 0,
                                    "initialize first"));
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fds.remove(fd);
    if (!owned) close(fd);
}

// Either channel ending ends the session: its locks go, the other channel
// is shut down (its descriptor closes with the last reference).
void HislipServer::EndSession(const std::shared_ptr<Session> &s) {
    std::lock_guard<std::mutex> lock(m_mutex);
    s->ended = true;
    s->exclusive = s->shared = false;
    if (s->syncFd >= 0) shutdown(s->syncFd, SHUT_RDWR);
    if (s->asyncFd >= 0) shutdown(s->asyncFd, SHUT_RDWR);
    m_sessions.erase(s->id);
    m_changed.notify_all();
}

// I/O waits while another client holds a lock this one does not share.
bool HislipServer::MayAccess(const Session &s) const {
    for (const auto &[id, other] : m_sessions) {
        if (other.get() == &s) continue;
        if (other->exclusive) return false;
        if (other->shared && !(s.shared && s.key == other->key)) return false;
    }
    return true;
}

bool HislipServer::Grantable(const Session &s, bool exclusive, const std::string &key) const {
    for (const auto &[id, other] : m_sessions) {
        if (other.get() == &s) continue;
        if (other->exclusive) return false;
        if (other->shared && (exclusive || other->key != key)) return false;
    }
    return true;
}

void HislipServer::SendServiceRequests() {
    std::vector<std::shared_ptr<Session>> to;
    uint8_t statusByte = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_instrument.TakeServiceRequest()) return;
        statusByte = m_instrument.StatusByte(false);
        for (const auto &[id, s] : m_sessions) to.push_back(s);
    }
    for (const auto &s : to) s->SendAsync(hs::Message(hs::kAsyncServiceRequest, statusByte, 0));
}

void HislipServer::Answer(const std::shared_ptr<Session> &s, uint32_t id,
                          const std::string &command) {
    std::optional<Instrument::Reply> reply;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        reply = m_instrument.Handle(command);
    }
    if (!reply) return;
    // A measuring instrument: in synchronized mode a new message before the
    // answer went out interrupts it; a device clear drops it.
    const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(reply->delayMs);
    while (std::chrono::steady_clock::now() < due) {
        bool overlapped;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (s->clearing || s->ended) return;
            overlapped = s->overlapped;
        }
        pollfd p{s->syncFd, POLLIN, 0};
        if (poll(&p, 1, 10) > 0 && !overlapped) {
            SendAll(s->syncFd, hs::Message(hs::kInterrupted, 0, id));
            s->SendAsync(hs::Message(hs::kAsyncInterrupted, 0, id));
            return;
        }
    }
    uint64_t clientMax;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        s->answerOutstanding = true;
        clientMax = s->clientMax;
    }
    reply->data += '\n';
    const uint64_t part = clientMax - hs::kHeaderSize;
    size_t sent = 0;
    do {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(reply->data.size() - sent, part));
        const bool last = sent + n == reply->data.size();
        char header[hs::kHeaderSize];
        hs::WriteHeader({last ? hs::kDataEnd : hs::kData, 0, id, n},
                        reinterpret_cast<uint8_t *>(header));
        if (!SendAll(s->syncFd, header, sizeof header, MSG_MORE) ||
            !SendAll(s->syncFd, reply->data.data() + sent, n))
            return;
        sent += n;
    } while (sent < reply->data.size());
}

void HislipServer::ServeSync(const std::shared_ptr<Session> &s) {
    hs::Header h;
    std::string payload;
    while (!m_stop && ReceiveMessage(s->syncFd, hs::Channel::kSync, &h, &payload)) {
        switch (h.type) {
        case hs::kData:
        case hs::kDataEnd:
        case hs::kTrigger: {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock,
                           [&] { return m_stop || s->ended || s->clearing || MayAccess(*s); });
            if (m_stop || s->ended) return;
            if (s->clearing) break;  // dropped until DeviceClearComplete
            if (h.control & hs::kRmtDelivered) s->answerOutstanding = false;
            if (h.type == hs::kTrigger) {
                m_instrument.Trigger();
                lock.unlock();
                SendServiceRequests();
                break;
            }
            if (s->pending.size() + payload.size() <= kMaxLineBytes) s->pending += payload;
            if (h.type == hs::kData) break;
            std::string text;
            text.swap(s->pending);
            lock.unlock();
            std::string rest;
            std::vector<std::string> lines = TakeLines(&rest, text);
            if (!rest.empty()) lines.push_back(rest);  // END ends the last line
            for (const std::string &line : lines) {
                Answer(s, h.parameter, line);
                SendServiceRequests();
            }
            break;
        }
        case hs::kDeviceClearComplete: {
            bool overlapped;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                s->clearing = false;
                s->overlapped = overlapped = (h.control & hs::kPreferOverlap) != 0;
                s->pending.clear();
                s->answerOutstanding = false;
                m_instrument.DeviceClear();
            }
            if (!SendAll(s->syncFd, hs::Message(hs::kDeviceClearAcknowledge,
                                                overlapped ? hs::kPreferOverlap : 0, 0)))
                return;
            break;
        }
        case hs::kInitialize:
            SendAll(s->syncFd, hs::Message(hs::kFatalError, hs::kFatalBadInitialization, 0,
                                           "second Initialize"));
            return;
        case hs::kFatalError: return;
        default: break;  // Error, or a message already answered with one
        }
    }
}

void HislipServer::ServeAsync(const std::shared_ptr<Session> &s) {
    hs::Header h;
    std::string payload;
    while (!m_stop && ReceiveMessage(s->asyncFd, hs::Channel::kAsync, &h, &payload)) {
        std::string answer;
        switch (h.type) {
        case hs::kAsyncMaximumMessageSize: {
            if (payload.size() != 8) {
                answer = hs::Message(hs::kError, hs::kErrorUnidentified, 0,
                                     "size payload of 8 bytes expected");
                break;
            }
            const uint64_t size =
                hs::ReadMaximumMessageSize(reinterpret_cast<const uint8_t *>(payload.data()));
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                s->clientMax = std::max<uint64_t>(size, hs::kHeaderSize + 1);
            }
            answer = hs::MaximumMessageSize(hs::kAsyncMaximumMessageSizeResponse, kMaxMessage);
            break;
        }
        case hs::kAsyncLock: {
            uint8_t code = hs::kLockError;
            std::unique_lock<std::mutex> lock(m_mutex);
            if (h.control == hs::kLockRelease) {
                code = s->exclusive ? hs::kLockSuccess
                       : s->shared  ? hs::kLockSharedReleased
                                    : hs::kLockError;
                s->exclusive = s->shared = false;
                m_changed.notify_all();
            } else if (h.control == hs::kLockRequest && payload.size() <= kMaxKey &&
                       !s->exclusive && !s->shared) {
                const bool exclusive = payload.empty();
                const auto until =
                    std::chrono::steady_clock::now() + std::chrono::milliseconds(h.parameter);
                const bool granted = m_changed.wait_until(lock, until, [&] {
                    return m_stop || s->ended || Grantable(*s, exclusive, payload);
                });
                if (m_stop || s->ended) return;
                if (granted) {
                    (exclusive ? s->exclusive : s->shared) = true;
                    s->key = payload;
                }
                code = granted ? hs::kLockSuccess : hs::kLockFailure;
            }
            answer = hs::Message(hs::kAsyncLockResponse, code, 0);
            break;
        }
        case hs::kAsyncLockInfo: {
            std::lock_guard<std::mutex> lock(m_mutex);
            bool exclusive = false;
            uint32_t holders = 0;
            for (const auto &[id, other] : m_sessions) {
                exclusive = exclusive || other->exclusive;
                holders += other->exclusive || other->shared;
            }
            answer = hs::Message(hs::kAsyncLockInfoResponse, exclusive ? 1 : 0, holders);
            break;
        }
        case hs::kAsyncRemoteLocalControl:
            answer = h.control <= hs::kRenGoLocal
                         ? hs::Message(hs::kAsyncRemoteLocalResponse, 0, 0)
                         : hs::Message(hs::kError, hs::kErrorUnknownControl, 0,
                                       "remote/local code 0 to 6");
            break;
        case hs::kAsyncDeviceClear: {
            bool overlapped;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                s->clearing = true;
                s->answerOutstanding = false;
                overlapped = s->overlapped;
                m_changed.notify_all();
            }
            answer = hs::Message(hs::kAsyncDeviceClearAcknowledge,
                                 overlapped ? hs::kPreferOverlap : 0, 0);
            break;
        }
        case hs::kAsyncStatusQuery: {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (h.control & hs::kRmtDelivered) s->answerOutstanding = false;
            answer = hs::Message(hs::kAsyncStatusResponse,
                                 m_instrument.StatusByte(s->answerOutstanding), 0);
            break;
        }
        case hs::kFatalError: return;
        default: continue;  // Error, or a message already answered with one
        }
        if (!s->SendAsync(answer)) return;
    }
}

}  // namespace xvrsim
