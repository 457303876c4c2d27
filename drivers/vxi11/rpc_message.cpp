#include "drivers/vxi11/rpc_message.h"

#include "drivers/vxi11/xdr.h"

namespace xvr::vxi11 {

FragmentMark DecodeRecordMark(const uint8_t mark[4]) {
    const uint32_t raw = static_cast<uint32_t>(mark[0]) << 24 |
                         static_cast<uint32_t>(mark[1]) << 16 |
                         static_cast<uint32_t>(mark[2]) << 8 | mark[3];
    return {raw & ~kLastFragment, (raw & kLastFragment) != 0};
}

void EncodeRecordMark(uint32_t length, bool last, uint8_t mark[4]) {
    const uint32_t raw = (length & ~kLastFragment) | (last ? kLastFragment : 0);
    mark[0] = static_cast<uint8_t>(raw >> 24);
    mark[1] = static_cast<uint8_t>(raw >> 16);
    mark[2] = static_cast<uint8_t>(raw >> 8);
    mark[3] = static_cast<uint8_t>(raw);
}

void BeginRecord(std::vector<uint8_t> *out) {
    out->clear();
    out->resize(kRecordMarkSize);
}

void FinishRecord(std::vector<uint8_t> *out, size_t extra) {
    EncodeRecordMark(static_cast<uint32_t>(out->size() - kRecordMarkSize + extra), true,
                     out->data());
}

void AppendCallHeader(std::vector<uint8_t> *out, uint32_t xid, uint32_t program, uint32_t version,
                      uint32_t procedure) {
    XdrWriter w(out);
    w.U32(xid);
    w.U32(kMsgCall);
    w.U32(kRpcVersion);
    w.U32(program);
    w.U32(version);
    w.U32(procedure);
    w.U32(kAuthNone);  // credentials
    w.U32(0);
    w.U32(kAuthNone);  // verifier
    w.U32(0);
}

void AppendAcceptedReply(std::vector<uint8_t> *out, uint32_t xid, AcceptStat stat) {
    XdrWriter w(out);
    w.U32(xid);
    w.U32(kMsgReply);
    w.U32(0);  // MSG_ACCEPTED
    w.U32(kAuthNone);
    w.U32(0);
    w.U32(stat);
}

void AppendRpcMismatchReply(std::vector<uint8_t> *out, uint32_t xid) {
    XdrWriter w(out);
    w.U32(xid);
    w.U32(kMsgReply);
    w.U32(1);  // MSG_DENIED
    w.U32(0);  // RPC_MISMATCH
    w.U32(kRpcVersion);
    w.U32(kRpcVersion);
}

bool ParseReply(const uint8_t *record, size_t size, RpcReply *reply) {
    XdrReader r(record, size);
    uint32_t type = 0, replyStat = 0;
    if (!r.U32(&reply->xid) || !r.U32(&type) || type != kMsgReply || !r.U32(&replyStat))
        return false;
    using Outcome = RpcReply::Outcome;
    if (replyStat == 1) {  // MSG_DENIED
        uint32_t rejectStat = 0;
        if (!r.U32(&rejectStat)) return false;
        if (rejectStat == 0) {
            reply->outcome = Outcome::kRpcMismatch;
            return r.U32(&reply->low) && r.U32(&reply->high);
        }
        if (rejectStat != 1) return false;
        reply->outcome = Outcome::kAuthError;
        return r.U32(&reply->authStat);
    }
    if (replyStat != 0) return false;
    uint32_t flavor = 0, stat = 0;
    const uint8_t *body = nullptr;
    size_t bodySize = 0;
    if (!r.U32(&flavor) || !r.Opaque(kMaxAuthBody, &body, &bodySize) || !r.U32(&stat)) return false;
    switch (stat) {
    case kAcceptSuccess:
        reply->outcome = Outcome::kSuccess;
        reply->results = record + r.Offset();
        reply->resultsSize = r.Remaining();
        return true;
    case kAcceptProgUnavail: reply->outcome = Outcome::kProgUnavail; return true;
    case kAcceptProgMismatch:
        reply->outcome = Outcome::kProgMismatch;
        return r.U32(&reply->low) && r.U32(&reply->high);
    case kAcceptProcUnavail: reply->outcome = Outcome::kProcUnavail; return true;
    case kAcceptGarbageArgs: reply->outcome = Outcome::kGarbageArgs; return true;
    case kAcceptSystemErr: reply->outcome = Outcome::kSystemErr; return true;
    default: return false;
    }
}

std::string DescribeRpcFailure(const RpcReply &reply) {
    using Outcome = RpcReply::Outcome;
    switch (reply.outcome) {
    case Outcome::kSuccess: return "RPC: success";
    case Outcome::kRpcMismatch:
        return "RPC: version mismatch (server supports " + std::to_string(reply.low) + " to " +
               std::to_string(reply.high) + ")";
    case Outcome::kAuthError: return "RPC: authentication error " + std::to_string(reply.authStat);
    case Outcome::kProgUnavail: return "RPC: program unavailable";
    case Outcome::kProgMismatch:
        return "RPC: program version mismatch (server supports " + std::to_string(reply.low) +
               " to " + std::to_string(reply.high) + ")";
    case Outcome::kProcUnavail: return "RPC: procedure unavailable";
    case Outcome::kGarbageArgs: return "RPC: arguments not understood";
    case Outcome::kSystemErr: return "RPC: system error";
    }
    return "RPC: failure";
}

bool ParseCall(const uint8_t *record, size_t size, RpcCall *call) {
    XdrReader r(record, size);
    uint32_t type = 0;
    if (!r.U32(&call->xid) || !r.U32(&type) || type != kMsgCall || !r.U32(&call->rpcVersion) ||
        !r.U32(&call->program) || !r.U32(&call->version) || !r.U32(&call->procedure))
        return false;
    for (int i = 0; i < 2; ++i) {  // credentials, verifier
        uint32_t flavor = 0;
        const uint8_t *body = nullptr;
        size_t bodySize = 0;
        if (!r.U32(&flavor) || !r.Opaque(kMaxAuthBody, &body, &bodySize)) return false;
    }
    call->args = record + r.Offset();
    call->argsSize = r.Remaining();
    return true;
}

}  // namespace xvr::vxi11
