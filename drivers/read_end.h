// The end of a read, the same for every transport: the delimiter leaves the
// count unless the host keeps it (flag 2), a zero byte follows the data with
// flag 4, and the way the read ended gives the status.
//
// What the transports deliberately do differently before this point:
//   COM   a buffer that fills with the delimiter's last byte ends as full
//         (1), delimiter kept in the count: the full check comes first.
//   IP    the host buffer is zero after the bytes the read delivered.
//   GPIB  a pass that ends past the time-out ends short (-6) even when it
//         brought the delimiter: the clock is checked first.
#pragma once

#include <cstdint>

namespace xvr {

enum class ReadEnd {
    kDelimiter,   // status 2
    kBufferFull,  // status 1
    kShort,       // status -6: time-out, nothing more to receive, or failure
};

// What a read may fill of the host's length: with flag 4 one byte stays for
// the zero (none with a length of 0).
uint32_t ReadCapacity(uint32_t length, uint32_t flags);

// buffer holds count bytes; capacity is what the read could take
// (ReadCapacity).  Sets *length and returns the status.
int32_t FinishRead(ReadEnd end, uint8_t *buffer, uint32_t count, uint32_t capacity, uint32_t flags,
                   uint32_t delimiterLength, int32_t *length);

}  // namespace xvr
