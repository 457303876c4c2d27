#include "block.h"

#include <cstdio>

#include "hex.h"

namespace xvrcli {

namespace {

std::string ReadExactly(Device &device, uint64_t count, const std::string &awaited) {
    std::string data;
    device.ReadCount(count, [&](const std::string &part) { data += part; }, awaited);
    return data;
}

[[noreturn]] void NotABlock(Device &device, const std::string &start) {
    std::string rest;
    try {
        rest = device.ReadMessage("the rest of the answer");
    } catch (const DeviceError &) {
    }
    throw DeviceError("the answer of " + device.name() + " is not a block (#<n><length><data>): '" +
                      ToPrintable((start + rest).substr(0, 80)) + "'");
}

}  // namespace

void ReadBlock(Device &device, const Device::Sink &sink) {
    const std::string hash = ReadExactly(device, 1, "the start of a block (#)");
    if (hash != "#") NotABlock(device, hash);
    const std::string digits = ReadExactly(device, 1, "the length digit count of the block");
    if (digits[0] < '0' || digits[0] > '9') NotABlock(device, hash + digits);
    if (digits[0] == '0') {
        sink(device.ReadMessage("the end of the #0 block (the delimiter)"));
        return;
    }
    const std::string length = ReadExactly(device, static_cast<uint64_t>(digits[0] - '0'),
                                           "the length of the block");
    uint64_t count = 0;
    for (char c : length) {
        if (c < '0' || c > '9') NotABlock(device, hash + digits + length);
        count = count * 10 + static_cast<uint64_t>(c - '0');
    }
    device.ReadCount(count, sink, "the " + std::to_string(count) + " data bytes of the block");
    // The message ends after the block; a device that sends more, or no
    // delimiter, has still delivered the whole block.
    try {
        const std::string after = device.ReadMessage("the delimiter after the block");
        if (!after.empty())
            std::fprintf(stderr, "xvr: %zu bytes after the block were ignored: '%s'\n", after.size(),
                         ToPrintable(after.substr(0, 40)).c_str());
    } catch (const DeviceError &e) {
        std::fprintf(stderr, "xvr: the block came whole, but not its end: %s\n", e.what());
    }
}

}  // namespace xvrcli
