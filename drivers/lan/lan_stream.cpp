#include "drivers/lan/lan_stream.h"

#include <algorithm>
#include <cstring>

#include "base/status.h"
#include "base/texts.h"

namespace xvr {

namespace {

int32_t Lost(const std::u16string &interfaceName, std::u16string *error) {
    *error = FormatText(kTextConnectionLost, {interfaceName});
    return kStatusConnectionLost;
}

}  // namespace

int32_t LanStream::Connect(uint32_t address, uint16_t port, const Deadline &deadline,
                           std::u16string *error) {
    Close();
    uint32_t code = platform::SocketCreate(platform::kSocketStream, &m_Socket);
    if (code != 0) {
        *error = FormatText(kTextSocketFailed, {SystemText(code)});
        m_Socket = platform::kInvalidSocket;
        return kStatusOpenFailed;
    }
    platform::SocketSetNoDelay(m_Socket);
    // At least 1 ms: 0 would mean a blocking connect with no bound at all.
    const int32_t ms = static_cast<int32_t>(
        std::min<uint32_t>(std::max<uint32_t>(deadline.Remaining(), 1), INT32_MAX));
    code = platform::SocketConnect(m_Socket, address, port, ms);
    if (code != 0) {
        *error = FormatText(kTextConnectFailed, {SystemText(code)});
        Close();
        return kStatusOpenFailed;
    }
    return kStatusOk;
}

void LanStream::Close() {
    platform::SocketClose(m_Socket);
    m_Socket = platform::kInvalidSocket;
    m_lStart = m_lEnd = 0;
    m_bPolledReadable = false;
}

bool LanStream::Readable() {
    if (m_lEnd > m_lStart) return true;
    uint32_t error = 0;
    m_bPolledReadable = IsOpen() && platform::SocketWait(m_Socket, false, 0, &error) != 0;
    return m_bPolledReadable;
}

bool LanStream::WaitReadable(const Deadline &deadline) {
    if (m_lEnd > m_lStart) return true;
    uint32_t error = 0;
    m_bPolledReadable =
        IsOpen() && platform::SocketWait(m_Socket, false, deadline.Remaining(), &error) != 0;
    return m_bPolledReadable;
}

int32_t LanStream::SendAll(const uint8_t *data, size_t size, const Deadline &deadline,
                           const std::u16string &interfaceName, std::u16string *error) {
    size_t done = 0;
    while (done < size) {
        uint32_t code = 0;
        const int64_t n = platform::SocketSend(m_Socket, data + done, size - done, &code);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && !platform::SocketWouldBlock(code)) {
            if (platform::SocketConnectionLost(code)) return Lost(interfaceName, error);
            *error = FormatText(kTextSendFailed, {SystemText(code)});
            return kStatusTransfer;
        }
        if (deadline.Expired()) return kStatusTransfer;
        const int ready = platform::SocketWait(m_Socket, true, deadline.Remaining(), &code);
        if (ready < 0) {
            *error = FormatText(kTextSendFailed, {SystemText(code)});
            return kStatusTransfer;
        }
    }
    return kStatusOk;
}

// One receive into `into`, waiting up to the deadline when nothing is there.
// With waitFirst it waits before it tries: the header of an answer to a
// request just sent is rarely there yet, and a receive that finds nothing
// costs a system call.  A poll that already said readable is not repeated.
int32_t LanStream::Fill(uint8_t *into, size_t room, size_t *got, bool waitFirst,
                        const Deadline &deadline, const std::u16string &interfaceName,
                        std::u16string *error) {
    for (;;) {
        uint32_t code = 0;
        if (waitFirst && !m_bPolledReadable) {
            if (platform::SocketWait(m_Socket, false, deadline.Remaining(), &code) == 0 &&
                deadline.Expired())
                return kStatusTransfer;
        }
        waitFirst = false;
        m_bPolledReadable = false;
        const int64_t n = platform::SocketReceive(m_Socket, into, room, &code);
        if (n > 0) {
            *got = static_cast<size_t>(n);
            return kStatusOk;
        }
        if (n == 0) return Lost(interfaceName, error);
        if (!platform::SocketWouldBlock(code)) {
            if (platform::SocketConnectionLost(code)) return Lost(interfaceName, error);
            *error = FormatText(kTextReceiveFailed, {SystemText(code)});
            return kStatusTransfer;
        }
        if (deadline.Expired()) return kStatusTransfer;
        const int ready = platform::SocketWait(m_Socket, false, deadline.Remaining(), &code);
        if (ready < 0) {
            *error = FormatText(kTextReceiveFailed, {SystemText(code)});
            return kStatusTransfer;
        }
        if (ready == 0 && deadline.Expired()) return kStatusTransfer;
    }
}

int32_t LanStream::ReceiveExact(uint8_t *buffer, size_t size, const Deadline &deadline,
                                const std::u16string &interfaceName, std::u16string *error,
                                size_t *received) {
    size_t done = 0;
    if (!received) received = &done;
    *received = 0;
    if (!IsOpen()) return Lost(interfaceName, error);
    while (done < size) {
        if (m_lEnd > m_lStart) {
            const size_t take = std::min(size - done, m_lEnd - m_lStart);
            std::memcpy(buffer + done, m_Buffer.get() + m_lStart, take);
            m_lStart += take;
            done += take;
            *received = done;
            continue;
        }
        size_t got = 0;
        int32_t status;
        if (size - done >= kBufferSize / 2) {
            // Large rests go straight to the caller: no copy.
            status = Fill(buffer + done, size - done, &got, false, deadline, interfaceName, error);
            if (status != kStatusOk) return status;
            done += got;
            *received = done;
            continue;
        }
        if (!m_Buffer) m_Buffer.reset(new uint8_t[kBufferSize]);
        m_lStart = m_lEnd = 0;
        status = Fill(m_Buffer.get(), kBufferSize, &got, true, deadline, interfaceName, error);
        if (status != kStatusOk) return status;
        m_lEnd = got;
    }
    return kStatusOk;
}

int32_t LanStream::Skip(uint64_t size, const Deadline &deadline,
                        const std::u16string &interfaceName, std::u16string *error) {
    uint8_t scratch[4096];
    while (size > 0) {
        const size_t part = static_cast<size_t>(std::min<uint64_t>(size, sizeof scratch));
        const int32_t status = ReceiveExact(scratch, part, deadline, interfaceName, error);
        if (status != kStatusOk) return status;
        size -= part;
    }
    return kStatusOk;
}

}  // namespace xvr
