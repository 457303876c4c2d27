// A TCP connection to an instrument server, for the protocol drivers that
// frame their own messages: whole blocks out, exact byte counts in, every
// wait bounded by a deadline.  Small reads are served from a buffer so that
// a header and a short payload cost one receive; large ones go straight
// into the caller's memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/deadline.h"
#include "platform/socket.h"

namespace xvr {

class LanStream {
public:
    LanStream() = default;
    ~LanStream() { Close(); }
    LanStream(const LanStream &) = delete;
    LanStream &operator=(const LanStream &) = delete;

    // Connects to address (network order) and port within the deadline; the
    // socket stays non-blocking.  0, or -4 with text 11011 / 11012.
    int32_t Connect(uint32_t address, uint16_t port, const Deadline &deadline,
                    std::u16string *error);

    // Takes over a connected non-blocking socket (one a listener accepted).
    void Adopt(platform::SocketHandle socket) {
        Close();
        m_Socket = socket;
    }

    // Failures of the three: -6 with no text when the deadline passes, -22
    // with text 11025 (naming interfaceName) when the peer closed or reset
    // the connection, -6 with text 11013 / 11014 for any other fault.
    int32_t SendAll(const uint8_t *data, size_t size, const Deadline &deadline,
                    const std::u16string &interfaceName, std::u16string *error);
    // With received, the bytes stored before a failure are counted there, so
    // that a caller can go on after a time-out without losing any.
    int32_t ReceiveExact(uint8_t *buffer, size_t size, const Deadline &deadline,
                         const std::u16string &interfaceName, std::u16string *error,
                         size_t *received = nullptr);
    // Drops exactly size bytes (the unread rest of a message).
    int32_t Skip(uint64_t size, const Deadline &deadline, const std::u16string &interfaceName,
                 std::u16string *error);

    // Bytes (or the end of stream) are waiting: buffered or in the socket.
    bool Readable();
    // The same, waiting for them until the deadline: one poll at most.
    bool WaitReadable(const Deadline &deadline);
    bool IsOpen() const { return m_Socket != platform::kInvalidSocket; }
    platform::SocketHandle Handle() const { return m_Socket; }
    void Close();

private:
    int32_t Fill(uint8_t *into, size_t room, size_t *got, bool waitFirst, const Deadline &deadline,
                 const std::u16string &interfaceName, std::u16string *error);

    static constexpr size_t kBufferSize = 64 * 1024;
    platform::SocketHandle m_Socket = platform::kInvalidSocket;
    std::unique_ptr<uint8_t[]> m_Buffer;
    size_t m_lStart = 0, m_lEnd = 0;  // buffered bytes are [m_lStart, m_lEnd)
    // A poll said the socket is readable and no receive has been made since:
    // the next receive need not wait first.
    bool m_bPolledReadable = false;
};

}  // namespace xvr
