#include "drivers/ip/ip_device.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "drivers/control.h"
#include "drivers/driver.h"
#include "drivers/read_end.h"
#include "base/texts.h"
#include "platform/deadline.h"
#include "platform/platform.h"

namespace xvr {

namespace {

// The last close waits no longer than this for the peer's end of stream.
constexpr uint32_t kMaxDiscardMs = 1000;
// A CLEAR drains the receive queue for no longer than this, so a peer that
// never stops sending cannot hold the call.
constexpr int64_t kMaxClearMs = 200;

}  // namespace

struct CXVR_IPDevice::ReceiveResult {
    bool failed = false;
    bool closed = false;  // the peer ended the stream: no system error to name
    uint32_t error = 0;
};

CXVR_IPDevice::~CXVR_IPDevice() { platform::SocketClose(m_Socket); }

int32_t CXVR_IPDevice::Connect(uint32_t address, uint32_t type, int32_t timeoutMs,
                               std::u16string *error) {
    uint32_t code = platform::SocketCreate(type, &m_Socket);
    if (code != 0) {
        *error = FormatText(kTextSocketFailed, {SystemText(code)});
        return kStatusOpenFailed;
    }
    m_lSocketType = type;
    m_bNonBlocking = timeoutMs > 0;
    if (type == platform::kSocketStream) platform::SocketSetNoDelay(m_Socket);
    code = platform::SocketConnect(m_Socket, address, m_nPort, timeoutMs);
    if (code != 0) {
        *error = FormatText(kTextConnectFailed, {SystemText(code)});
        platform::SocketClose(m_Socket);
        m_Socket = platform::kInvalidSocket;
        return kStatusOpenFailed;
    }
    return kStatusOk;
}

void CXVR_IPDevice::Release() {
    platform::SocketShutdownSend(m_Socket);
    // Only a blocking stream waits for the peer to end; the others take what
    // is already there.  Either way the close never hangs.
    const Deadline deadline = Deadline::In(std::min(m_lTimeout, kMaxDiscardMs));
    const bool waitForEnd = m_lSocketType == platform::kSocketStream && !m_bNonBlocking;
    uint8_t scratch[1024];
    do {
        uint32_t error = 0;
        if (platform::SocketWait(m_Socket, false, waitForEnd ? deadline.Remaining() : 0, &error) <=
            0)
            break;
        if (platform::SocketReceive(m_Socket, scratch, sizeof scratch, &error) <= 0) break;
    } while (!deadline.Expired());
    platform::SocketClose(m_Socket);
    m_Socket = platform::kInvalidSocket;
}

uint32_t CXVR_IPDevice::BytesAvailable() const {
    uint32_t waiting = 0, error = 0;
    if (!platform::SocketBytesWaiting(m_Socket, &waiting, &error)) waiting = 0;
    return m_lBuffered + waiting;
}

void CXVR_IPDevice::Clear() {
    m_lStart = 0;
    m_lBuffered = 0;
    // Room for a whole datagram, so each receive drops exactly one.
    if (m_Receive.size() < kReceiveSize) m_Receive.resize(kReceiveSize);
    const bool datagram = m_lSocketType != platform::kSocketStream;
    const Deadline limit = Deadline::In(kMaxClearMs);
    while (!limit.Expired()) {
        uint32_t code = 0;
        // Never waits: only what is there now goes.  An end of stream or a
        // failure is left for the next read to report.
        const int64_t got =
            platform::SocketReceive(m_Socket, m_Receive.data(), kReceiveSize, &code);
        if (got < 0 || (got == 0 && !datagram)) break;
    }
}

// One receive into the buffer behind the bytes already there, waiting up to
// waitMs (0: not at all) for data, the end of the stream or an error when
// nothing is there.
// With waitFirst it waits before it tries: an answer to a command just sent
// is rarely there yet, and a receive that finds nothing costs a system call.
CXVR_IPDevice::ReceiveResult CXVR_IPDevice::ReceiveSome(uint32_t waitMs, bool waitFirst) {
    ReceiveResult result;
    const bool datagram = m_lSocketType != platform::kSocketStream;
    // A datagram is taken only whole; the next hand-over makes room for it.
    const uint32_t needed = datagram ? kMaxDatagram : 1;
    if (kReceiveSize - m_lBuffered < needed) return result;
    // Bytes handed over leave a gap at the front; close it only when the room
    // behind the buffered bytes runs short, so hand-overs never move data.
    if (m_lStart > 0 &&
        kReceiveSize - m_lStart - m_lBuffered < std::max(needed, kReceiveSize / 2)) {
        std::memmove(m_Receive.data(), m_Receive.data() + m_lStart, m_lBuffered);
        m_lStart = 0;
    }
    const uint32_t room = kReceiveSize - m_lStart - m_lBuffered;
    uint8_t *into = m_Receive.data() + m_lStart + m_lBuffered;
    uint32_t code = 0;
    int64_t got = -1;
    bool wait = waitFirst;
    if (!waitFirst) {
        got = platform::SocketReceive(m_Socket, into, room, &code);
        wait = got < 0 && platform::SocketWouldBlock(code);
    }
    if (wait && waitMs == 0) return result;
    if (wait) {
        int ready = platform::SocketWait(m_Socket, false, waitMs, &code);
        if (ready < 0) {
            result.failed = true;
            result.error = code;
        }
        if (ready <= 0) return result;
        got = platform::SocketReceive(m_Socket, into, room, &code);
    }
    if (got < 0) {
        if (!platform::SocketWouldBlock(code)) {
            result.failed = true;
            result.error = code;
        }
        return result;
    }
    if (got == 0 && !datagram) {
        // The peer closed: the status stays a failed receive, the text says
        // what happened rather than naming a reset that did not happen.
        result.failed = true;
        result.closed = true;
        return result;
    }
    m_lBuffered += static_cast<uint32_t>(got);
    return result;
}

// Hands buffered bytes to the host behind the *delivered ones: as many as
// fit, or with toDelimiter up to the delimiter, keeping the running match of
// its bytes in *matched.
ReadEnd CXVR_IPDevice::HandOver(uint8_t *buffer, uint32_t limit, bool toDelimiter,
                                uint32_t *delivered, uint32_t *matched) {
    const uint8_t *from = m_Receive.data() + m_lStart;
    uint32_t taken = 0;
    ReadEnd end = ReadEnd::kShort;
    if (!toDelimiter) {
        taken = std::min(limit - *delivered, m_lBuffered);
        if (taken > 0) std::memcpy(buffer + *delivered, from, taken);
        *delivered += taken;
    } else {
        // A byte that breaks the match may itself begin the next one (CR CR
        // LF ends on CR LF).
        while (*matched < m_lDelimiterLength && *delivered < limit && taken < m_lBuffered) {
            if (*matched == 0) {
                // Nothing matched so far: everything up to the next
                // occurrence of the first delimiter byte moves at once.
                const uint32_t span = std::min(limit - *delivered, m_lBuffered - taken);
                const void *hit = std::memchr(from + taken, m_Delimiter[0], span);
                const uint32_t run =
                    hit ? static_cast<uint32_t>(static_cast<const uint8_t *>(hit) - (from + taken))
                        : span;
                std::memcpy(buffer + *delivered, from + taken, run);
                *delivered += run;
                taken += run;
                if (!hit) break;
            }
            const uint8_t b = from[taken++];
            buffer[(*delivered)++] = b;
            *matched = b == m_Delimiter[*matched]
                           ? *matched + 1
                           : DelimiterStartAtEnd(buffer, *delivered, *matched);
        }
        if (*matched == m_lDelimiterLength) end = ReadEnd::kDelimiter;
    }
    if (end == ReadEnd::kShort && *delivered == limit) end = ReadEnd::kBufferFull;
    m_lBuffered -= taken;
    m_lStart = m_lBuffered > 0 ? m_lStart + taken : 0;
    return end;
}

int32_t CXVR_IPDevice::Read(uint8_t *buffer, int32_t *length, uint32_t flags,
                            std::u16string *error) {
    const uint32_t size = static_cast<uint32_t>(*length);
    *length = 0;
    const uint32_t limit = ReadCapacity(size, flags);
    if (m_Receive.size() < kReceiveSize) m_Receive.resize(kReceiveSize);

    const Deadline deadline = Deadline::In(m_lTimeout);
    uint32_t delivered = 0;
    uint32_t matched = 0;
    ReadEnd end = ReadEnd::kShort;
    ReceiveResult failure;
    while (end == ReadEnd::kShort && !failure.failed) {
        // Bytes already buffered are handed over without waiting for more;
        // with none, one wait for the rest of the time-out ends the moment
        // the answer arrives (waits of 1 ms each would cost a wake-up every
        // millisecond while an answer is on its way).
        if (m_lBuffered < limit)
            failure = ReceiveSome(m_lBuffered == 0 ? deadline.Remaining() : 0, m_lBuffered == 0);
        end = HandOver(buffer, limit, (flags & kReadStopAtDelimiter) != 0, &delivered, &matched);
        if (deadline.Expired()) break;
    }

    // The host finds zeros after what arrived; only that part is written
    // twice, so a large read does not pay for zeroing what it then fills.
    if (delivered < size) std::memset(buffer + delivered, 0, size - delivered);
    if (end == ReadEnd::kShort && failure.failed)
        *error = FormatText(kTextReceiveFailed,
                            {failure.closed ? FormatText(kTextConnectionLost, {m_sHost})
                                            : SystemText(failure.error)});
    return FinishRead(end, buffer, delivered, limit, flags, m_lDelimiterLength, length);
}

int32_t CXVR_IPDevice::Write(const uint8_t *data, int32_t *length, uint32_t flags,
                             std::u16string *error) {
    const size_t count = static_cast<size_t>(*length);
    const size_t extra = (flags & kWriteAppendDelimiter) ? m_lDelimiterLength : 0;
    const size_t total = count + extra;
    // The count sent must fit the host's 32-bit count.
    if (total > 0x7FFFFFFF) {
        *error = LoadText(kTextOutOfRange);
        return kStatusTransfer;
    }
    if (extra == 0) return SendAll(data, total, length, error);

    // One block, so that a datagram carries its delimiter.
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[total]);
    if (!block) {
        *error = FormatText(kTextSendFailed, {u""});
        return kStatusTransfer;
    }
    if (count > 0) std::memcpy(block.get(), data, count);
    std::memcpy(block.get() + count, m_Delimiter, extra);
    return SendAll(block.get(), total, length, error);
}

// A blocking socket sends in one call.  A non-blocking one keeps sending
// what is left while the socket takes it, within the record's time-out, so
// that no command is left half-sent.
int32_t CXVR_IPDevice::SendAll(const uint8_t *block, size_t total, int32_t *length,
                               std::u16string *error) {
    const Deadline deadline = Deadline::In(m_lTimeout);
    size_t sent = 0;
    uint32_t code = 0;
    bool failed = false;
    for (;;) {
        int64_t n = platform::SocketSend(m_Socket, block + sent, total - sent, &code);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && !(m_bNonBlocking && platform::SocketWouldBlock(code))) {
            failed = true;
            break;
        }
        if (sent >= total || !m_bNonBlocking) break;
        if (deadline.Expired()) {
            if (n >= 0) code = platform::SocketTimedOutError();
            failed = true;
            break;
        }
        uint32_t waitError = 0;
        if (platform::SocketWait(m_Socket, true, deadline.Remaining(), &waitError) < 0) {
            code = waitError;
            failed = true;
            break;
        }
    }
    if (failed) {
        *error = FormatText(kTextSendFailed, {SystemText(code)});
        if (sent > 0) *length = static_cast<int32_t>(sent);
        return kStatusTransfer;
    }
    *length = static_cast<int32_t>(sent);
    return sent == total ? kStatusOk : kStatusTransfer;
}

int32_t CXVR_IPDevice::ParamGet(const std::u16string &key, std::u16string *value,
                                std::u16string *error) {
    if (key == u"TIMEOUT") {
        *value = FormatTimeoutValue(m_lTimeout);
    } else if (key == u"DELIMITER") {
        *value = FormatDelimiterValue(m_Delimiter, m_lDelimiterLength);
    } else if (key == u"BUFFER") {
        *value = Format(u"%d", {static_cast<int32_t>(BytesAvailable())});
    } else {
        return UnsupportedParam(key, m_sHost, error);
    }
    return kStatusOk;
}

int32_t CXVR_IPDevice::ParamSet(const std::u16string &key, std::u16string_view value,
                                std::u16string *error) {
    int32_t status = kStatusOk;
    if (SetCommonParam(this, key, value, error, &status)) return status;
    if (key == kParamClear) {
        Clear();
        return kStatusOk;
    }
    return UnsupportedParam(key, m_sHost, error);
}

}  // namespace xvr
