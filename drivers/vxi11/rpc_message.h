// ONC RPC version 2 (RFC 5531) over TCP: calls and replies, and the record
// marking that frames them on the stream.  No I/O: the driver, the
// simulator's server and the fuzz target read and write the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <utility>
#include <string>
#include <vector>

namespace xvr::vxi11 {

constexpr uint32_t kRpcVersion = 2;
constexpr uint32_t kMsgCall = 0;
constexpr uint32_t kMsgReply = 1;
constexpr uint32_t kAuthNone = 0;
// An authentication body is at most 400 bytes.
constexpr size_t kMaxAuthBody = 400;

// accept_stat
enum AcceptStat : uint32_t {
    kAcceptSuccess = 0,
    kAcceptProgUnavail = 1,
    kAcceptProgMismatch = 2,
    kAcceptProcUnavail = 3,
    kAcceptGarbageArgs = 4,
    kAcceptSystemErr = 5,
};

// Record marking: a 4-byte mark before every fragment, its top bit set on
// the last fragment of a record, the other 31 bits the fragment's length.
constexpr size_t kRecordMarkSize = 4;
constexpr uint32_t kLastFragment = 0x80000000u;

struct FragmentMark {
    uint32_t length;
    bool last;
};
FragmentMark DecodeRecordMark(const uint8_t mark[4]);
void EncodeRecordMark(uint32_t length, bool last, uint8_t mark[4]);

// Reads one record through readExact (which fills exactly the bytes asked
// for, or fails), fragment by fragment, into *record.  A record longer than
// cap fails before anything of the offending fragment is read or allocated:
// the mark is never trusted.
enum class RecordStatus { kOk, kReadFailed, kTooLarge };
using ReadExact = std::function<bool(uint8_t *into, size_t size)>;
template <class Bytes>
RecordStatus ReadRecord(const ReadExact &readExact, size_t cap, Bytes *record);

// A byte vector whose growth leaves the new bytes uninitialised: a large
// reply is received straight into it, so zeroing it first would touch
// every byte twice.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <class U>
    UninitialisedAllocator(const UninitialisedAllocator<U> &) {}
    template <class U, class... Args>
    void construct(U *p, Args &&...args) {
        if constexpr (sizeof...(Args) == 0)
            ::new (static_cast<void *>(p)) U;
        else
            ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
};
using RecordBytes = std::vector<uint8_t, UninitialisedAllocator<uint8_t>>;

// A record under construction: BeginRecord leaves room for the mark,
// FinishRecord fills it in (one fragment).  extra counts bytes that the
// caller sends right after the buffer as part of the same record.
void BeginRecord(std::vector<uint8_t> *out);
void FinishRecord(std::vector<uint8_t> *out, size_t extra = 0);

// A call header (AUTH_NONE credentials and verifier) after BeginRecord; the
// arguments follow.
void AppendCallHeader(std::vector<uint8_t> *out, uint32_t xid, uint32_t program, uint32_t version,
                      uint32_t procedure);
// An accepted reply header (AUTH_NONE verifier) with accept_stat; results
// follow on success, the version range (low, high) on a program mismatch.
void AppendAcceptedReply(std::vector<uint8_t> *out, uint32_t xid, AcceptStat stat);
// A denied reply: RPC version mismatch (supported 2..2).
void AppendRpcMismatchReply(std::vector<uint8_t> *out, uint32_t xid);

struct RpcReply {
    enum class Outcome {
        kSuccess,      // results in [results, results + resultsSize)
        kRpcMismatch,  // denied: version range low..high
        kAuthError,    // denied: authStat
        kProgUnavail,
        kProgMismatch,  // low..high
        kProcUnavail,
        kGarbageArgs,
        kSystemErr,
    };
    uint32_t xid = 0;
    Outcome outcome = Outcome::kSuccess;
    uint32_t low = 0, high = 0, authStat = 0;
    const uint8_t *results = nullptr;  // into the record
    size_t resultsSize = 0;
};
// False when the record is not a well-formed reply.
bool ParseReply(const uint8_t *record, size_t size, RpcReply *reply);
// A short English phrase for an outcome other than success.
std::string DescribeRpcFailure(const RpcReply &reply);

struct RpcCall {
    uint32_t xid = 0;
    uint32_t rpcVersion = 0;
    uint32_t program = 0, version = 0, procedure = 0;
    const uint8_t *args = nullptr;  // into the record
    size_t argsSize = 0;
};
// False when the record is not a well-formed call.
bool ParseCall(const uint8_t *record, size_t size, RpcCall *call);

template <class Bytes>
RecordStatus ReadRecord(const ReadExact &readExact, size_t cap, Bytes *record) {
    record->clear();
    for (;;) {
        uint8_t mark[kRecordMarkSize];
        if (!readExact(mark, sizeof mark)) return RecordStatus::kReadFailed;
        const FragmentMark fragment = DecodeRecordMark(mark);
        if (fragment.length > cap - record->size()) return RecordStatus::kTooLarge;
        const size_t at = record->size();
        record->resize(at + fragment.length);
        if (fragment.length > 0 && !readExact(record->data() + at, fragment.length))
            return RecordStatus::kReadFailed;
        if (fragment.last) return RecordStatus::kOk;
    }
}

}  // namespace xvr::vxi11
