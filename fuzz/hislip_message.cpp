// The HiSLIP header check, as client and server read it on every channel:
// whatever a peer sends, an accepted header has a known type, a payload
// within its cap, and writes back to the same bytes.
#include <cstdlib>
#include <cstring>

#include "drivers/hislip/hislip_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    namespace hs = xvr::hislip;
    if (size < hs::kHeaderSize) return 0;
    const uint64_t maxData =
        size > hs::kHeaderSize ? uint64_t{data[hs::kHeaderSize]} << 16 : UINT64_MAX;
    for (auto receiver : {hs::Receiver::kClient, hs::Receiver::kServer}) {
        for (auto channel : {hs::Channel::kNew, hs::Channel::kSync, hs::Channel::kAsync}) {
            hs::Header h;
            if (hs::ParseHeader(data, receiver, channel, maxData, &h) != hs::Check::kOk) continue;
            const bool isData = h.type == hs::kData || h.type == hs::kDataEnd;
            if (h.type > hs::kAsyncLockInfoResponse ||
                h.length > (isData ? maxData : hs::kMaxControlPayload))
                std::abort();
            uint8_t again[hs::kHeaderSize];
            hs::WriteHeader(h, again);
            if (std::memcmp(again, data, hs::kHeaderSize) != 0) std::abort();
            if (std::strcmp(hs::TypeName(h.type), "unknown") == 0) std::abort();
        }
    }
    return 0;
}
