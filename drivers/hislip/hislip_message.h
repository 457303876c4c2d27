// HiSLIP (IVI-6.1) messages on the wire, apart from any I/O: the 16-byte
// header ("HS", type, control code, message parameter, 64-bit payload
// length, all in network order), the check of a received header against the
// channel it came on, and the builders for what client and server send.
// Only the standard library: the simulator's server links this file too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace xvr::hislip {

enum Type : uint8_t {
    kInitialize = 0,
    kInitializeResponse = 1,
    kFatalError = 2,
    kError = 3,
    kAsyncLock = 4,
    kAsyncLockResponse = 5,
    kData = 6,
    kDataEnd = 7,
    kDeviceClearComplete = 8,
    kDeviceClearAcknowledge = 9,
    kAsyncRemoteLocalControl = 10,
    kAsyncRemoteLocalResponse = 11,
    kTrigger = 12,
    kInterrupted = 13,
    kAsyncInterrupted = 14,
    kAsyncMaximumMessageSize = 15,
    kAsyncMaximumMessageSizeResponse = 16,
    kAsyncInitialize = 17,
    kAsyncInitializeResponse = 18,
    kAsyncDeviceClear = 19,
    kAsyncServiceRequest = 20,
    kAsyncStatusQuery = 21,
    kAsyncStatusResponse = 22,
    kAsyncDeviceClearAcknowledge = 23,
    kAsyncLockInfo = 24,
    kAsyncLockInfoResponse = 25,
};

constexpr size_t kHeaderSize = 16;
constexpr uint16_t kDefaultPort = 4880;
constexpr uint16_t kVersion = 0x0100;  // 1.0: major in the high byte
// Message ids: the client's first is 0xFFFFFF00, each Data, DataEnd and
// Trigger takes the next (+2, wrapping); servers use 0xFFFFFFFF for data
// that answers no message in particular.
constexpr uint32_t kFirstMessageId = 0xFFFFFF00;
constexpr uint32_t kUnknownMessageId = 0xFFFFFFFF;
// Payloads of every message but Data and DataEnd: texts, a lock key, a
// size.  Nothing larger is ever held.
constexpr uint64_t kMaxControlPayload = 1 << 20;

// Control-code bits and values.
constexpr uint8_t kRmtDelivered = 0x01;   // Data, DataEnd, Trigger, AsyncStatusQuery
constexpr uint8_t kPreferOverlap = 0x01;  // InitializeResponse and the clear handshake
constexpr uint8_t kLockRelease = 0, kLockRequest = 1;
// AsyncLockResponse: a request fails (time-out) 0 or succeeds 1; a release
// freed an exclusive 1 or a shared lock 2; 3 is an error for both.
constexpr uint8_t kLockFailure = 0, kLockSuccess = 1, kLockSharedReleased = 2, kLockError = 3;
// AsyncRemoteLocalControl codes (the VISA REN modes).
constexpr uint8_t kRenDisable = 0, kRenEnable = 1, kRenDisableGoLocal = 2, kRenGoRemote = 3,
                  kRenLockoutLocal = 4, kRenRemoteLockout = 5, kRenGoLocal = 6;
// Error codes.
constexpr uint8_t kFatalUnidentified = 0, kFatalBadHeader = 1, kFatalNoBothChannels = 2,
                  kFatalBadInitialization = 3, kFatalTooManyClients = 4;
constexpr uint8_t kErrorUnidentified = 0, kErrorUnknownType = 1, kErrorUnknownControl = 2,
                  kErrorUnknownVendor = 3, kErrorTooLarge = 4;

struct Header {
    uint8_t type = 0;
    uint8_t control = 0;
    uint32_t parameter = 0;
    uint64_t length = 0;
};

// Who reads the message, and on which channel.  A server's new connection
// is kNew until its first message says which channel it is.
enum class Receiver : uint8_t { kClient, kServer };
enum class Channel : uint8_t { kNew, kSync, kAsync };

enum class Check : uint8_t {
    kOk,
    kBadPrologue,   // not "HS"
    kUnknownType,   // reserved or vendor-defined type
    kWrongChannel,  // a known type this side never receives on this channel
    kTooLong,       // payload above the cap for its type
};

// Reads a header and checks it.  maxData caps a Data / DataEnd payload (a
// client that streams data into its host's buffer passes UINT64_MAX; a
// server passes the size it announced); every other type is capped at
// kMaxControlPayload.  *header is filled whenever the prologue is right.
Check ParseHeader(const uint8_t in[kHeaderSize], Receiver receiver, Channel channel,
                  uint64_t maxData, Header *header);

// Text for a failed check, for the FatalError a peer is sent and for logs.
const char *CheckText(Check check);
// The standard's name of a type ("DataEnd"), of an Error or FatalError code
// ("Message too large"); "unknown" beyond the table.
const char *TypeName(uint8_t type);
const char *ErrorCodeName(bool fatal, uint8_t code);

void WriteHeader(const Header &header, uint8_t out[kHeaderSize]);

// A whole message: header and payload.
std::string Message(uint8_t type, uint8_t control, uint32_t parameter,
                    std::string_view payload = {});

// The messages whose parameter or payload has a structure of its own.
std::string Initialize(uint16_t version, const char vendor[2], std::string_view subAddress);
std::string InitializeResponse(bool preferOverlap, uint16_t version, uint16_t sessionId);
std::string AsyncInitialize(uint16_t sessionId);
std::string AsyncInitializeResponse(const char vendor[2]);
// AsyncMaximumMessageSize and its response carry the size as 8 bytes.
std::string MaximumMessageSize(uint8_t type, uint64_t size);
uint64_t ReadMaximumMessageSize(const uint8_t payload[8]);

// Big-endian fields.
inline uint32_t Load32(const uint8_t *p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
inline uint64_t Load64(const uint8_t *p) { return uint64_t{Load32(p)} << 32 | Load32(p + 4); }

// True when message id a was sent after b (ids wrap): (a - b) as a signed
// 32-bit number is positive.
inline bool IdAfter(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) > 0; }

}  // namespace xvr::hislip
