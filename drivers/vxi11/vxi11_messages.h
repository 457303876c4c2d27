// The VXI-11 messages (core, abort and interrupt channels) and the
// portmapper's, as XDR: Encode appends a message's arguments or results,
// Decode reads them and fails on anything malformed.  The driver encodes
// calls and decodes replies; the simulator's server does the reverse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "drivers/vxi11/xdr.h"

namespace xvr::vxi11 {

constexpr uint32_t kCoreProgram = 0x0607AF;
constexpr uint32_t kAbortProgram = 0x0607B0;
constexpr uint32_t kInterruptProgram = 0x0607B1;
constexpr uint32_t kVxi11Version = 1;

enum Procedure : uint32_t {
    kProcDeviceAbort = 1,  // abort channel
    kProcCreateLink = 10,
    kProcDeviceWrite = 11,
    kProcDeviceRead = 12,
    kProcDeviceReadStb = 13,
    kProcDeviceTrigger = 14,
    kProcDeviceClear = 15,
    kProcDeviceRemote = 16,
    kProcDeviceLocal = 17,
    kProcDeviceLock = 18,
    kProcDeviceUnlock = 19,
    kProcDeviceEnableSrq = 20,
    kProcDestroyLink = 23,
    kProcCreateIntrChan = 25,
    kProcDestroyIntrChan = 26,
    kProcDeviceIntrSrq = 30,  // interrupt channel
};

// Device_Flags
constexpr uint32_t kFlagWaitLock = 1;
constexpr uint32_t kFlagEnd = 8;
constexpr uint32_t kFlagTermCharSet = 128;
// Device_ReadResp reasons
constexpr uint32_t kReasonRequestCount = 1;
constexpr uint32_t kReasonTermChar = 2;
constexpr uint32_t kReasonEnd = 4;

enum ErrorCode : uint32_t {
    kErrNone = 0,
    kErrSyntax = 1,
    kErrNotAccessible = 3,
    kErrInvalidLink = 4,
    kErrParameter = 5,
    kErrNoChannel = 6,
    kErrNotSupported = 8,
    kErrNoResources = 9,
    kErrLocked = 11,
    kErrNoLock = 12,
    kErrIoTimeout = 15,
    kErrIoError = 17,
    kErrInvalidAddress = 21,
    kErrAbort = 23,
    kErrChannelExists = 29,
};
// "operation not supported" and so on; "unknown error" for other codes.
const char *ErrorPhrase(uint32_t code);

// Device_AddrFamily
constexpr uint32_t kFamilyTcp = 0;
// The longest device name and SRQ handle a peer may send.
constexpr size_t kMaxDeviceName = 256;
constexpr size_t kMaxSrqHandle = 40;

struct CreateLinkParms {
    int32_t clientId = 0;
    bool lockDevice = false;
    uint32_t lockTimeout = 0;
    std::string device;
};
struct CreateLinkResp {
    uint32_t error = 0;
    uint32_t lid = 0;
    uint32_t abortPort = 0;  // an unsigned short on the wire as 32 bits
    uint32_t maxRecvSize = 0;
};
// The data is not copied: it points to the caller's bytes (encode) or into
// the message (decode).
struct WriteParms {
    uint32_t lid = 0, ioTimeout = 0, lockTimeout = 0, flags = 0;
    const uint8_t *data = nullptr;
    size_t size = 0;
};
struct WriteResp {
    uint32_t error = 0;
    uint32_t size = 0;
};
struct ReadParms {
    uint32_t lid = 0, requestSize = 0, ioTimeout = 0, lockTimeout = 0, flags = 0;
    uint8_t termChar = 0;
};
struct ReadResp {
    uint32_t error = 0;
    uint32_t reason = 0;
    const uint8_t *data = nullptr;
    size_t size = 0;
};
struct ReadStbResp {
    uint32_t error = 0;
    uint8_t stb = 0;
};
// device_readstb, _trigger, _clear, _remote, _local.
struct GenericParms {
    uint32_t lid = 0, flags = 0, lockTimeout = 0, ioTimeout = 0;
};
struct LockParms {
    uint32_t lid = 0, flags = 0, lockTimeout = 0;
};
struct EnableSrqParms {
    uint32_t lid = 0;
    bool enable = false;
    std::string handle;  // at most 40 bytes
};
struct RemoteFunc {
    uint32_t hostAddr = 0;  // host order, as the wire's unsigned long
    uint32_t hostPort = 0;
    uint32_t progNum = kInterruptProgram, progVers = kVxi11Version, progFamily = kFamilyTcp;
};
struct SrqParms {
    std::string handle;
};

void Encode(const CreateLinkParms &m, XdrWriter &w);
void Encode(const CreateLinkResp &m, XdrWriter &w);
// Everything before the data's bytes: those (and their padding) the caller
// may send on their own.
void EncodeHead(const WriteParms &m, XdrWriter &w);
void Encode(const WriteParms &m, XdrWriter &w);
void Encode(const WriteResp &m, XdrWriter &w);
void Encode(const ReadParms &m, XdrWriter &w);
void Encode(const ReadResp &m, XdrWriter &w);
void Encode(const ReadStbResp &m, XdrWriter &w);
void Encode(const GenericParms &m, XdrWriter &w);
void Encode(const LockParms &m, XdrWriter &w);
void Encode(const EnableSrqParms &m, XdrWriter &w);
void Encode(const RemoteFunc &m, XdrWriter &w);
void Encode(const SrqParms &m, XdrWriter &w);
// Device_Link (device_unlock, destroy_link, device_abort) and Device_Error.
void EncodeU32(uint32_t value, XdrWriter &w);

bool Decode(XdrReader &r, CreateLinkParms *m);
bool Decode(XdrReader &r, CreateLinkResp *m);
// maxData bounds the data a peer may announce.
bool Decode(XdrReader &r, WriteParms *m, size_t maxData);
bool Decode(XdrReader &r, WriteResp *m);
bool Decode(XdrReader &r, ReadParms *m);
bool Decode(XdrReader &r, ReadResp *m, size_t maxData);
bool Decode(XdrReader &r, ReadStbResp *m);
bool Decode(XdrReader &r, GenericParms *m);
bool Decode(XdrReader &r, LockParms *m);
bool Decode(XdrReader &r, EnableSrqParms *m);
bool Decode(XdrReader &r, RemoteFunc *m);
bool Decode(XdrReader &r, SrqParms *m);
bool DecodeU32(XdrReader &r, uint32_t *value);

// The portmapper (RFC 1833): program 100000; version 2 GETPORT, and
// versions 3 and 4 GETADDR with universal addresses ("127.0.0.1.4.1").
constexpr uint32_t kPortmapProgram = 100000;
constexpr uint32_t kPortmapVersion = 2;
constexpr uint32_t kPortmapGetPort = 3;  // also rpcbind's GETADDR
constexpr uint32_t kProtocolTcp = 6;
constexpr uint32_t kProtocolUdp = 17;

struct PortmapMapping {
    uint32_t program = 0, version = 0, protocol = 0, port = 0;
};
struct RpcbMapping {
    uint32_t program = 0, version = 0;
    std::string netid, address, owner;
};
void Encode(const PortmapMapping &m, XdrWriter &w);
bool Decode(XdrReader &r, PortmapMapping *m);
bool Decode(XdrReader &r, RpcbMapping *m);
// "a.b.c.d.p1.p2" for an address in host order and a port.
std::string UniversalAddress(uint32_t address, uint16_t port);

}  // namespace xvr::vxi11
