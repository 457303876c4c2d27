// One HiSLIP session: its synchronous and asynchronous channels, the
// message ids it has used, the part of an answer not yet handed over, and
// the control state (mode, lock, service requests) of the record.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/deadline.h"
#include "drivers/control.h"
#include "drivers/device_settings.h"
#include "drivers/hislip/hislip_message.h"
#include "drivers/lan/lan_stream.h"

namespace xvr {

struct CXVR_HiSLIPDevice : CXVR_DeviceSettings {
    // What the client announces as its own maximum message size: answers
    // stream into the host's buffer, so any size is fine; this keeps a
    // server's large answers in few messages.
    static constexpr uint64_t kClientMaxMessage = uint64_t{1} << 30;

    CXVR_HiSLIPDevice(std::u16string interfaceName, std::string subAddress, uint16_t port)
        : CXVR_DeviceSettings(0x0A),
          m_sInterface(std::move(interfaceName)),
          m_sSubAddress(std::move(subAddress)),
          m_nPort(port) {}

    // Both channels up, sizes exchanged, synchronized mode; 0, or -4 (no
    // connection, time-out), -22 (closed), -23 (the server refused: its text).
    int32_t Connect(uint32_t address, const Deadline &deadline, std::u16string *error);
    void Release();

    int32_t Read(uint8_t *buffer, int32_t *length, uint32_t flags, std::u16string *error);
    int32_t Write(const uint8_t *data, int32_t *length, uint32_t flags, std::u16string *error);
    int32_t ParamGet(const std::u16string &key, std::u16string *value, std::u16string *error);
    int32_t ParamSet(const std::u16string &key, std::u16string_view value, std::u16string *error);

    const std::u16string m_sInterface;  // HOST:SUBADDRESS, the interface text
    const std::string m_sSubAddress;
    const uint16_t m_nPort;

private:
    struct Channel {
        LanStream stream;
        hislip::Channel kind;
        uint8_t header[hislip::kHeaderSize];
        size_t have = 0;  // header bytes received so far
    };
    // An answer the asynchronous channel still owes, in the order asked.
    struct Owed {
        uint8_t type;
        bool abandoned;    // its request timed out: the answer is dropped
        bool lockRequest;  // a lock granted after all is released again
    };

    int32_t ReadHeader(Channel &c, const Deadline &deadline, hislip::Header *h,
                       std::u16string *error);
    int32_t ReadPayload(Channel &c, uint64_t length, const Deadline &deadline, std::string *kept,
                        std::u16string *error);
    int32_t ReadMessage(Channel &c, const Deadline &deadline, hislip::Header *h,
                        std::string *payload, std::u16string *error);
    int32_t Send(Channel &c, const std::string &message, const Deadline &deadline,
                 std::u16string *error);

    // The next Data / DataEnd that answers this client, dropping stale ones.
    int32_t NextMessage(const Deadline &deadline, std::u16string *error);
    int32_t SkipRest(const Deadline &deadline, std::u16string *error);
    bool Stale(uint32_t id) const;

    // One message from the asynchronous channel; *answered when it was the
    // answer to the request now waiting.
    int32_t PumpAsync(const Deadline &deadline, hislip::Header *answer, bool *answered,
                      std::u16string *error);
    int32_t AsyncRequest(uint8_t type, uint8_t control, uint32_t parameter,
                         const std::string &payload, uint8_t responseType, const Deadline &deadline,
                         hislip::Header *answer, std::u16string *error);
    int32_t DrainAsync(std::u16string *error);

    int32_t ClearHandshake(bool overlapped, const Deadline &deadline, std::u16string *error);
    int32_t SetLock(const LockRequest &lock, std::u16string *error);
    int32_t WaitForServiceRequest(uint8_t *statusByte, std::u16string *error);
    bool LockedByOther();

    int32_t ServerError(const hislip::Header &h, const std::string &payload, std::u16string *error);
    int32_t Fault(const std::string &reason, std::u16string *error);
    int32_t Lost(std::u16string *error);
    void Kill();

    Channel m_Sync{{}, hislip::Channel::kSync, {}, 0};
    Channel m_Async{{}, hislip::Channel::kAsync, {}, 0};
    bool m_bDead = false;  // a fatal error or a lost channel ended the session
    uint64_t m_lServerMax = 0;
    bool m_bOverlapped = false;

    uint32_t m_nNextId = hislip::kFirstMessageId;
    uint32_t m_nLastSentId = hislip::kFirstMessageId - 2;
    bool m_bRmt = false;           // a whole answer reached the host since the last message
    bool m_bReadTimedOut = false;  // overlapped: the next write makes the answers so far stale
    bool m_bHaveStale = false;
    uint32_t m_nStaleThrough = 0;
    bool m_bAwaitClearAck = false;

    // The Data / DataEnd being read.
    bool m_bInMessage = false;
    bool m_bDiscard = false;
    bool m_bEndMessage = false;
    uint32_t m_nMessageId = 0;
    uint64_t m_lRemaining = 0;           // payload bytes still in the stream
    std::unique_ptr<uint8_t[]> m_Carry;  // received past a delimiter, not yet handed over
    size_t m_lCarryStart = 0, m_lCarryEnd = 0;

    std::deque<Owed> m_Owed;
    std::string m_AsyncPayload;  // payload of the last answer
    LockRequest m_Lock;
    uint32_t m_lLockTimeout = 0;
    bool m_bSrqEnabled = false;
    KeptServiceRequest m_Srq;
};

}  // namespace xvr
