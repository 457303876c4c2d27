// IEEE 488.2 blocks: "#<n><length><data>" with n length digits, or
// "#0<data>" ended by the delimiter.  The data may hold any bytes, the
// delimiter too, so it is read by count, never up to the delimiter.
#pragma once

#include "device.h"

namespace xvrcli {

// Reads one block answer and hands its data to `sink`; the delimiter after
// a counted block is read too.  Throws DeviceError when the answer is not a
// block or does not come whole.
void ReadBlock(Device &device, const Device::Sink &sink);

// One answer up to the delimiter, unless it begins as a definite-length
// block: then through every delimiter inside the block's data.
struct Answer {
    std::string data;  // without the delimiter; of a block only its data
    bool block = false;
};
Answer ReadAnswer(Device &device, const std::string &awaited);

}  // namespace xvrcli
