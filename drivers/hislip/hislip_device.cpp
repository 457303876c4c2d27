#include "drivers/hislip/hislip_device.h"

#include <algorithm>
#include <cstring>

#include "base/strings.h"
#include "base/texts.h"
#include "drivers/driver.h"
#include "drivers/read_end.h"
#include "platform/socket.h"

namespace xvr {

namespace hs = hislip;

namespace {

constexpr char kVendor[2] = {'X', 'V'};
// Delimiter reads take the stream in pieces of this size, so that what
// follows a delimiter is never more than this to keep.
constexpr size_t kCarrySize = 64 * 1024;
// Of a server's text, this much is shown.
constexpr size_t kMaxReasonText = 256;
// More unanswered requests than this: the server does not answer at all.
constexpr size_t kMaxOwed = 16;
// A fault is reported to the server within this time, or not at all.
constexpr uint32_t kFaultSendMs = 100;

std::string Printable(const std::string &text) {
    std::string out;
    for (char c : text.substr(0, kMaxReasonText)) out += (c >= 0x20 && c <= 0x7E) ? c : '?';
    return out;
}

std::u16string Wide(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::u16string Decimal(uint64_t value) { return Ascii(std::to_string(value)); }

}  // namespace

// --- Messages ---------------------------------------------------------------

int32_t CXVR_HiSLIPDevice::Lost(std::u16string *error) {
    Kill();
    *error = FormatText(kTextConnectionLost, {m_sInterface});
    return kStatusConnectionLost;
}

void CXVR_HiSLIPDevice::Kill() {
    m_bDead = true;
    m_Sync.stream.Close();
    m_Async.stream.Close();
}

// The server broke the protocol: it is told (if it still listens), the
// session ends, and later calls report the lost connection.
int32_t CXVR_HiSLIPDevice::Fault(const std::string &reason, std::u16string *error) {
    if (m_Sync.stream.IsOpen()) {
        std::u16string ignored;
        const std::string fatal = hs::Message(hs::kFatalError, hs::kFatalUnidentified, 0, reason);
        m_Sync.stream.SendAll(reinterpret_cast<const uint8_t *>(fatal.data()), fatal.size(),
                              Deadline::In(kFaultSendMs), m_sInterface, &ignored);
    }
    Kill();
    *error = FormatText(kTextRefused, {m_sInterface, Wide("HiSLIP protocol fault: " + reason)});
    return kStatusRefused;
}

int32_t CXVR_HiSLIPDevice::ServerError(const hs::Header &h, const std::string &payload,
                                       std::u16string *error) {
    const bool fatal = h.type == hs::kFatalError;
    std::string reason = std::string(fatal ? "FatalError " : "Error ") + std::to_string(h.control) +
                         " (" + hs::ErrorCodeName(fatal, h.control) + ")";
    if (!payload.empty()) reason += ": " + Printable(payload);
    if (fatal) Kill();
    *error = FormatText(kTextRefused, {m_sInterface, Wide(reason)});
    return kStatusRefused;
}

int32_t CXVR_HiSLIPDevice::Send(Channel &c, const std::string &message, const Deadline &deadline,
                                std::u16string *error) {
    if (m_bDead) return Lost(error);
    const int32_t status = c.stream.SendAll(reinterpret_cast<const uint8_t *>(message.data()),
                                            message.size(), deadline, m_sInterface, error);
    if (status == kStatusConnectionLost) Kill();
    return status;
}

// A header received in parts over several calls is put together: a
// time-out in its middle loses nothing.
int32_t CXVR_HiSLIPDevice::ReadHeader(Channel &c, const Deadline &deadline, hs::Header *h,
                                      std::u16string *error) {
    if (m_bDead) return Lost(error);
    size_t got = 0;
    const int32_t status = c.stream.ReceiveExact(c.header + c.have, hs::kHeaderSize - c.have,
                                                 deadline, m_sInterface, error, &got);
    c.have += got;
    if (status == kStatusConnectionLost) Kill();
    if (status != kStatusOk) return status;
    c.have = 0;
    const hs::Check check = hs::ParseHeader(c.header, hs::Receiver::kClient, c.kind, UINT64_MAX, h);
    if (check != hs::Check::kOk)
        return Fault(
            std::string(hs::CheckText(check)) + " (type " + std::to_string(c.header[2]) + ")",
            error);
    return kStatusOk;
}

// Keeps the first kMaxReasonText bytes of a control message's payload (at
// most 1 MiB, checked with the header) and drops the rest.  A payload cut
// off by the time-out leaves the channel out of step: a fault.
int32_t CXVR_HiSLIPDevice::ReadPayload(Channel &c, uint64_t length, const Deadline &deadline,
                                       std::string *kept, std::u16string *error) {
    kept->assign(static_cast<size_t>(std::min<uint64_t>(length, kMaxReasonText)), '\0');
    int32_t status = c.stream.ReceiveExact(reinterpret_cast<uint8_t *>(&(*kept)[0]), kept->size(),
                                           deadline, m_sInterface, error);
    if (status == kStatusOk)
        status = c.stream.Skip(length - kept->size(), deadline, m_sInterface, error);
    if (status == kStatusConnectionLost) return Lost(error);
    if (status != kStatusOk) return Fault("message payload cut off", error);
    return kStatusOk;
}

int32_t CXVR_HiSLIPDevice::ReadMessage(Channel &c, const Deadline &deadline, hs::Header *h,
                                       std::string *payload, std::u16string *error) {
    int32_t status = ReadHeader(c, deadline, h, error);
    if (status == kStatusOk) status = ReadPayload(c, h->length, deadline, payload, error);
    return status;
}

// --- Open and close ---------------------------------------------------------

int32_t CXVR_HiSLIPDevice::Connect(uint32_t address, const Deadline &deadline,
                                   std::u16string *error) {
    hs::Header h;
    std::string payload;
    auto fail = [&](int32_t status) {
        Kill();
        if (status == kStatusTransfer && error->empty()) {
            *error = FormatText(kTextConnectFailed, {SystemText(platform::SocketTimedOutError())});
            status = kStatusOpenFailed;
        }
        return status;
    };
    int32_t status = m_Sync.stream.Connect(address, m_nPort, deadline, error);
    if (status == kStatusOk)
        status =
            Send(m_Sync, hs::Initialize(hs::kVersion, kVendor, m_sSubAddress), deadline, error);
    if (status == kStatusOk) status = ReadMessage(m_Sync, deadline, &h, &payload, error);
    if (status != kStatusOk) return fail(status);
    if (h.type == hs::kError || h.type == hs::kFatalError)
        return fail(ServerError(h, payload, error));
    if (h.type != hs::kInitializeResponse)
        return fail(
            Fault(std::string("unexpected ") + hs::TypeName(h.type) + " before InitializeResponse",
                  error));
    const uint16_t session = static_cast<uint16_t>(h.parameter);
    m_bOverlapped = (h.control & hs::kPreferOverlap) != 0;

    status = m_Async.stream.Connect(address, m_nPort, deadline, error);
    if (status == kStatusOk) status = Send(m_Async, hs::AsyncInitialize(session), deadline, error);
    if (status == kStatusOk) status = ReadMessage(m_Async, deadline, &h, &payload, error);
    if (status != kStatusOk) return fail(status);
    if (h.type == hs::kError || h.type == hs::kFatalError)
        return fail(ServerError(h, payload, error));
    if (h.type != hs::kAsyncInitializeResponse)
        return fail(Fault(
            std::string("unexpected ") + hs::TypeName(h.type) + " before AsyncInitializeResponse",
            error));

    status = AsyncRequest(hs::kAsyncMaximumMessageSize, 0, 0,
                          hs::MaximumMessageSize(hs::kAsyncMaximumMessageSize, kClientMaxMessage)
                              .substr(hs::kHeaderSize),
                          hs::kAsyncMaximumMessageSizeResponse, deadline, &h, error);
    if (status != kStatusOk) return fail(status);
    if (m_AsyncPayload.size() < 8)
        return fail(Fault("AsyncMaximumMessageSizeResponse without a size", error));
    m_lServerMax =
        hs::ReadMaximumMessageSize(reinterpret_cast<const uint8_t *>(m_AsyncPayload.data()));
    if (m_lServerMax <= hs::kHeaderSize)
        return fail(Fault("maximum message size " + std::to_string(m_lServerMax), error));

    // Synchronized by default, also where the server prefers overlapped.
    if (m_bOverlapped) {
        status = ClearHandshake(false, deadline, error);
        if (status != kStatusOk) return fail(status);
    }
    return kStatusOk;
}

void CXVR_HiSLIPDevice::Release() { Kill(); }

// --- Asynchronous channel ---------------------------------------------------

int32_t CXVR_HiSLIPDevice::PumpAsync(const Deadline &deadline, hs::Header *answer, bool *answered,
                                     std::u16string *error) {
    *answered = false;
    hs::Header h;
    std::string payload;
    const int32_t status = ReadMessage(m_Async, deadline, &h, &payload, error);
    if (status != kStatusOk) return status;
    switch (h.type) {
    case hs::kAsyncServiceRequest:
        if (m_bSrqEnabled) m_Srq.Keep(h.control);
        return kStatusOk;
    case hs::kAsyncInterrupted: return kStatusOk;
    case hs::kError:
    case hs::kFatalError: {
        // An error answers the oldest request still owed.
        const bool mine = !m_Owed.empty() && !m_Owed.front().abandoned;
        if (!m_Owed.empty()) m_Owed.pop_front();
        if (mine || h.type == hs::kFatalError) return ServerError(h, payload, error);
        return kStatusOk;
    }
    default: break;
    }
    if (m_Owed.empty() || m_Owed.front().type != h.type)
        return Fault(std::string("unexpected ") + hs::TypeName(h.type), error);
    const Owed owed = m_Owed.front();
    m_Owed.pop_front();
    if (!owed.abandoned) {
        *answer = h;
        *answered = true;
        m_AsyncPayload = std::move(payload);
    } else if (owed.lockRequest && h.control == hs::kLockSuccess) {
        // Granted after the host was told it failed: give it back.
        const int32_t sent = Send(
            m_Async, hs::Message(hs::kAsyncLock, hs::kLockRelease, m_nLastSentId), deadline, error);
        if (sent != kStatusOk) return sent;
        m_Owed.push_back({hs::kAsyncLockResponse, true, false});
    }
    return kStatusOk;
}

int32_t CXVR_HiSLIPDevice::AsyncRequest(uint8_t type, uint8_t control, uint32_t parameter,
                                        const std::string &payload, uint8_t responseType,
                                        const Deadline &deadline, hs::Header *answer,
                                        std::u16string *error) {
    if (m_bDead) return Lost(error);
    if (m_Owed.size() >= kMaxOwed) return Fault("the server leaves requests unanswered", error);
    int32_t status = Send(m_Async, hs::Message(type, control, parameter, payload), deadline, error);
    if (status != kStatusOk) return status;
    m_Owed.push_back({responseType, false, type == hs::kAsyncLock && control == hs::kLockRequest});
    for (bool answered = false; !answered;) {
        status = PumpAsync(deadline, answer, &answered, error);
        if (status != kStatusOk) {
            if (!m_Owed.empty() && !m_Owed.back().abandoned && m_Owed.back().type == responseType)
                m_Owed.back().abandoned = true;
            return status;
        }
    }
    return kStatusOk;
}

// What arrived on the asynchronous channel while nobody read it.
int32_t CXVR_HiSLIPDevice::DrainAsync(std::u16string *error) {
    if (m_bDead) return Lost(error);
    hs::Header ignored;
    bool answered = false;
    while (m_Async.stream.Readable()) {
        const int32_t status = PumpAsync(Deadline::In(m_lTimeout), &ignored, &answered, error);
        if (status != kStatusOk) return status;
    }
    return kStatusOk;
}

// --- Synchronous channel ----------------------------------------------------

// Synchronized: only the answer to the last message sent is this client's.
// Overlapped: answers come in order; those to messages before a read that
// timed out are dropped once the host sends again.
bool CXVR_HiSLIPDevice::Stale(uint32_t id) const {
    if (id == hs::kUnknownMessageId) return false;
    if (!m_bOverlapped) return id != m_nLastSentId;
    return m_bHaveStale && !hs::IdAfter(id, m_nStaleThrough);
}

int32_t CXVR_HiSLIPDevice::SkipRest(const Deadline &deadline, std::u16string *error) {
    m_lCarryStart = m_lCarryEnd = 0;
    if (!m_Carry) m_Carry.reset(new uint8_t[kCarrySize]);
    while (m_lRemaining > 0) {
        size_t got = 0;
        const int32_t status = m_Sync.stream.ReceiveExact(
            m_Carry.get(), static_cast<size_t>(std::min<uint64_t>(m_lRemaining, kCarrySize)),
            deadline, m_sInterface, error, &got);
        m_lRemaining -= got;
        if (status == kStatusConnectionLost) Kill();
        if (status != kStatusOk) return status;
    }
    m_bInMessage = false;
    return kStatusOk;
}

int32_t CXVR_HiSLIPDevice::NextMessage(const Deadline &deadline, std::u16string *error) {
    for (;;) {
        hs::Header h;
        int32_t status = ReadHeader(m_Sync, deadline, &h, error);
        if (status != kStatusOk) return status;
        if (h.type == hs::kData || h.type == hs::kDataEnd) {
            m_bInMessage = true;
            m_bEndMessage = h.type == hs::kDataEnd;
            m_nMessageId = h.parameter;
            m_lRemaining = h.length;
            m_lCarryStart = m_lCarryEnd = 0;
            m_bDiscard = m_bAwaitClearAck || Stale(h.parameter);
            if (!m_bDiscard) return kStatusOk;
            status = SkipRest(deadline, error);
            if (status != kStatusOk) return status;
            continue;
        }
        std::string payload;
        status = ReadPayload(m_Sync, h.length, deadline, &payload, error);
        if (status != kStatusOk) return status;
        switch (h.type) {
        case hs::kInterrupted: continue;  // an answer the server dropped; the next one counts
        case hs::kDeviceClearAcknowledge:
            if (!m_bAwaitClearAck) break;
            m_bAwaitClearAck = false;
            m_bOverlapped = (h.control & hs::kPreferOverlap) != 0;
            m_nNextId = hs::kFirstMessageId;
            m_nLastSentId = hs::kFirstMessageId - 2;
            m_bRmt = m_bReadTimedOut = m_bHaveStale = false;
            return kStatusOk;
        case hs::kError:
        case hs::kFatalError: return ServerError(h, payload, error);
        default: break;
        }
        return Fault(std::string("unexpected ") + hs::TypeName(h.type), error);
    }
}

int32_t CXVR_HiSLIPDevice::Read(uint8_t *buffer, int32_t *length, uint32_t flags,
                                std::u16string *error) {
    const uint32_t size = static_cast<uint32_t>(*length);
    *length = 0;
    if (m_bDead) return Lost(error);
    const uint32_t limit = ReadCapacity(size, flags);
    const bool delimited = (flags & kReadStopAtDelimiter) != 0;
    const Deadline deadline = Deadline::In(m_lTimeout);
    // The kept rest of an answer that a later message replaced.
    if (m_bInMessage && !m_bDiscard && Stale(m_nMessageId)) {
        m_bDiscard = true;
        m_lCarryStart = m_lCarryEnd = 0;
    }
    if (delimited && !m_Carry) m_Carry.reset(new uint8_t[kCarrySize]);

    uint32_t delivered = 0, matched = 0;
    bool found = delimited && m_lDelimiterLength == 0, ended = false;
    int32_t status = kStatusOk;
    for (;;) {
        if (m_bInMessage && !m_bDiscard && m_lRemaining == 0 && m_lCarryStart == m_lCarryEnd) {
            m_bInMessage = false;
            if (m_bEndMessage) {
                // A whole answer reached the host: it is no longer behind a
                // time-out, and the server may hear so (RMT-delivered).
                ended = true;
                m_bRmt = true;
                m_bReadTimedOut = false;
                break;
            }
        }
        if (found || delivered == limit) break;
        if (!m_bInMessage || m_bDiscard) {
            status = m_bInMessage ? SkipRest(deadline, error) : kStatusOk;
            if (status == kStatusOk) status = NextMessage(deadline, error);
            if (status != kStatusOk) break;
            continue;
        }
        uint8_t *to = buffer + delivered;
        size_t got = 0;
        const bool fromCarry = m_lCarryStart < m_lCarryEnd;
        if (fromCarry) {
            got = std::min<size_t>(limit - delivered, m_lCarryEnd - m_lCarryStart);
            std::memcpy(to, m_Carry.get() + m_lCarryStart, got);
        } else {
            size_t want = static_cast<size_t>(std::min<uint64_t>(limit - delivered, m_lRemaining));
            if (delimited) want = std::min(want, kCarrySize);
            status = m_Sync.stream.ReceiveExact(to, want, deadline, m_sInterface, error, &got);
            m_lRemaining -= got;
        }
        size_t taken = got;
        if (delimited) {
            // A running match over what was delivered: a byte that breaks it
            // may itself begin the next match.
            for (size_t i = 0; i < got;) {
                if (matched == 0) {
                    // Nothing matched so far: on to the next first byte at once.
                    const void *hit = std::memchr(to + i, m_Delimiter[0], got - i);
                    if (!hit) break;
                    i = static_cast<size_t>(static_cast<const uint8_t *>(hit) - to);
                }
                matched = to[i] == m_Delimiter[matched]
                              ? matched + 1
                              : DelimiterStartAtEnd(buffer, delivered + i + 1, matched);
                ++i;
                if (matched == m_lDelimiterLength) {
                    found = true;
                    taken = i;
                    break;
                }
            }
        }
        if (fromCarry) {
            m_lCarryStart += taken;
        } else if (taken < got) {
            // Received past the delimiter: kept for the next read.
            std::memcpy(m_Carry.get(), to + taken, got - taken);
            m_lCarryStart = 0;
            m_lCarryEnd = got - taken;
        }
        delivered += static_cast<uint32_t>(taken);
        if (status != kStatusOk) break;
    }

    if (status == kStatusConnectionLost) Kill();
    if (status == kStatusTransfer && error->empty()) {
        m_bReadTimedOut = true;
        if (LockedByOther()) {
            *error = FormatText(kTextLocked, {m_sInterface});
            status = kStatusLocked;
        }
    }
    const ReadEnd end = found || ended       ? ReadEnd::kDelimiter
                        : delivered == limit ? ReadEnd::kBufferFull
                                             : ReadEnd::kShort;
    const int32_t finished =
        FinishRead(end, buffer, delivered, limit, flags, found ? m_lDelimiterLength : 0, length);
    return status != kStatusOk ? status : finished;
}

// The server holds I/O while another client has the lock: a read that timed
// out asks whether that is why.
bool CXVR_HiSLIPDevice::LockedByOther() {
    hs::Header info;
    std::u16string ignored;
    if (AsyncRequest(hs::kAsyncLockInfo, 0, 0, {}, hs::kAsyncLockInfoResponse,
                     Deadline::In(m_lTimeout), &info, &ignored) != kStatusOk)
        return false;
    const uint32_t mine = m_Lock.kind == LockRequest::kNone ? 0 : 1;
    if (info.control == 1 && m_Lock.kind != LockRequest::kExclusive) return true;
    return info.parameter > mine;
}

int32_t CXVR_HiSLIPDevice::Write(const uint8_t *data, int32_t *length, uint32_t flags,
                                 std::u16string *error) {
    if (m_bDead) return Lost(error);
    const size_t count = static_cast<size_t>(*length);
    const size_t extra = (flags & kWriteAppendDelimiter) ? m_lDelimiterLength : 0;
    const size_t total = count + extra;
    if (total > 0x7FFFFFFF) return kStatusTransfer;
    if (m_bOverlapped && m_bReadTimedOut) {
        m_bHaveStale = true;
        m_nStaleThrough = m_nLastSentId;
    }
    m_bReadTimedOut = false;
    const Deadline deadline = Deadline::In(m_lTimeout);
    const uint64_t maxPayload = m_lServerMax - hs::kHeaderSize;
    // The bytes of the message: the data, then the delimiter.
    auto copy = [&](size_t from, size_t n, char *to) {
        const size_t inData = from < count ? std::min(n, count - from) : 0;
        if (inData) std::memcpy(to, data + from, inData);
        if (n > inData) std::memcpy(to + inData, m_Delimiter + (from + inData - count), n - inData);
    };
    size_t sent = 0;
    do {
        const size_t part = static_cast<size_t>(std::min<uint64_t>(total - sent, maxPayload));
        const bool last = sent + part == total;
        const hs::Header h{last ? hs::kDataEnd : hs::kData, m_bRmt ? hs::kRmtDelivered : uint8_t{0},
                           m_nNextId, part};
        int32_t status;
        if (part <= kCarrySize) {
            // Header and payload in one send.
            std::string message(hs::kHeaderSize + part, '\0');
            hs::WriteHeader(h, reinterpret_cast<uint8_t *>(&message[0]));
            copy(sent, part, &message[hs::kHeaderSize]);
            status = Send(m_Sync, message, deadline, error);
        } else {
            std::string head(hs::kHeaderSize, '\0');
            hs::WriteHeader(h, reinterpret_cast<uint8_t *>(&head[0]));
            status = Send(m_Sync, head, deadline, error);
            const size_t inData = sent < count ? std::min(part, count - sent) : 0;
            if (status == kStatusOk && inData)
                status = m_Sync.stream.SendAll(data + sent, inData, deadline, m_sInterface, error);
            if (status == kStatusOk && part > inData) {
                std::string tail(part - inData, '\0');
                copy(sent + inData, part - inData, &tail[0]);
                status = Send(m_Sync, tail, deadline, error);
            }
        }
        if (status != kStatusOk) {
            // Half a message leaves the channel out of step for good.
            Kill();
            *length = static_cast<int32_t>(sent);
            return status;
        }
        m_nLastSentId = m_nNextId;
        m_nNextId += 2;
        m_bRmt = false;
        sent += part;
    } while (sent < total);
    *length = static_cast<int32_t>(total);
    return kStatusOk;
}

// --- Control ----------------------------------------------------------------

// AsyncDeviceClear, its acknowledgement, DeviceClearComplete with the mode
// wanted, and DeviceClearAcknowledge with the mode granted; whatever the
// synchronous channel held before is dropped on the way.
int32_t CXVR_HiSLIPDevice::ClearHandshake(bool overlapped, const Deadline &deadline,
                                          std::u16string *error) {
    hs::Header ack;
    int32_t status = AsyncRequest(hs::kAsyncDeviceClear, 0, 0, {}, hs::kAsyncDeviceClearAcknowledge,
                                  deadline, &ack, error);
    if (status != kStatusOk) return status;
    if (m_bInMessage) m_bDiscard = true;
    m_lCarryStart = m_lCarryEnd = 0;
    status =
        Send(m_Sync, hs::Message(hs::kDeviceClearComplete, overlapped ? hs::kPreferOverlap : 0, 0),
             deadline, error);
    if (status != kStatusOk) return status;
    m_bAwaitClearAck = true;
    while (m_bAwaitClearAck) {
        status = m_bInMessage ? SkipRest(deadline, error) : kStatusOk;
        if (status == kStatusOk) status = NextMessage(deadline, error);
        if (status != kStatusOk) return status;
    }
    return kStatusOk;
}

int32_t CXVR_HiSLIPDevice::SetLock(const LockRequest &lock, std::u16string *error) {
    if (lock.kind == m_Lock.kind && lock.key == m_Lock.key) return kStatusOk;
    hs::Header answer;
    if (m_Lock.kind != LockRequest::kNone) {
        const int32_t status =
            AsyncRequest(hs::kAsyncLock, hs::kLockRelease, m_nLastSentId, {},
                         hs::kAsyncLockResponse, Deadline::In(m_lTimeout), &answer, error);
        if (status != kStatusOk) return status;
        m_Lock = LockRequest{};  // an error answer means none was held either
    }
    if (lock.kind == LockRequest::kNone) return kStatusOk;
    const Deadline deadline = Deadline::In(int64_t{m_lLockTimeout} + m_lTimeout);
    const int32_t status =
        AsyncRequest(hs::kAsyncLock, hs::kLockRequest, m_lLockTimeout,
                     lock.kind == LockRequest::kShared ? lock.key : std::string(),
                     hs::kAsyncLockResponse, deadline, &answer, error);
    if (status != kStatusOk) return status;
    if (answer.control == hs::kLockSuccess) {
        m_Lock = lock;
        return kStatusOk;
    }
    if (answer.control == hs::kLockFailure) {
        *error = FormatText(kTextLocked, {m_sInterface});
        return kStatusLocked;
    }
    *error =
        FormatText(kTextRefused, {m_sInterface, u"AsyncLockResponse " + Decimal(answer.control)});
    return kStatusRefused;
}

int32_t CXVR_HiSLIPDevice::WaitForServiceRequest(uint8_t *statusByte, std::u16string *error) {
    // A request that came before delivery started is not the host's.
    int32_t status = DrainAsync(error);
    if (status != kStatusOk) return status;
    if (!m_bSrqEnabled) {
        m_bSrqEnabled = true;
        m_Srq.Drop();
    }
    const Deadline deadline = Deadline::In(m_lTimeout);
    hs::Header ignored;
    bool answered = false;
    while (!m_Srq.Take(statusByte)) {
        status = PumpAsync(deadline, &ignored, &answered, error);
        if (status != kStatusOk) return status;
    }
    return kStatusOk;
}

int32_t CXVR_HiSLIPDevice::ParamGet(const std::u16string &key, std::u16string *value,
                                    std::u16string *error) {
    if (key == u"TIMEOUT") {
        *value = FormatTimeoutValue(m_lTimeout);
    } else if (key == u"DELIMITER") {
        *value = FormatDelimiterValue(m_Delimiter, m_lDelimiterLength);
    } else if (key == kParamLockTimeout) {
        *value = Decimal(m_lLockTimeout);
    } else if (key == kParamMaxRecv) {
        *value = Decimal(m_lServerMax);
    } else if (key == kParamMode) {
        *value = m_bOverlapped ? u"OVERLAPPED" : u"SYNCHRONIZED";
    } else if (key == kParamLock) {
        *value = LockText(m_Lock);
    } else if (key == kParamStb) {
        hs::Header answer;
        const uint8_t rmt = m_bRmt ? hs::kRmtDelivered : 0;
        const int32_t status =
            AsyncRequest(hs::kAsyncStatusQuery, rmt, m_nLastSentId, {}, hs::kAsyncStatusResponse,
                         Deadline::In(m_lTimeout), &answer, error);
        if (status != kStatusOk) return status;
        m_bRmt = false;
        *value = Decimal(answer.control);
    } else if (key == kParamSrq) {
        uint8_t statusByte = 0;
        const int32_t status = WaitForServiceRequest(&statusByte, error);
        if (status != kStatusOk) return status;
        *value = Decimal(statusByte);
    } else {
        return UnsupportedParam(key, m_sInterface, error);
    }
    return kStatusOk;
}

int32_t CXVR_HiSLIPDevice::ParamSet(const std::u16string &key, std::u16string_view value,
                                    std::u16string *error) {
    int32_t status = kStatusOk;
    if (SetCommonParam(this, key, value, error, &status)) return status;
    if (m_bDead && (key == kParamClear || key == kParamTrigger || key == kParamLock ||
                    key == kParamMode || key == kParamRemote || key == kParamSrq))
        return Lost(error);
    if (key == kParamLockTimeout) {
        int32_t ms = 0;
        if (!ScanDecimal(value, &ms) || ms < 0) return InvalidParamValue(key, error);
        m_lLockTimeout = static_cast<uint32_t>(ms);
    } else if (key == kParamMaxRecv) {
        return InvalidParamValue(key, error);
    } else if (key == kParamClear) {
        return ClearHandshake(m_bOverlapped, Deadline::In(m_lTimeout), error);
    } else if (key == kParamTrigger) {
        const uint8_t rmt = m_bRmt ? hs::kRmtDelivered : 0;
        status = Send(m_Sync, hs::Message(hs::kTrigger, rmt, m_nNextId), Deadline::In(m_lTimeout),
                      error);
        if (status != kStatusOk) return status;
        m_nLastSentId = m_nNextId;
        m_nNextId += 2;
        m_bRmt = false;
    } else if (key == kParamMode) {
        const std::u16string mode = ToUpper(TrimBlanks(value));
        if (mode != u"SYNCHRONIZED" && mode != u"OVERLAPPED") return InvalidParamValue(key, error);
        const bool overlapped = mode == u"OVERLAPPED";
        if (overlapped == m_bOverlapped) return kStatusOk;
        status = ClearHandshake(overlapped, Deadline::In(m_lTimeout), error);
        if (status != kStatusOk) return status;
        if (m_bOverlapped != overlapped) {
            *error =
                FormatText(kTextRefused, {m_sInterface, u"DeviceClearAcknowledge keeps the mode"});
            return kStatusRefused;
        }
    } else if (key == kParamLock) {
        LockRequest lock;
        if (!ParseLock(value, true, &lock)) return InvalidParamValue(key, error);
        return SetLock(lock, error);
    } else if (key == kParamSrq) {
        bool enable = false;
        if (!ParseSrqEnable(value, &enable)) return InvalidParamValue(key, error);
        if (!enable) {
            m_bSrqEnabled = false;
            m_Srq.Drop();
        } else if (!m_bSrqEnabled) {
            status = DrainAsync(error);
            if (status != kStatusOk) return status;
            m_bSrqEnabled = true;
        }
    } else if (key == kParamRemote) {
        RemoteRequest request;
        if (!ParseRemote(value, &request)) return InvalidParamValue(key, error);
        const uint8_t code = request == RemoteRequest::kRemote  ? hs::kRenGoRemote
                             : request == RemoteRequest::kLocal ? hs::kRenGoLocal
                                                                : hs::kRenLockoutLocal;
        hs::Header answer;
        return AsyncRequest(hs::kAsyncRemoteLocalControl, code, m_nLastSentId, {},
                            hs::kAsyncRemoteLocalResponse, Deadline::In(m_lTimeout), &answer,
                            error);
    } else {
        return UnsupportedParam(key, m_sInterface, error);
    }
    return kStatusOk;
}

}  // namespace xvr
