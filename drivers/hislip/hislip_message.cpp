#include "drivers/hislip/hislip_message.h"

namespace xvr::hislip {

namespace {

constexpr uint8_t kLastType = kAsyncLockInfoResponse;

// Bit per type: which side receives it on which channel.
constexpr uint32_t Bit(Type t) { return uint32_t{1} << t; }

constexpr uint32_t kClientSync = Bit(kInitializeResponse) | Bit(kFatalError) | Bit(kError) |
                                 Bit(kData) | Bit(kDataEnd) | Bit(kDeviceClearAcknowledge) |
                                 Bit(kInterrupted);
constexpr uint32_t kClientAsync =
    Bit(kFatalError) | Bit(kError) | Bit(kAsyncLockResponse) | Bit(kAsyncRemoteLocalResponse) |
    Bit(kAsyncInterrupted) | Bit(kAsyncMaximumMessageSizeResponse) | Bit(kAsyncInitializeResponse) |
    Bit(kAsyncServiceRequest) | Bit(kAsyncStatusResponse) | Bit(kAsyncDeviceClearAcknowledge) |
    Bit(kAsyncLockInfoResponse);
constexpr uint32_t kServerSync = Bit(kInitialize) | Bit(kFatalError) | Bit(kError) | Bit(kData) |
                                 Bit(kDataEnd) | Bit(kDeviceClearComplete) | Bit(kTrigger);
constexpr uint32_t kServerAsync = Bit(kAsyncInitialize) | Bit(kFatalError) | Bit(kError) |
                                  Bit(kAsyncLock) | Bit(kAsyncRemoteLocalControl) |
                                  Bit(kAsyncMaximumMessageSize) | Bit(kAsyncDeviceClear) |
                                  Bit(kAsyncStatusQuery) | Bit(kAsyncLockInfo);
// A server's new connection starts with one of the two initializations.
constexpr uint32_t kServerNew =
    Bit(kInitialize) | Bit(kAsyncInitialize) | Bit(kFatalError) | Bit(kError);

uint32_t Accepted(Receiver receiver, Channel channel) {
    if (receiver == Receiver::kClient)
        return channel == Channel::kAsync ? kClientAsync : kClientSync;
    switch (channel) {
    case Channel::kNew: return kServerNew;
    case Channel::kSync: return kServerSync;
    case Channel::kAsync: break;
    }
    return kServerAsync;
}

void Store32(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

uint16_t Vendor(const char vendor[2]) {
    return static_cast<uint16_t>(static_cast<uint8_t>(vendor[0]) << 8 |
                                 static_cast<uint8_t>(vendor[1]));
}

const char *const kTypeNames[] = {"Initialize",
                                  "InitializeResponse",
                                  "FatalError",
                                  "Error",
                                  "AsyncLock",
                                  "AsyncLockResponse",
                                  "Data",
                                  "DataEnd",
                                  "DeviceClearComplete",
                                  "DeviceClearAcknowledge",
                                  "AsyncRemoteLocalControl",
                                  "AsyncRemoteLocalResponse",
                                  "Trigger",
                                  "Interrupted",
                                  "AsyncInterrupted",
                                  "AsyncMaximumMessageSize",
                                  "AsyncMaximumMessageSizeResponse",
                                  "AsyncInitialize",
                                  "AsyncInitializeResponse",
                                  "AsyncDeviceClear",
                                  "AsyncServiceRequest",
                                  "AsyncStatusQuery",
                                  "AsyncStatusResponse",
                                  "AsyncDeviceClearAcknowledge",
                                  "AsyncLockInfo",
                                  "AsyncLockInfoResponse"};

}  // namespace

Check ParseHeader(const uint8_t in[kHeaderSize], Receiver receiver, Channel channel,
                  uint64_t maxData, Header *header) {
    if (in[0] != 'H' || in[1] != 'S') return Check::kBadPrologue;
    header->type = in[2];
    header->control = in[3];
    header->parameter = Load32(in + 4);
    header->length = Load64(in + 8);
    if (header->type > kLastType) return Check::kUnknownType;
    if (!(Accepted(receiver, channel) & (uint32_t{1} << header->type))) return Check::kWrongChannel;
    const bool data = header->type == kData || header->type == kDataEnd;
    if (header->length > (data ? maxData : kMaxControlPayload)) return Check::kTooLong;
    return Check::kOk;
}

const char *CheckText(Check check) {
    switch (check) {
    case Check::kOk: return "no fault";
    case Check::kBadPrologue: return "Poorly formed message header";
    case Check::kUnknownType: return "Unrecognized Message Type";
    case Check::kWrongChannel: return "Message not valid on this channel";
    case Check::kTooLong: return "Message too large";
    }
    return "unknown";
}

const char *TypeName(uint8_t type) { return type <= kLastType ? kTypeNames[type] : "unknown"; }

const char *ErrorCodeName(bool fatal, uint8_t code) {
    static const char *const kFatal[] = {
        "Unidentified error", "Poorly formed message header",
        "Attempt to use connection without both channels established",
        "Invalid Initialization Sequence",
        "Server refused connection due to maximum number of clients exceeded"};
    static const char *const kError[] = {
        "Unidentified error", "Unrecognized Message Type", "Unrecognized control code",
        "Unrecognized Vendor Defined Message", "Message too large"};
    if (code < 5) return fatal ? kFatal[code] : kError[code];
    return code >= 128 ? "Device defined error" : "Reserved error";
}

void WriteHeader(const Header &header, uint8_t out[kHeaderSize]) {
    out[0] = 'H';
    out[1] = 'S';
    out[2] = header.type;
    out[3] = header.control;
    Store32(out + 4, header.parameter);
    Store32(out + 8, static_cast<uint32_t>(header.length >> 32));
    Store32(out + 12, static_cast<uint32_t>(header.length));
}

std::string Message(uint8_t type, uint8_t control, uint32_t parameter, std::string_view payload) {
    std::string message(kHeaderSize + payload.size(), '\0');
    WriteHeader({type, control, parameter, payload.size()},
                reinterpret_cast<uint8_t *>(&message[0]));
    message.replace(kHeaderSize, payload.size(), payload);
    return message;
}

std::string Initialize(uint16_t version, const char vendor[2], std::string_view subAddress) {
    return Message(kInitialize, 0, uint32_t{version} << 16 | Vendor(vendor), subAddress);
}

std::string InitializeResponse(bool preferOverlap, uint16_t version, uint16_t sessionId) {
    return Message(kInitializeResponse, preferOverlap ? kPreferOverlap : 0,
                   uint32_t{version} << 16 | sessionId);
}

std::string AsyncInitialize(uint16_t sessionId) { return Message(kAsyncInitialize, 0, sessionId); }

std::string AsyncInitializeResponse(const char vendor[2]) {
    return Message(kAsyncInitializeResponse, 0, Vendor(vendor));
}

std::string MaximumMessageSize(uint8_t type, uint64_t size) {
    uint8_t payload[8];
    Store32(payload, static_cast<uint32_t>(size >> 32));
    Store32(payload + 4, static_cast<uint32_t>(size));
    return Message(type, 0, 0,
                   std::string_view(reinterpret_cast<const char *>(payload), sizeof payload));
}

uint64_t ReadMaximumMessageSize(const uint8_t payload[8]) { return Load64(payload); }

}  // namespace xvr::hislip
