#include "drivers/vxi11/vxi11_messages.h"

namespace xvr::vxi11 {

namespace {

// The wire's "char" and "unsigned short" are 32-bit XDR integers.
bool U8(XdrReader &r, uint8_t *value) {
    uint32_t raw = 0;
    if (!r.U32(&raw)) return false;
    *value = static_cast<uint8_t>(raw);
    return true;
}

}  // namespace

const char *ErrorPhrase(uint32_t code) {
    switch (code) {
    case kErrNone: return "no error";
    case kErrSyntax: return "syntax error";
    case kErrNotAccessible: return "device not accessible";
    case kErrInvalidLink: return "invalid link identifier";
    case kErrParameter: return "parameter error";
    case kErrNoChannel: return "channel not established";
    case kErrNotSupported: return "operation not supported";
    case kErrNoResources: return "out of resources";
    case kErrLocked: return "device locked by another link";
    case kErrNoLock: return "no lock held by this link";
    case kErrIoTimeout: return "I/O timeout";
    case kErrIoError: return "I/O error";
    case kErrInvalidAddress: return "invalid address";
    case kErrAbort: return "abort";
    case kErrChannelExists: return "channel already established";
    default: return "unknown error";
    }
}

void EncodeU32(uint32_t value, XdrWriter &w) { w.U32(value); }
bool DecodeU32(XdrReader &r, uint32_t *value) { return r.U32(value); }

void Encode(const CreateLinkParms &m, XdrWriter &w) {
    w.I32(m.clientId);
    w.Bool(m.lockDevice);
    w.U32(m.lockTimeout);
    w.String(m.device);
}
bool Decode(XdrReader &r, CreateLinkParms *m) {
    return r.I32(&m->clientId) && r.Bool(&m->lockDevice) && r.U32(&m->lockTimeout) &&
           r.String(kMaxDeviceName, &m->device);
}

void Encode(const CreateLinkResp &m, XdrWriter &w) {
    w.U32(m.error);
    w.U32(m.lid);
    w.U32(m.abortPort);
    w.U32(m.maxRecvSize);
}
bool Decode(XdrReader &r, CreateLinkResp *m) {
    return r.U32(&m->error) && r.U32(&m->lid) && r.U32(&m->abortPort) && r.U32(&m->maxRecvSize);
}

void EncodeHead(const WriteParms &m, XdrWriter &w) {
    w.U32(m.lid);
    w.U32(m.ioTimeout);
    w.U32(m.lockTimeout);
    w.U32(m.flags);
    w.U32(static_cast<uint32_t>(m.size));
}
void Encode(const WriteParms &m, XdrWriter &w) {
    w.U32(m.lid);
    w.U32(m.ioTimeout);
    w.U32(m.lockTimeout);
    w.U32(m.flags);
    w.Opaque(m.data, m.size);
}
bool Decode(XdrReader &r, WriteParms *m, size_t maxData) {
    return r.U32(&m->lid) && r.U32(&m->ioTimeout) && r.U32(&m->lockTimeout) && r.U32(&m->flags) &&
           r.Opaque(maxData, &m->data, &m->size);
}

void Encode(const WriteResp &m, XdrWriter &w) {
    w.U32(m.error);
    w.U32(m.size);
}
bool Decode(XdrReader &r, WriteResp *m) { return r.U32(&m->error) && r.U32(&m->size); }

void Encode(const ReadParms &m, XdrWriter &w) {
    w.U32(m.lid);
    w.U32(m.requestSize);
    w.U32(m.ioTimeout);
    w.U32(m.lockTimeout);
    w.U32(m.flags);
    w.U32(m.termChar);
}
bool Decode(XdrReader &r, ReadParms *m) {
    return r.U32(&m->lid) && r.U32(&m->requestSize) && r.U32(&m->ioTimeout) &&
           r.U32(&m->lockTimeout) && r.U32(&m->flags) && U8(r, &m->termChar);
}

void Encode(const ReadResp &m, XdrWriter &w) {
    w.U32(m.error);
    w.U32(m.reason);
    w.Opaque(m.data, m.size);
}
bool Decode(XdrReader &r, ReadResp *m, size_t maxData) {
    return r.U32(&m->error) && r.U32(&m->reason) && r.Opaque(maxData, &m->data, &m->size);
}

void Encode(const ReadStbResp &m, XdrWriter &w) {
    w.U32(m.error);
    w.U32(m.stb);
}
bool Decode(XdrReader &r, ReadStbResp *m) { return r.U32(&m->error) && U8(r, &m->stb); }

void Encode(const GenericParms &m, XdrWriter &w) {
    w.U32(m.lid);
    w.U32(m.flags);
    w.U32(m.lockTimeout);
    w.U32(m.ioTimeout);
}
bool Decode(XdrReader &r, GenericParms *m) {
    return r.U32(&m->lid) && r.U32(&m->flags) && r.U32(&m->lockTimeout) && r.U32(&m->ioTimeout);
}

void Encode(const LockParms &m, XdrWriter &w) {
    w.U32(m.lid);
    w.U32(m.flags);
    w.U32(m.lockTimeout);
}
bool Decode(XdrReader &r, LockParms *m) {
    return r.U32(&m->lid) && r.U32(&m->flags) && r.U32(&m->lockTimeout);
}

void Encode(const EnableSrqParms &m, XdrWriter &w) {
    w.U32(m.lid);
    w.Bool(m.enable);
    w.String(m.handle);
}
bool Decode(XdrReader &r, EnableSrqParms *m) {
    return r.U32(&m->lid) && r.Bool(&m->enable) && r.String(kMaxSrqHandle, &m->handle);
}

void Encode(const RemoteFunc &m, XdrWriter &w) {
    w.U32(m.hostAddr);
    w.U32(m.hostPort);
    w.U32(m.progNum);
    w.U32(m.progVers);
    w.U32(m.progFamily);
}
bool Decode(XdrReader &r, RemoteFunc *m) {
    return r.U32(&m->hostAddr) && r.U32(&m->hostPort) && r.U32(&m->progNum) &&
           r.U32(&m->progVers) && r.U32(&m->progFamily);
}

void Encode(const SrqParms &m, XdrWriter &w) { w.String(m.handle); }
bool Decode(XdrReader &r, SrqParms *m) { return r.String(kMaxSrqHandle, &m->handle); }

void Encode(const PortmapMapping &m, XdrWriter &w) {
    w.U32(m.program);
    w.U32(m.version);
    w.U32(m.protocol);
    w.U32(m.port);
}
bool Decode(XdrReader &r, PortmapMapping *m) {
    return r.U32(&m->program) && r.U32(&m->version) && r.U32(&m->protocol) && r.U32(&m->port);
}

bool Decode(XdrReader &r, RpcbMapping *m) {
    constexpr size_t kMaxText = 256;
    return r.U32(&m->program) && r.U32(&m->version) && r.String(kMaxText, &m->netid) &&
           r.String(kMaxText, &m->address) && r.String(kMaxText, &m->owner);
}

std::string UniversalAddress(uint32_t address, uint16_t port) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += std::to_string((address >> shift) & 0xFF) + ".";
    return text + std::to_string(port >> 8) + "." + std::to_string(port & 0xFF);
}

}  // namespace xvr::vxi11
