#include "vxi11_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "drivers/vxi11/rpc_message.h"
#include "drivers/vxi11/vxi11_messages.h"
#include "drivers/vxi11/xdr.h"
#include "sim_socket.h"

namespace xvrsim {

using namespace xvr::vxi11;
using Clock = std::chrono::steady_clock;

namespace {

// What the server takes in one device_write; a client sends larger
// messages in pieces.
constexpr uint32_t kMaxRecvSize = 1 << 20;
constexpr size_t kRecordCap = kMaxRecvSize + 4096;
// How long the server tries to reach a client's interrupt port.
constexpr int kInterruptConnectMs = 1000;

// Several pieces in one system call where the socket takes them.
bool SendParts(int fd, iovec *parts, int count) {
    while (count > 0) {
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = static_cast<size_t>(count);
        ssize_t n = sendmsg(fd, &message, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        while (count > 0 && static_cast<size_t>(n) >= parts->iov_len) {
            n -= static_cast<ssize_t>(parts->iov_len);
            ++parts;
            --count;
        }
        if (count > 0) {
            parts->iov_base = static_cast<uint8_t *>(parts->iov_base) + n;
            parts->iov_len -= static_cast<size_t>(n);
        }
    }
    return true;
}

int ConnectWithin(uint32_t address, uint16_t port, int ms) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(address);
    peer.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<sockaddr *>(&peer), sizeof peer) != 0) {
        pollfd p{fd, POLLOUT, 0};
        int soError = 0;
        socklen_t len = sizeof soError;
        if (errno != EINPROGRESS || poll(&p, 1, ms) <= 0 ||
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0) {
            close(fd);
            return -1;
        }
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const timeval sendLimit{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
    return fd;
}

// One core-channel connection's interrupt channel; its links share it.
struct Client {
    std::mutex sendLock;
    int interruptFd = -1;
    uint32_t xid = 0;

    // The client's replies to our calls are of no interest, but must not be
    // left unread: a close would then reset the connection.
    void DrainReplies() {
        uint8_t scratch[512];
        while (interruptFd >= 0 && recv(interruptFd, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
        }
    }
    void CloseInterrupt() {
        if (interruptFd < 0) return;
        DrainReplies();
        close(interruptFd);
        interruptFd = -1;
    }
};

struct Answer {
    std::string data;  // with its line end
    Clock::time_point due;
};

struct Link {
    std::shared_ptr<Client> client;
    std::string pending;  // an unfinished command line
    std::deque<Answer> answers;
    size_t queuedBytes = 0;  // of `answers`, for the cap
    size_t sentOfFront = 0;
    bool srqEnabled = false;
    std::string srqHandle;
    bool aborted = false;
};

}  // namespace

struct Vxi11Server::State {
    explicit State(const InstrumentModel &model) : instrument(model) {}

    Instrument instrument;
    std::mutex lock;  // everything below, and the instrument
    std::condition_variable changed;
    std::map<uint32_t, Link> links;
    uint32_t nextLink = 1;
    uint32_t lockOwner = 0;  // link holding the device lock, 0 none

    int core = -1, abort = -1, portmapTcp = -1, portmapUdp = -1;
    int stopPipe[2] = {-1, -1};
    std::atomic<bool> stopping{false};
    std::mutex threadsLock;
    std::list<std::thread> threads;
    std::set<int> connections;

    void AcceptLoop();
    void Serve(int fd, int kind);
    void ServeUdp();
    // The reply record to one call (with its mark), empty for none.
    // device_read's data goes into *tail, sent after the record's head.
    std::vector<uint8_t> Core(const RpcCall &call, const std::shared_ptr<Client> &client,
                              std::set<uint32_t> *owned, std::string *tail);
    std::vector<uint8_t> Abort(const RpcCall &call);
    std::vector<uint8_t> Portmap(const RpcCall &call);

    // Waits (holding the lock) until the device is not locked by another
    // link; false when it still is.
    bool WaitForLock(std::unique_lock<std::mutex> &held, uint32_t lid, uint32_t flags, uint32_t ms);
    void RunCommands(Link &link, const std::string &data, bool end);
    void SendServiceRequests();
    void DropLink(uint32_t lid);
};

namespace {

std::vector<uint8_t> Reply(const RpcCall &call, AcceptStat stat) {
    std::vector<uint8_t> out;
    BeginRecord(&out);
    AppendAcceptedReply(&out, call.xid, stat);
    return out;
}

std::vector<uint8_t> ErrorReply(const RpcCall &call, uint32_t code) {
    std::vector<uint8_t> out = Reply(call, kAcceptSuccess);
    XdrWriter w(&out);
    EncodeU32(code, w);
    return out;
}

std::vector<uint8_t> Mismatch(const RpcCall &call, uint32_t low, uint32_t high) {
    std::vector<uint8_t> out = Reply(call, kAcceptProgMismatch);
    XdrWriter w(&out);
    w.U32(low);
    w.U32(high);
    return out;
}

}  // namespace

Vxi11Server::Vxi11Server(const InstrumentModel &model) : m_state(new State(model)) {}

Vxi11Server::~Vxi11Server() {
    State &s = *m_state;
    s.stopping = true;
    if (s.stopPipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = write(s.stopPipe[1], &byte, 1);
    }
    {
        std::lock_guard<std::mutex> g(s.threadsLock);
        for (int fd : s.connections) shutdown(fd, SHUT_RDWR);
    }
    s.changed.notify_all();
    for (;;) {
        std::thread t;
        {
            std::lock_guard<std::mutex> g(s.threadsLock);
            if (s.threads.empty()) break;
            t = std::move(s.threads.front());
            s.threads.pop_front();
        }
        if (t.joinable()) t.join();
    }
    for (int fd : {s.core, s.abort, s.portmapTcp, s.portmapUdp, s.stopPipe[0], s.stopPipe[1]})
        if (fd >= 0) close(fd);
}

uint16_t Vxi11Server::CorePort() const { return LocalPort(m_state->core); }
uint16_t Vxi11Server::PortmapperPort() const { return LocalPort(m_state->portmapTcp); }

bool Vxi11Server::Start(int corePort, int portmapperPort, std::string *error) {
    State &s = *m_state;
    if (pipe2(s.stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = "pipe";
        return false;
    }
    s.core = ListenLoopback(SOCK_STREAM, static_cast<uint16_t>(corePort), error);
    if (s.core < 0) return false;
    s.abort = ListenLoopback(SOCK_STREAM, 0, error);
    if (s.abort < 0) return false;
    s.portmapTcp = ListenLoopback(SOCK_STREAM, static_cast<uint16_t>(portmapperPort), error);
    if (s.portmapTcp < 0) return false;
    // The same port number on UDP, where some clients ask first; without it
    // they ask over TCP.
    std::string ignored;
    s.portmapUdp = ListenLoopback(SOCK_DGRAM, LocalPort(s.portmapTcp), &ignored);
    std::lock_guard<std::mutex> g(s.threadsLock);
    s.threads.emplace_back([&s] { s.AcceptLoop(); });
    if (s.portmapUdp >= 0) s.threads.emplace_back([&s] { s.ServeUdp(); });
    return true;
}

void Vxi11Server::State::AcceptLoop() {
    for (;;) {
        pollfd fds[] = {{stopPipe[0], POLLIN, 0},
                        {core, POLLIN, 0},
                        {abort, POLLIN, 0},
                        {portmapTcp, POLLIN, 0}};
        if (poll(fds, 4, -1) < 0 && errno != EINTR) return;
        if (fds[0].revents || stopping) return;
        for (int kind = 1; kind < 4; ++kind) {
            if (!(fds[kind].revents & POLLIN)) continue;
            const int fd = accept4(fds[kind].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            std::lock_guard<std::mutex> g(threadsLock);
            connections.insert(fd);
            threads.emplace_back([this, fd, kind] { Serve(fd, kind); });
        }
    }
}

void Vxi11Server::State::Serve(int fd, int kind) {
    auto client = std::make_shared<Client>();
    std::set<uint32_t> owned;  // links created on this connection
    std::vector<uint8_t> record;
    for (;;) {
        const RecordStatus got =
            ReadRecord([fd](uint8_t *into, size_t size) { return ReceiveExact(fd, into, size); },
                       kRecordCap, &record);
        if (got != RecordStatus::kOk) break;
        RpcCall call;
        if (!ParseCall(record.data(), record.size(), &call)) break;
        std::vector<uint8_t> reply;
        std::string tail;
        if (call.rpcVersion != kRpcVersion) {
            BeginRecord(&reply);
            AppendRpcMismatchReply(&reply, call.xid);
        } else {
            reply = kind == 1   ? Core(call, client, &owned, &tail)
                    : kind == 2 ? Abort(call)
                                : Portmap(call);
        }
        const size_t padding = XdrPadding(tail.size());
        FinishRecord(&reply, tail.size() + padding);
        static const uint8_t kZeros[4] = {};
        iovec parts[] = {{reply.data(), reply.size()},
                         {tail.data(), tail.size()},
                         {const_cast<uint8_t *>(kZeros), padding}};
        if (!SendParts(fd, parts, 3)) break;
    }
    {
        std::lock_guard<std::mutex> g(lock);
        for (uint32_t lid : owned) DropLink(lid);
        std::lock_guard<std::mutex> sending(client->sendLock);
        client->CloseInterrupt();
    }
    changed.notify_all();
    std::lock_guard<std::mutex> g(threadsLock);
    connections.erase(fd);
    close(fd);
}

void Vxi11Server::State::ServeUdp() {
    std::vector<uint8_t> datagram(65536);
    for (;;) {
        pollfd fds[] = {{stopPipe[0], POLLIN, 0}, {portmapUdp, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[0].revents || stopping) return;
        if (!(fds[1].revents & POLLIN)) continue;
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = recvfrom(portmapUdp, datagram.data(), datagram.size(), 0,
                                   reinterpret_cast<sockaddr *>(&from), &length);
        RpcCall call;
        if (n <= 0 || !ParseCall(datagram.data(), static_cast<size_t>(n), &call)) continue;
        std::vector<uint8_t> reply = Portmap(call);
        // A datagram carries the record without its mark.
        sendto(portmapUdp, reply.data() + kRecordMarkSize, reply.size() - kRecordMarkSize, 0,
               reinterpret_cast<const sockaddr *>(&from), length);
    }
}

std::vector<uint8_t> Vxi11Server::State::Portmap(const RpcCall &call) {
    if (call.program != kPortmapProgram) return Reply(call, kAcceptProgUnavail);
    if (call.version < 2 || call.version > 4) return Mismatch(call, 2, 4);
    if (call.procedure == 0) return Reply(call, kAcceptSuccess);
    XdrReader args(call.args, call.argsSize);
    const uint16_t port = LocalPort(core);
    std::vector<uint8_t> out = Reply(call, kAcceptSuccess);
    XdrWriter w(&out);
    if (call.version == 2 && call.procedure == kPortmapGetPort) {
        PortmapMapping m;
        if (!Decode(args, &m)) return Reply(call, kAcceptGarbageArgs);
        const bool ours =
            m.program == kCoreProgram && m.version == kVxi11Version && m.protocol == kProtocolTcp;
        w.U32(ours ? port : 0);
        return out;
    }
    // rpcbind GETADDR (3) and, in version 4, GETVERSADDR (9).
    if (call.procedure == 3 || (call.version == 4 && call.procedure == 9)) {
        RpcbMapping m;
        if (!Decode(args, &m)) return Reply(call, kAcceptGarbageArgs);
        const bool ours = m.program == kCoreProgram && m.version == kVxi11Version &&
                          (m.netid.empty() || m.netid == "tcp");
        w.String(ours ? UniversalAddress(INADDR_LOOPBACK, port) : "");
        return out;
    }
    return Reply(call, kAcceptProcUnavail);
}

std::vector<uint8_t> Vxi11Server::State::Abort(const RpcCall &call) {
    if (call.program != kAbortProgram) return Reply(call, kAcceptProgUnavail);
    if (call.version != kVxi11Version) return Mismatch(call, 1, 1);
    if (call.procedure == 0) return Reply(call, kAcceptSuccess);
    if (call.procedure != kProcDeviceAbort) return Reply(call, kAcceptProcUnavail);
    XdrReader args(call.args, call.argsSize);
    uint32_t lid = 0;
    if (!DecodeU32(args, &lid)) return Reply(call, kAcceptGarbageArgs);
    std::lock_guard<std::mutex> g(lock);
    auto it = links.find(lid);
    if (it == links.end()) return ErrorReply(call, kErrInvalidLink);
    it->second.aborted = true;
    changed.notify_all();
    return ErrorReply(call, kErrNone);
}

bool Vxi11Server::State::WaitForLock(std::unique_lock<std::mutex> &held, uint32_t lid,
                                     uint32_t flags, uint32_t ms) {
    auto free = [&] { return lockOwner == 0 || lockOwner == lid || !links.count(lockOwner); };
    if (free()) return true;
    if (!(flags & kFlagWaitLock)) return false;
    changed.wait_until(held, Clock::now() + std::chrono::milliseconds(ms),
                       [&] { return free() || stopping; });
    return free();
}

void Vxi11Server::State::DropLink(uint32_t lid) {
    links.erase(lid);
    if (lockOwner == lid) lockOwner = 0;
}

void Vxi11Server::State::RunCommands(Link &link, const std::string &data, bool end) {
    std::vector<std::string> lines = TakeLines(&link.pending, data);
    // END ends the message, and with it a command without a line end.
    if (end && !link.pending.empty()) lines.push_back(std::move(link.pending));
    if (end) link.pending.clear();
    for (const std::string &line : lines) {
        auto reply = instrument.Handle(line);
        if (!reply || link.queuedBytes >= kMaxQueuedBytes) continue;
        Clock::time_point due = Clock::now() + std::chrono::milliseconds(reply->delayMs);
        if (!link.answers.empty()) due = std::max(due, link.answers.back().due);
        reply->data += '\n';
        link.queuedBytes += reply->data.size();
        link.answers.push_back({std::move(reply->data), due});
    }
    if (instrument.TakeServiceRequest()) SendServiceRequests();
}

void Vxi11Server::State::SendServiceRequests() {
    for (auto &entry : links) {
        Link &link = entry.second;
        if (!link.srqEnabled || !link.client) continue;
        Client &client = *link.client;
        std::lock_guard<std::mutex> sending(client.sendLock);
        if (client.interruptFd < 0) continue;
        client.DrainReplies();
        std::vector<uint8_t> call;
        BeginRecord(&call);
        AppendCallHeader(&call, ++client.xid, kInterruptProgram, kVxi11Version, kProcDeviceIntrSrq);
        XdrWriter w(&call);
        Encode(SrqParms{link.srqHandle}, w);
        FinishRecord(&call);
        if (!SendAll(client.interruptFd, call.data(), call.size())) client.CloseInterrupt();
    }
}

std::vector<uint8_t> Vxi11Server::State::Core(const RpcCall &call,
                                              const std::shared_ptr<Client> &client,
                                              std::set<uint32_t> *owned, std::string *tail) {
    if (call.program != kCoreProgram) return Reply(call, kAcceptProgUnavail);
    if (call.version != kVxi11Version) return Mismatch(call, 1, 1);
    if (call.procedure == 0) return Reply(call, kAcceptSuccess);
    XdrReader args(call.args, call.argsSize);
    std::vector<uint8_t> out = Reply(call, kAcceptSuccess);
    XdrWriter w(&out);
    std::unique_lock<std::mutex> held(lock);
    const auto garbage = [&] { return Reply(call, kAcceptGarbageArgs); };
    // The link a call names, after its abort flag is cleared.
    const auto find = [&](uint32_t lid) -> Link * {
        auto it = links.find(lid);
        if (it == links.end()) return nullptr;
        it->second.aborted = false;
        return &it->second;
    };

    switch (call.procedure) {
    case kProcCreateLink: {
        CreateLinkParms p;
        if (!Decode(args, &p)) return garbage();
        CreateLinkResp r;
        const uint32_t lid = nextLink++;
        if (p.lockDevice && !WaitForLock(held, lid, kFlagWaitLock, p.lockTimeout)) {
            r.error = kErrLocked;
        } else {
            Link &link = links[lid];
            link.client = client;
            owned->insert(lid);
            if (p.lockDevice) lockOwner = lid;
            r.lid = lid;
            r.abortPort = LocalPort(abort);
            r.maxRecvSize = kMaxRecvSize;
        }
        Encode(r, w);
        return out;
    }
    case kProcDeviceWrite: {
        WriteParms p;
        if (!Decode(args, &p, kMaxRecvSize)) return garbage();
        WriteResp r;
        Link *link = find(p.lid);
        if (!link)
            r.error = kErrInvalidLink;
        else if (!WaitForLock(held, p.lid, p.flags, p.lockTimeout))
            r.error = kErrLocked;
        else if ((link = find(p.lid))) {
            RunCommands(*link, std::string(reinterpret_cast<const char *>(p.data), p.size),
                        (p.flags & kFlagEnd) != 0);
            r.size = static_cast<uint32_t>(p.size);
        }
        Encode(r, w);
        return out;
    }
    case kProcDeviceRead: {
        ReadParms p;
        if (!Decode(args, &p)) return garbage();
        ReadResp r;
        std::string data;
        Link *link = find(p.lid);
        const auto deadline = Clock::now() + std::chrono::milliseconds(p.ioTimeout);
        if (!link) {
            r.error = kErrInvalidLink;
        } else if (!WaitForLock(held, p.lid, p.flags, p.lockTimeout)) {
            r.error = kErrLocked;
        } else {
            for (;;) {
                const auto it = links.find(p.lid);
                link = it == links.end() ? nullptr : &it->second;
                if (!link || stopping) {
                    r.error = kErrInvalidLink;
                    break;
                }
                if (link->aborted) {
                    link->aborted = false;
                    r.error = kErrAbort;
                    break;
                }
                const auto now = Clock::now();
                if (!link->answers.empty() && link->answers.front().due <= now) break;
                if (now >= deadline) {
                    r.error = kErrIoTimeout;
                    break;
                }
                auto until = deadline;
                if (!link->answers.empty()) until = std::min(until, link->answers.front().due);
                changed.wait_until(held, until);
            }
            if (r.error == kErrNone) {
                Answer &front = link->answers.front();
                size_t count =
                    std::min<size_t>(p.requestSize, front.data.size() - link->sentOfFront);
                if (p.flags & kFlagTermCharSet) {
                    const size_t at =
                        front.data.find(static_cast<char>(p.termChar), link->sentOfFront);
                    if (at != std::string::npos && at < link->sentOfFront + count) {
                        count = at + 1 - link->sentOfFront;
                        r.reason |= kReasonTermChar;
                    }
                }
                // A whole answer moves out; a part is copied.
                const bool whole = link->sentOfFront == 0 && count == front.data.size();
                const size_t frontBytes = front.data.size();
                data = whole ? std::move(front.data) : front.data.substr(link->sentOfFront, count);
                link->sentOfFront += count;
                if (whole || link->sentOfFront == frontBytes) {
                    r.reason |= kReasonEnd;
                    link->queuedBytes -= frontBytes;
                    link->answers.pop_front();
                    link->sentOfFront = 0;
                } else if (count == p.requestSize) {
                    r.reason |= kReasonRequestCount;
                }
            }
        }
        w.U32(r.error);
        w.U32(r.reason);
        w.U32(static_cast<uint32_t>(data.size()));
        *tail = std::move(data);
        return out;
    }
    case kProcDeviceReadStb:
    case kProcDeviceTrigger:
    case kProcDeviceClear:
    case kProcDeviceRemote:
    case kProcDeviceLocal: {
        GenericParms p;
        if (!Decode(args, &p)) return garbage();
        Link *link = find(p.lid);
        uint32_t code = kErrNone;
        uint8_t stb = 0;
        if (!link)
            code = kErrInvalidLink;
        else if (!WaitForLock(held, p.lid, p.flags, p.lockTimeout))
            code = kErrLocked;
        else if ((link = find(p.lid))) {
            if (call.procedure == kProcDeviceReadStb) {
                stb = instrument.StatusByte(!link->answers.empty());
            } else if (call.procedure == kProcDeviceTrigger) {
                instrument.Trigger();
            } else if (call.procedure == kProcDeviceClear) {
                link->answers.clear();
                link->queuedBytes = 0;
                link->sentOfFront = 0;
                link->pending.clear();
                instrument.DeviceClear();
            }
        }
        if (call.procedure == kProcDeviceReadStb)
            Encode(ReadStbResp{code, stb}, w);
        else
            EncodeU32(code, w);
        return out;
    }
    case kProcDeviceLock: {
        LockParms p;
        if (!Decode(args, &p)) return garbage();
        uint32_t code = kErrNone;
        if (!find(p.lid))
            code = kErrInvalidLink;
        else if (!WaitForLock(held, p.lid, p.flags, p.lockTimeout))
            code = kErrLocked;
        else
            lockOwner = p.lid;
        EncodeU32(code, w);
        return out;
    }
    case kProcDeviceUnlock: {
        uint32_t lid = 0;
        if (!DecodeU32(args, &lid)) return garbage();
        uint32_t code = kErrNone;
        if (!find(lid))
            code = kErrInvalidLink;
        else if (lockOwner != lid)
            code = kErrNoLock;
        else
            lockOwner = 0;
        changed.notify_all();
        EncodeU32(code, w);
        return out;
    }
    case kProcDeviceEnableSrq: {
        EnableSrqParms p;
        if (!Decode(args, &p)) return garbage();
        Link *link = find(p.lid);
        if (link) {
            link->srqEnabled = p.enable;
            link->srqHandle = p.handle;
        }
        EncodeU32(link ? kErrNone : kErrInvalidLink, w);
        return out;
    }
    case kProcDestroyLink: {
        uint32_t lid = 0;
        if (!DecodeU32(args, &lid)) return garbage();
        const bool known = owned->erase(lid) > 0 && links.count(lid);
        if (known) DropLink(lid);
        changed.notify_all();
        EncodeU32(known ? kErrNone : kErrInvalidLink, w);
        return out;
    }
    case kProcCreateIntrChan: {
        RemoteFunc p;
        if (!Decode(args, &p)) return garbage();
        uint32_t code = kErrNone;
        std::lock_guard<std::mutex> sending(client->sendLock);
        if (client->interruptFd >= 0) {
            code = kErrChannelExists;
        } else if (p.progFamily != kFamilyTcp || p.hostPort == 0 || p.hostPort > 0xFFFF) {
            code = kErrParameter;
        } else {
            // Not under the device lock: a client that does not answer
            // must not stop the others.
            held.unlock();
            client->interruptFd =
                ConnectWithin(p.hostAddr, static_cast<uint16_t>(p.hostPort), kInterruptConnectMs);
            if (client->interruptFd < 0) code = kErrNoChannel;
        }
        EncodeU32(code, w);
        return out;
    }
    case kProcDestroyIntrChan: {
        std::lock_guard<std::mutex> sending(client->sendLock);
        const bool had = client->interruptFd >= 0;
        client->CloseInterrupt();
        EncodeU32(had ? kErrNone : kErrNoChannel, w);
        return out;
    }
    default: return Reply(call, kAcceptProcUnavail);
    }
}

}  // namespace xvrsim
