// What a VXI-11 server or portmapper sends: record-marked ONC RPC replies
// and every result the driver decodes, and the calls that arrive on the
// interrupt channel.  A record never grows past its cap, whatever its
// marks announce.
#include <cstdlib>
#include <vector>

#include "drivers/vxi11/rpc_message.h"
#include "drivers/vxi11/vxi11_messages.h"
#include "drivers/vxi11/xdr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace xvr::vxi11;
    constexpr size_t kCap = 4096;
    size_t at = 0;
    const ReadExact read = [&](uint8_t *into, size_t n) {
        if (size - at < n) return false;
        std::copy(data + at, data + at + n, into);
        at += n;
        return true;
    };
    std::vector<uint8_t> record;
    while (ReadRecord(read, kCap, &record) == RecordStatus::kOk) {
        if (record.size() > kCap) std::abort();
        RpcReply reply;
        if (ParseReply(record.data(), record.size(), &reply)) {
            if (reply.results &&
                (reply.results < record.data() ||
                 reply.results + reply.resultsSize > record.data() + record.size()))
                std::abort();
            DescribeRpcFailure(reply);
            const auto decode = [&](auto message, auto... extra) {
                XdrReader r(reply.results, reply.resultsSize);
                Decode(r, &message, extra...);
            };
            decode(CreateLinkResp{});
            decode(WriteResp{});
            decode(ReadResp{}, size_t{kCap});
            decode(ReadStbResp{});
            XdrReader r(reply.results, reply.resultsSize);
            uint32_t word = 0;
            DecodeU32(r, &word);
        }
        RpcCall call;
        if (ParseCall(record.data(), record.size(), &call)) {
            XdrReader r(call.args, call.argsSize);
            SrqParms srq;
            if (Decode(r, &srq) && srq.handle.size() > kMaxSrqHandle) std::abort();
        }
    }
    return 0;
}
