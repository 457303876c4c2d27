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

}  // namespace xvrcli
