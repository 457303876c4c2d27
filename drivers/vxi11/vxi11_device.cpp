#include "drivers/vxi11/vxi11_device.h"

#include <algorithm>
#include <cstring>

#include "base/texts.h"
#include "drivers/driver.h"
#include "drivers/read_end.h"
#include "drivers/vxi11/rpc_message.h"
#include "drivers/vxi11/vxi11_messages.h"
#include "platform/platform.h"

namespace xvr {

using namespace vxi11;

namespace {

// A reply may come this long after the time the server was given.
constexpr uint32_t kReplyMarginMs = 1000;
// Replies other than device_read carry a few numbers.
constexpr size_t kSmallRecordCap = 64 * 1024;
// The least a read reply may hold whatever the request, and room for its head.
constexpr size_t kMinReadCap = 1 << 20;
constexpr size_t kReplyHeadRoom = 1024;
// The most one device_read asks for: a larger read takes several.
constexpr uint32_t kMaxReadRequest = 32u << 20;
// A read reply of at least this much data is received straight into the
// host's buffer.
constexpr size_t kDirectMin = 64 * 1024;
// Data up to this size is copied into the call; larger data is sent from
// the host's buffer.
constexpr size_t kInlineTail = 64 * 1024;
// Writes go in pieces of the server's maxRecvSize, but never smaller.
constexpr uint32_t kMinWritePiece = 1024;
// Bounds of the steps that tidy up after a call gone past its time, and of
// the last close.
constexpr uint32_t kAbortMs = 500;
constexpr uint32_t kReleaseMs = 1000;
// Replies still owed by calls given up; more and the link is given up.
constexpr size_t kMaxStale = 16;

constexpr int32_t kWaitTimedOut = 1;
constexpr int32_t kStaleDropped = 2;

uint32_t HostOrder(uint32_t networkOrder) {
    const auto *b = reinterpret_cast<const uint8_t *>(&networkOrder);
    return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
           static_cast<uint32_t>(b[2]) << 8 | b[3];
}

std::u16string Ascii(const std::string &text) { return std::u16string(text.begin(), text.end()); }

std::u16string Decimal(uint32_t value) { return Ascii(std::to_string(value)); }

uint32_t Sum(uint32_t a, uint32_t b) { return a > UINT32_MAX - b ? UINT32_MAX : a + b; }

}  // namespace

struct CXVR_VXI11Device::ReadState {
    uint8_t *buffer = nullptr;
    uint32_t limit = 0;
    uint32_t delivered = 0;
    bool delimiterMode = false;
    uint32_t matched = 0;
    bool found = false;  // the delimiter
    bool ended = false;  // END with the last byte delivered
    size_t taken = 0;    // of the data passed to Deliver
};

CXVR_VXI11Device::~CXVR_VXI11Device() { platform::SocketClose(m_Listener); }

int32_t CXVR_VXI11Device::Refused(const std::string &reason, std::u16string *error) const {
    *error = FormatText(kTextRefused, {m_sInterface, Ascii(reason)});
    return kStatusRefused;
}

int32_t CXVR_VXI11Device::Broken(const std::string &reason, std::u16string *error) {
    m_Core.Close();
    return Refused(reason, error);
}

int32_t CXVR_VXI11Device::DeviceError(uint32_t code, std::u16string *error) const {
    if (code == kErrLocked) {
        *error = FormatText(kTextLocked, {m_sInterface});
        return kStatusLocked;
    }
    if (code == kErrIoTimeout) return kStatusTransfer;
    return Refused("VXI-11 error " + std::to_string(code) + ": " + ErrorPhrase(code), error);
}

uint32_t CXVR_VXI11Device::LockFlags() const { return m_lLockTimeout > 0 ? kFlagWaitLock : 0; }

XdrWriter CXVR_VXI11Device::StartCall(uint32_t procedure) {
    BeginRecord(&m_Out);
    AppendCallHeader(&m_Out, ++m_lXid, kCoreProgram, kVxi11Version, procedure);
    return XdrWriter(&m_Out);
}

int32_t CXVR_VXI11Device::Exchange(const uint8_t *tail, size_t tailSize, uint32_t waitMs,
                                   size_t cap, XdrReader *results, std::u16string *error) {
    if (!m_Core.IsOpen()) {
        *error = FormatText(kTextConnectionLost, {m_sInterface});
        return kStatusConnectionLost;
    }
    const Deadline deadline = Deadline::In(Sum(waitMs, kReplyMarginMs));
    static const uint8_t kZeros[4] = {};
    if (tailSize <= kInlineTail) {
        // Small data goes in the same send as the call: one segment, one system call.
        m_Out.insert(m_Out.end(), tail, tail + tailSize);
        m_Out.insert(m_Out.end(), kZeros, kZeros + XdrPadding(tailSize));
        tail = nullptr;
        tailSize = 0;
    }
    FinishRecord(&m_Out, tailSize + XdrPadding(tailSize));
    int32_t status = m_Core.SendAll(m_Out.data(), m_Out.size(), deadline, m_sInterface, error);
    if (status == kStatusOk && tailSize > 0)
        status = m_Core.SendAll(tail, tailSize, deadline, m_sInterface, error);
    if (status == kStatusOk && XdrPadding(tailSize) > 0)
        status = m_Core.SendAll(kZeros, XdrPadding(tailSize), deadline, m_sInterface, error);
    if (status != kStatusOk) {
        // Part of a call may be on its way: the stream is out of step.
        m_Core.Close();
        return status;
    }
    status = ReceiveReply(deadline, cap, results, error);
    if (status == kWaitTimedOut) {
        GiveUpCall();
        return kStatusTransfer;
    }
    return status;
}

int32_t CXVR_VXI11Device::ReceiveReply(const Deadline &deadline, size_t cap, XdrReader *results,
                                       std::u16string *error, bool drain) {
    for (;;) {
        if (!m_Core.WaitReadable(deadline)) return kWaitTimedOut;
        // A reply has begun: its rest gets the time-out once more, so that a
        // large reply that is still flowing is not cut in half.
        const Deadline rest = Deadline::In(static_cast<int64_t>(deadline.Remaining()) + m_lTimeout);
        int32_t status = kStatusOk;
        // The mark is read first where a read may go straight to the host;
        // otherwise it is handed to ReadRecord as the first bytes it asks for.
        uint8_t mark[kRecordMarkSize];
        size_t marked = 0;
        if (m_Direct) {
            status = m_Core.ReceiveExact(mark, sizeof mark, rest, m_sInterface, error);
            if (status != kStatusOk) {
                m_Core.Close();
                return status;
            }
            if (ReceiveDirect(mark, cap, rest, &status, error)) {
                if (status == kStaleDropped) continue;
                return status;
            }
            marked = sizeof mark;
        }
        const RecordStatus record = ReadRecord(
            [&](uint8_t *into, size_t size) {
                if (marked > 0 && size == marked) {
                    std::memcpy(into, mark, marked);
                    marked = 0;
                    return true;
                }
                status = m_Core.ReceiveExact(into, size, rest, m_sInterface, error);
                return status == kStatusOk;
            },
            cap, &m_Reply);
        if (record == RecordStatus::kTooLarge)
            return Broken("RPC reply longer than " + std::to_string(cap) + " bytes", error);
        if (record != RecordStatus::kOk) {
            m_Core.Close();
            return status;
        }
        status = TakeReply(results, error);
        if (status != kStaleDropped) return status;
        if (drain) return kStatusOk;
    }
}

int32_t CXVR_VXI11Device::TakeReply(XdrReader *results, std::u16string *error) {
    RpcReply reply;
    if (!ParseReply(m_Reply.data(), m_Reply.size(), &reply))
        return Broken("malformed RPC reply", error);
    if (reply.xid != m_lXid) {
        const auto stale = std::find(m_Stale.begin(), m_Stale.end(), reply.xid);
        if (stale == m_Stale.end()) return Broken("RPC reply to a call never made", error);
        m_Stale.erase(stale);
        return kStaleDropped;
    }
    if (reply.outcome != RpcReply::Outcome::kSuccess)
        return Refused(DescribeRpcFailure(reply), error);
    *results = XdrReader(reply.results, reply.resultsSize);
    return kStatusOk;
}

// A whole device_read reply in m_Reply that ReceiveDirect could not take
// straight: its data is copied to the host (and what does not fit kept).
int32_t CXVR_VXI11Device::FinishParsedReply(std::u16string *error) {
    XdrReader results(nullptr, 0);
    const int32_t status = TakeReply(&results, error);
    if (status != kStatusOk) return status;
    ReadResp resp;
    if (!Decode(results, &resp, m_Reply.size()))
        return Broken("malformed device_read reply", error);
    DirectRead &d = *m_Direct;
    d.error = resp.error;
    d.reason = resp.reason;
    d.size = resp.size;
    const size_t first = std::min(resp.size, d.room);
    if (first > 0) std::memcpy(d.into, resp.data, first);
    m_Pending.assign(resp.data + first, resp.data + resp.size);
    m_lPendingStart = 0;
    d.used = true;
    return kStatusOk;
}

// The reply to the current device_read in one fragment, its verifier empty
// and large enough to be worth it: the head is read and checked, the data
// received where it belongs.  Any other shape goes the usual way; if the
// head was read by then, the reply is taken apart from it and the rest.
bool CXVR_VXI11Device::ReceiveDirect(const uint8_t mark[4], size_t cap, const Deadline &rest,
                                     int32_t *status, std::u16string *error) {
    constexpr size_t kHead = 36;  // xid .. accept_stat, error, reason, data length
    const FragmentMark fragment = DecodeRecordMark(mark);
    if (!fragment.last || fragment.length < kHead + kDirectMin || fragment.length > cap)
        return false;
    // A fault while the record is half read leaves the stream out of step.
    const auto failed = [&] {
        if (*status == kStatusOk) return false;
        m_Core.Close();
        return true;
    };
    uint8_t head[kHead];
    *status = m_Core.ReceiveExact(head, sizeof head, rest, m_sInterface, error);
    if (failed()) return true;
    XdrReader r(head, sizeof head);
    uint32_t xid = 0, type = 0, replyStat = 0, flavor = 0, verifier = 0, accept = 0, length = 0;
    DirectRead &d = *m_Direct;
    const bool direct =
        r.U32(&xid) && r.U32(&type) && r.U32(&replyStat) && r.U32(&flavor) && r.U32(&verifier) &&
        r.U32(&accept) && r.U32(&d.error) && r.U32(&d.reason) && r.U32(&length) && xid == m_lXid &&
        type == kMsgReply && replyStat == 0 && verifier == 0 && accept == kAcceptSuccess &&
        length <= fragment.length - kHead && XdrPadding(length) == fragment.length - kHead - length;
    if (!direct) {
        // The usual way after all: the whole record, head included.
        m_Reply.resize(fragment.length);
        std::memcpy(m_Reply.data(), head, sizeof head);
        *status = m_Core.ReceiveExact(m_Reply.data() + kHead, fragment.length - kHead, rest,
                                      m_sInterface, error);
        if (!failed()) *status = FinishParsedReply(error);
        return true;
    }
    const size_t first = std::min<size_t>(length, d.room);
    *status = m_Core.ReceiveExact(d.into, first, rest, m_sInterface, error);
    if (*status == kStatusOk && length > first) {
        m_Pending.resize(length - first);
        m_lPendingStart = 0;
        *status = m_Core.ReceiveExact(m_Pending.data(), length - first, rest, m_sInterface, error);
    }
    uint8_t padding[4];
    if (*status == kStatusOk)
        *status = m_Core.ReceiveExact(padding, XdrPadding(length), rest, m_sInterface, error);
    failed();
    d.used = true;
    d.size = length;
    return true;
}

void CXVR_VXI11Device::GiveUpCall() {
    if (m_Stale.size() >= kMaxStale) {
        m_Core.Close();
        return;
    }
    m_Stale.push_back(m_lXid);
    // Late replies are dropped whole, never received into a host's buffer.
    DirectRead *const direct = m_Direct;
    m_Direct = nullptr;
    std::u16string ignored;
    const Deadline deadline = Deadline::In(kAbortMs);
    if (!m_Abort.IsOpen() && m_lAbortPort != 0)
        m_Abort.Connect(m_lAddress, static_cast<uint16_t>(m_lAbortPort), deadline, &ignored);
    if (m_Abort.IsOpen()) {
        std::vector<uint8_t> call;
        BeginRecord(&call);
        AppendCallHeader(&call, ++m_lXid, kAbortProgram, kVxi11Version, kProcDeviceAbort);
        XdrWriter w(&call);
        EncodeU32(m_lLink, w);
        FinishRecord(&call);
        std::vector<uint8_t> reply;
        const bool answered =
            m_Abort.SendAll(call.data(), call.size(), deadline, m_sInterface, &ignored) ==
                kStatusOk &&
            ReadRecord(
                [&](uint8_t *into, size_t size) {
                    return m_Abort.ReceiveExact(into, size, deadline, m_sInterface, &ignored) ==
                           kStatusOk;
                },
                kSmallRecordCap, &reply) == RecordStatus::kOk;
        if (!answered) m_Abort.Close();
    }
    // The aborted call's reply usually follows at once; take it now so the
    // next call starts in step.  Whatever comes later is dropped by its xid.
    const Deadline grace = Deadline::In(kAbortMs);
    const uint32_t current = m_lXid;
    m_lXid = 0;  // no reply matches: each is dropped or breaks the link
    while (!m_Stale.empty() && m_Core.IsOpen()) {
        XdrReader unused(nullptr, 0);
        if (ReceiveReply(grace, kMinReadCap + kMaxReadRequest + kReplyHeadRoom, &unused, &ignored,
                         true) != kStatusOk)
            break;
    }
    m_lXid = current;
    m_Direct = direct;
}

int32_t CXVR_VXI11Device::Connect(uint32_t address, uint16_t portmapperPort,
                                  const Deadline &deadline, std::u16string *error) {
    m_lAddress = address;
    // The portmapper tells the core channel's port.
    LanStream portmapper;
    int32_t status = portmapper.Connect(address, portmapperPort, deadline, error);
    if (status != kStatusOk) return status;
    std::vector<uint8_t> call;
    BeginRecord(&call);
    AppendCallHeader(&call, 1, kPortmapProgram, kPortmapVersion, kPortmapGetPort);
    XdrWriter w(&call);
    Encode(PortmapMapping{kCoreProgram, kVxi11Version, kProtocolTcp, 0}, w);
    FinishRecord(&call);
    status = portmapper.SendAll(call.data(), call.size(), deadline, m_sInterface, error);
    if (status != kStatusOk) return status;
    std::vector<uint8_t> record;
    const RecordStatus got = ReadRecord(
        [&](uint8_t *into, size_t size) {
            status = portmapper.ReceiveExact(into, size, deadline, m_sInterface, error);
            return status == kStatusOk;
        },
        kSmallRecordCap, &record);
    if (got == RecordStatus::kReadFailed) return status;
    RpcReply reply;
    uint32_t port = 0;
    if (got == RecordStatus::kTooLarge || !ParseReply(record.data(), record.size(), &reply) ||
        reply.xid != 1)
        return Refused("malformed portmapper reply", error);
    if (reply.outcome != RpcReply::Outcome::kSuccess)
        return Refused("portmapper: " + DescribeRpcFailure(reply), error);
    XdrReader results(reply.results, reply.resultsSize);
    if (!DecodeU32(results, &port) || port > 0xFFFF)
        return Refused("malformed portmapper reply", error);
    if (port == 0) return Refused("portmapper: no VXI-11 core channel registered", error);
    portmapper.Close();

    status = m_Core.Connect(address, static_cast<uint16_t>(port), deadline, error);
    if (status != kStatusOk) return status;
    XdrWriter args = StartCall(kProcCreateLink);
    CreateLinkParms parms;
    parms.clientId = static_cast<int32_t>(reinterpret_cast<uintptr_t>(this) & 0x7FFFFFFF);
    parms.lockDevice = m_lLockTimeout > 0;
    parms.lockTimeout = m_lLockTimeout;
    parms.device = m_sDevice;
    Encode(parms, args);
    XdrReader results2(nullptr, 0);
    status = Exchange(nullptr, 0, deadline.Remaining(), kSmallRecordCap, &results2, error);
    if (status != kStatusOk) {
        m_Core.Close();
        return status;
    }
    CreateLinkResp link;
    if (!Decode(results2, &link)) return Broken("malformed create_link reply", error);
    if (link.error != kErrNone) {
        const int32_t failed = DeviceError(link.error, error);
        m_Core.Close();
        return failed;
    }
    m_lLink = link.lid;
    m_lAbortPort = link.abortPort & 0xFFFF;
    m_lMaxRecvSize = link.maxRecvSize;
    return kStatusOk;
}

void CXVR_VXI11Device::Release() {
    std::u16string ignored;
    XdrReader results(nullptr, 0);
    if (m_Core.IsOpen() && m_bInterruptChannel) {
        // Requests not yet read would make the close a reset.
        TakeInterrupts(0);
        StartCall(kProcDestroyIntrChan);
        Exchange(nullptr, 0, kReleaseMs, kSmallRecordCap, &results, &ignored);
    }
    if (m_Core.IsOpen()) {
        XdrWriter args = StartCall(kProcDestroyLink);
        EncodeU32(m_lLink, args);
        Exchange(nullptr, 0, kReleaseMs, kSmallRecordCap, &results, &ignored);
    }
    m_Core.Close();
    m_Abort.Close();
    m_Interrupt.Close();
    platform::SocketClose(m_Listener);
    m_Listener = platform::kInvalidSocket;
}

void CXVR_VXI11Device::Deliver(ReadState &s, const uint8_t *data, size_t size, bool endAtLast) {
    size_t taken = 0;
    if (!s.delimiterMode) {
        taken = std::min<size_t>(size, s.limit - s.delivered);
        if (taken > 0 && s.buffer + s.delivered != data)
            std::memcpy(s.buffer + s.delivered, data, taken);
        s.delivered += static_cast<uint32_t>(taken);
    } else {
        // The running match of the network driver: a byte that breaks a
        // partial match may begin the next one.
        while (s.matched < m_lDelimiterLength && s.delivered < s.limit && taken < size) {
            if (s.matched == 0) {
                const size_t span = std::min<size_t>(s.limit - s.delivered, size - taken);
                const void *hit = std::memchr(data + taken, m_Delimiter[0], span);
                const size_t run =
                    hit ? static_cast<size_t>(static_cast<const uint8_t *>(hit) - (data + taken))
                        : span;
                if (s.buffer + s.delivered != data + taken)
                    std::memcpy(s.buffer + s.delivered, data + taken, run);
                s.delivered += static_cast<uint32_t>(run);
                taken += run;
                if (!hit) break;
            }
            const uint8_t b = data[taken++];
            s.buffer[s.delivered++] = b;  // the same byte where the data is in place
            s.matched = b == m_Delimiter[s.matched]
                            ? s.matched + 1
                            : DelimiterStartAtEnd(s.buffer, s.delivered, s.matched);
        }
        s.found = s.matched == m_lDelimiterLength;
    }
    if (taken == size && endAtLast) s.ended = true;
    s.taken = taken;
}

// A read asks for the room left in the host's buffer, so a server that
// keeps to its request never sends more than fits; bytes a server sends
// beyond it, and bytes after a delimiter, wait for the next read.
int32_t CXVR_VXI11Device::Read(uint8_t *buffer, int32_t *length, uint32_t flags,
                               std::u16string *error) {
    const uint32_t size = static_cast<uint32_t>(*length);
    *length = 0;
    ReadState s;
    s.buffer = buffer;
    s.limit = (flags & kReadZeroTerminate) && size > 0 ? size - 1 : size;
    s.delimiterMode = (flags & kReadStopAtDelimiter) != 0;
    if (s.delimiterMode && m_lDelimiterLength == 0)
        return FinishRead(ReadEnd::kDelimiter, buffer, 0, s.limit, flags, 0, length);
    const bool termChar = s.delimiterMode && m_lDelimiterLength == 1;

    int32_t status = kStatusOk;
    while (!s.found && !s.ended && s.delivered < s.limit) {
        if (m_lPendingStart < m_Pending.size()) {
            Deliver(s, m_Pending.data() + m_lPendingStart, m_Pending.size() - m_lPendingStart,
                    m_bPendingEnd);
            m_lPendingStart += s.taken;
            continue;
        }
        m_Pending.clear();
        m_lPendingStart = 0;
        m_bPendingEnd = false;
        const uint32_t request = std::min(s.limit - s.delivered, kMaxReadRequest);
        XdrWriter args = StartCall(kProcDeviceRead);
        ReadParms parms;
        parms.lid = m_lLink;
        parms.requestSize = request;
        parms.ioTimeout = m_lTimeout;
        parms.lockTimeout = m_lLockTimeout;
        parms.flags = LockFlags() | (termChar ? kFlagTermCharSet : 0);
        parms.termChar = termChar ? m_Delimiter[0] : 0;
        Encode(parms, args);
        const size_t cap = std::max<size_t>(request, kMinReadCap) + kReplyHeadRoom;
        XdrReader results(nullptr, 0);
        DirectRead direct;
        direct.into = s.buffer + s.delivered;
        direct.room = s.limit - s.delivered;
        m_Direct = &direct;
        status = Exchange(nullptr, 0, Sum(m_lTimeout, m_lLockTimeout), cap, &results, error);
        m_Direct = nullptr;
        if (status != kStatusOk) break;
        ReadResp resp;
        if (direct.used) {
            // The data is in the host's buffer already (and what did not
            // fit in m_Pending): Deliver only scans it.
            resp.error = direct.error;
            resp.reason = direct.reason;
            const size_t first = std::min(direct.size, direct.room);
            const bool end = (resp.reason & kReasonEnd) != 0;
            if (resp.error != kErrNone && direct.size == 0) {
                status = DeviceError(resp.error, error);
                break;
            }
            if (direct.size == 0 && !end) {
                status = kStatusTransfer;
                break;
            }
            Deliver(s, direct.into, first, end && first == direct.size);
            if (s.taken < first) {
                // Bytes after the delimiter go back in front of the rest.
                m_Pending.insert(m_Pending.begin(), direct.into + s.taken, direct.into + first);
            }
            m_bPendingEnd = end;
            if (m_Pending.empty()) m_bPendingEnd = false;
            if (resp.error != kErrNone) {
                status = DeviceError(resp.error, error);
                break;
            }
            continue;
        }
        if (!Decode(results, &resp, cap)) {
            status = Broken("malformed device_read reply", error);
            break;
        }
        if (resp.error != kErrNone && resp.size == 0) {
            status = DeviceError(resp.error, error);
            break;
        }
        const bool end = (resp.reason & kReasonEnd) != 0;
        if (resp.size == 0 && !end) {
            // Nothing and no end: the server keeps nothing back for us.
            status = kStatusTransfer;
            break;
        }
        Deliver(s, resp.data, resp.size, end);
        if (s.taken < resp.size) {
            m_Pending.assign(resp.data + s.taken, resp.data + resp.size);
            m_bPendingEnd = end;
        }
        if (resp.error != kErrNone) {
            status = DeviceError(resp.error, error);
            break;
        }
    }
    KeepArrivedServiceRequest();
    if (status != kStatusOk && s.delivered == 0 && !s.found && !s.ended) {
        *length = 0;
        return status;
    }
    if (status != kStatusOk && !s.found && !s.ended && s.delivered < s.limit) {
        FinishRead(ReadEnd::kShort, buffer, s.delivered, s.limit, flags, 0, length);
        return status;
    }
    error->clear();
    if (s.found)
        return FinishRead(ReadEnd::kDelimiter, buffer, s.delivered, s.limit, flags,
                          m_lDelimiterLength, length);
    if (s.ended)
        return FinishRead(ReadEnd::kDelimiter, buffer, s.delivered, s.limit, flags, 0, length);
    return FinishRead(ReadEnd::kBufferFull, buffer, s.delivered, s.limit, flags, 0, length);
}

int32_t CXVR_VXI11Device::Write(const uint8_t *data, int32_t *length, uint32_t flags,
                                std::u16string *error) {
    const size_t count = static_cast<size_t>(*length);
    const size_t extra = (flags & kWriteAppendDelimiter) ? m_lDelimiterLength : 0;
    const size_t total = count + extra;
    if (total > 0x7FFFFFFF) return kStatusTransfer;
    std::vector<uint8_t> block;
    const uint8_t *bytes = data;
    if (extra > 0) {
        block.resize(total);
        if (count > 0) std::memcpy(block.data(), data, count);
        std::memcpy(block.data() + count, m_Delimiter, extra);
        bytes = block.data();
    }
    const size_t piece = std::max(m_lMaxRecvSize, kMinWritePiece);
    size_t sent = 0;
    int32_t status = kStatusOk;
    do {
        const size_t part = std::min(total - sent, piece);
        const bool last = sent + part == total;
        XdrWriter args = StartCall(kProcDeviceWrite);
        WriteParms parms;
        parms.lid = m_lLink;
        parms.ioTimeout = m_lTimeout;
        parms.lockTimeout = m_lLockTimeout;
        parms.flags = LockFlags() | (last ? kFlagEnd : 0);
        parms.size = part;
        EncodeHead(parms, args);
        XdrReader results(nullptr, 0);
        status = Exchange(bytes + sent, part, Sum(m_lTimeout, m_lLockTimeout), kSmallRecordCap,
                          &results, error);
        if (status != kStatusOk) break;
        WriteResp resp;
        if (!Decode(results, &resp)) {
            status = Broken("malformed device_write reply", error);
            break;
        }
        sent += std::min<size_t>(resp.size, part);
        if (resp.error != kErrNone) {
            status = DeviceError(resp.error, error);
            break;
        }
        // A server that takes nothing and reports no error would keep us here.
        if (resp.size == 0 && part > 0) {
            status = kStatusTransfer;
            break;
        }
    } while (sent < total);
    KeepArrivedServiceRequest();
    if (sent > 0 || status == kStatusOk) *length = static_cast<int32_t>(sent);
    return status;
}

int32_t CXVR_VXI11Device::SimpleCall(uint32_t waitMs, std::u16string *error) {
    XdrReader results(nullptr, 0);
    const int32_t status = Exchange(nullptr, 0, waitMs, kSmallRecordCap, &results, error);
    if (status != kStatusOk) return status;
    uint32_t code = 0;
    if (!DecodeU32(results, &code)) return Broken("malformed VXI-11 reply", error);
    return code == kErrNone ? kStatusOk : DeviceError(code, error);
}

int32_t CXVR_VXI11Device::Generic(uint32_t procedure, std::u16string *error) {
    XdrWriter args = StartCall(procedure);
    Encode(GenericParms{m_lLink, LockFlags(), m_lLockTimeout, m_lTimeout}, args);
    return SimpleCall(Sum(m_lTimeout, m_lLockTimeout), error);
}

int32_t CXVR_VXI11Device::ReadStatusByte(uint8_t *stb, std::u16string *error) {
    XdrWriter args = StartCall(kProcDeviceReadStb);
    Encode(GenericParms{m_lLink, LockFlags(), m_lLockTimeout, m_lTimeout}, args);
    XdrReader results(nullptr, 0);
    const int32_t status =
        Exchange(nullptr, 0, Sum(m_lTimeout, m_lLockTimeout), kSmallRecordCap, &results, error);
    if (status != kStatusOk) return status;
    ReadStbResp resp;
    if (!Decode(results, &resp)) return Broken("malformed device_readstb reply", error);
    if (resp.error != kErrNone) return DeviceError(resp.error, error);
    *stb = resp.stb;
    return kStatusOk;
}

int32_t CXVR_VXI11Device::SetLock(const LockRequest &lock, std::u16string *error) {
    if (lock.kind == LockRequest::kExclusive) {
        if (m_bLocked) return kStatusOk;
        XdrWriter args = StartCall(kProcDeviceLock);
        Encode(LockParms{m_lLink, LockFlags(), m_lLockTimeout}, args);
        const int32_t status = SimpleCall(m_lLockTimeout, error);
        if (status == kStatusOk) m_bLocked = true;
        return status;
    }
    if (!m_bLocked) return kStatusOk;
    XdrWriter args = StartCall(kProcDeviceUnlock);
    EncodeU32(m_lLink, args);
    XdrReader results(nullptr, 0);
    const int32_t status = Exchange(nullptr, 0, m_lTimeout, kSmallRecordCap, &results, error);
    if (status != kStatusOk) return status;
    uint32_t code = 0;
    if (!DecodeU32(results, &code)) return Broken("malformed VXI-11 reply", error);
    // "No lock held": the server has let it go already.
    if (code != kErrNone && code != kErrNoLock) return DeviceError(code, error);
    m_bLocked = false;
    return kStatusOk;
}

int32_t CXVR_VXI11Device::EnableServiceRequests(std::u16string *error) {
    if (m_bSrqEnabled) return kStatusOk;
    if (!m_Core.IsOpen()) {
        *error = FormatText(kTextConnectionLost, {m_sInterface});
        return kStatusConnectionLost;
    }
    if (!m_bInterruptChannel) {
        // The server connects back to the address it reaches us at.
        uint32_t local = 0, code = 0;
        uint16_t port = 0;
        if (m_Listener == platform::kInvalidSocket) {
            uint16_t corePort = 0;
            code = platform::SocketLocalPort(m_Core.Handle(), &local, &corePort);
            if (code == 0) code = platform::SocketListen(local, 0, &m_Listener);
            if (code != 0)
                return Refused("no interrupt channel: " + platform::WideToAnsi(SystemText(code)),
                               error);
        }
        code = platform::SocketLocalPort(m_Listener, &local, &port);
        if (code != 0) return Refused("no interrupt channel", error);
        XdrWriter args = StartCall(kProcCreateIntrChan);
        RemoteFunc func;
        func.hostAddr = HostOrder(local);
        func.hostPort = port;
        Encode(func, args);
        const int32_t status = SimpleCall(m_lTimeout, error);
        if (status != kStatusOk) {
            platform::SocketClose(m_Listener);
            m_Listener = platform::kInvalidSocket;
            // Whatever the server's reason, SRQ cannot work: refused.
            if (status == kStatusConnectionLost || status == kStatusRefused) return status;
            return Refused("no interrupt channel", error);
        }
        m_bInterruptChannel = true;
    }
    m_sSrqHandle = "xvr" + std::to_string(m_lLink);
    XdrWriter args = StartCall(kProcDeviceEnableSrq);
    Encode(EnableSrqParms{m_lLink, true, m_sSrqHandle}, args);
    int32_t status = SimpleCall(m_lTimeout, error);
    if (status == kStatusTransfer || status == kStatusLocked)
        status = Refused("device_enable_srq failed", error);
    if (status == kStatusOk) m_bSrqEnabled = true;
    return status;
}

int32_t CXVR_VXI11Device::DisableServiceRequests(std::u16string *error) {
    int32_t status = kStatusOk;
    if (m_bSrqEnabled) {
        XdrWriter args = StartCall(kProcDeviceEnableSrq);
        Encode(EnableSrqParms{m_lLink, false, m_sSrqHandle}, args);
        status = SimpleCall(m_lTimeout, error);
        if (status == kStatusOk) m_bSrqEnabled = false;
        TakeInterrupts(0);
    }
    m_Kept.Drop();
    return status;
}

bool CXVR_VXI11Device::TakeInterrupts(uint32_t waitMs) {
    const Deadline deadline = Deadline::In(waitMs);
    bool request = false;
    for (;;) {
        if (!m_Interrupt.IsOpen()) {
            if (m_Listener == platform::kInvalidSocket) return request;
            uint32_t code = 0;
            platform::SocketHandle accepted = platform::kInvalidSocket;
            if (platform::SocketAccept(m_Listener, &accepted) == 0) {
                m_Interrupt.Adopt(accepted);
                continue;
            }
            if (request || deadline.Expired() ||
                platform::SocketWait(m_Listener, false, deadline.Remaining(), &code) <= 0)
                return request;
            continue;
        }
        if (!m_Interrupt.Readable()) {
            uint32_t code = 0;
            if (request || deadline.Expired() ||
                platform::SocketWait(m_Interrupt.Handle(), false, deadline.Remaining(), &code) <= 0)
                return request;
            continue;
        }
        std::u16string ignored;
        std::vector<uint8_t> record;
        const Deadline rest = Deadline::In(kAbortMs);
        if (ReadRecord(
                [&](uint8_t *into, size_t size) {
                    return m_Interrupt.ReceiveExact(into, size, rest, m_sInterface, &ignored) ==
                           kStatusOk;
                },
                kSmallRecordCap, &record) != RecordStatus::kOk) {
            // The server went away or sent garbage; it may connect again.
            m_Interrupt.Close();
            continue;
        }
        RpcCall call;
        if (!ParseCall(record.data(), record.size(), &call)) {
            m_Interrupt.Close();
            continue;
        }
        XdrReader args(call.args, call.argsSize);
        SrqParms srq;
        const bool ours = call.program == kInterruptProgram &&
                          call.procedure == kProcDeviceIntrSrq && Decode(args, &srq);
        std::vector<uint8_t> reply;
        BeginRecord(&reply);
        AppendAcceptedReply(&reply, call.xid,
                            call.program != kInterruptProgram ? kAcceptProgUnavail
                            : call.procedure != kProcDeviceIntrSrq && call.procedure != 0
                                ? kAcceptProcUnavail
                                : kAcceptSuccess);
        FinishRecord(&reply);
        m_Interrupt.SendAll(reply.data(), reply.size(), rest, m_sInterface, &ignored);
        // Every link of ours carries its own handle; an empty one is taken as ours.
        if (ours && (srq.handle.empty() || srq.handle == m_sSrqHandle)) request = true;
    }
}

void CXVR_VXI11Device::KeepArrivedServiceRequest() {
    if (!m_bSrqEnabled || !TakeInterrupts(0)) return;
    uint8_t stb = 0;
    std::u16string ignored;
    if (ReadStatusByte(&stb, &ignored) == kStatusOk) m_Kept.Keep(stb);
}

int32_t CXVR_VXI11Device::WaitServiceRequest(uint8_t *stb, std::u16string *error) {
    int32_t status = EnableServiceRequests(error);
    if (status != kStatusOk) return status;
    if (m_Kept.Take(stb)) return kStatusOk;
    if (!TakeInterrupts(m_lTimeout)) return kStatusTransfer;
    return ReadStatusByte(stb, error);
}

int32_t CXVR_VXI11Device::ParamGet(const std::u16string &key, std::u16string *value,
                                   std::u16string *error) {
    int32_t status = kStatusOk;
    if (key == u"TIMEOUT") {
        *value = FormatTimeoutValue(m_lTimeout);
    } else if (key == u"DELIMITER") {
        *value = FormatDelimiterValue(m_Delimiter, m_lDelimiterLength);
    } else if (key == kParamLockTimeout) {
        *value = Decimal(m_lLockTimeout);
    } else if (key == kParamMaxRecv) {
        *value = Decimal(m_lMaxRecvSize);
    } else if (key == kParamLock) {
        *value = m_bLocked ? u"EXCLUSIVE" : u"NONE";
    } else if (key == kParamStb || key == kParamSrq) {
        uint8_t stb = 0;
        status = key == kParamStb ? ReadStatusByte(&stb, error) : WaitServiceRequest(&stb, error);
        if (status == kStatusOk) *value = Decimal(stb);
        if (key == kParamStb) KeepArrivedServiceRequest();
    } else {
        return UnsupportedParam(key, m_sInterface, error);
    }
    return status;
}

int32_t CXVR_VXI11Device::ParamSet(const std::u16string &key, std::u16string_view value,
                                   std::u16string *error) {
    int32_t status = kStatusOk;
    if (SetCommonParam(this, key, value, error, &status)) return status;
    if (key == kParamLockTimeout) {
        int32_t ms = 0;
        if (!ScanDecimal(value, &ms)) return kStatusOk;  // no digits: unchanged, as for TIMEOUT
        if (ms < 0) return InvalidParamValue(key, error);
        m_lLockTimeout = static_cast<uint32_t>(ms);
    } else if (key == kParamMaxRecv) {
        return InvalidParamValue(key, error);
    } else if (key == kParamClear) {
        status = Generic(kProcDeviceClear, error);
        // What the instrument had to say is gone; so is what we kept of it.
        m_Pending.clear();
        m_lPendingStart = 0;
        m_bPendingEnd = false;
    } else if (key == kParamTrigger) {
        status = Generic(kProcDeviceTrigger, error);
    } else if (key == kParamLock) {
        LockRequest lock;
        if (!ParseLock(value, false, &lock)) return InvalidParamValue(key, error);
        status = SetLock(lock, error);
    } else if (key == kParamSrq) {
        bool enable = false;
        if (!ParseSrqEnable(value, &enable)) return InvalidParamValue(key, error);
        status = enable ? EnableServiceRequests(error) : DisableServiceRequests(error);
    } else if (key == kParamRemote) {
        RemoteRequest request;
        if (!ParseRemote(value, &request) || request == RemoteRequest::kLockout)
            return InvalidParamValue(key, error);
        status = Generic(request == RemoteRequest::kRemote ? kProcDeviceRemote : kProcDeviceLocal,
                         error);
    } else {
        return UnsupportedParam(key, m_sInterface, error);
    }
    if (key != kParamSrq) KeepArrivedServiceRequest();
    return status;
}

}  // namespace xvr
