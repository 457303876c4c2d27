#include "drivers/read_end.h"

#include "drivers/driver.h"

namespace xvr {

uint32_t ReadCapacity(uint32_t length, uint32_t flags) {
    return (flags & kReadZeroTerminate) && length > 0 ? length - 1 : length;
}

int32_t FinishRead(ReadEnd end, uint8_t *buffer, uint32_t count, uint32_t capacity, uint32_t flags,
                   uint32_t delimiterLength, int32_t *length) {
    if (end == ReadEnd::kDelimiter && !(flags & kReadKeepDelimiter)) count -= delimiterLength;
    // With no room kept (a host length of 0 or 1) there is no place for the zero.
    if ((flags & kReadZeroTerminate) && capacity > 0) buffer[count] = 0;
    *length = static_cast<int32_t>(count);
    switch (end) {
    case ReadEnd::kDelimiter: return kStatusDelimiter;
    case ReadEnd::kBufferFull: return kStatusBufferFull;
    case ReadEnd::kShort: break;
    }
    return kStatusTransfer;
}

}  // namespace xvr
