#include "block.h"

#include <cstdio>

#include "hex.h"

namespace xvrcli {

namespace {

std::string ReadExactly(Device &device, uint64_t count, const std::string &awaited) {
    std::string data;
    device.ReadCount(
        count, [&](const std::string &part) { data += part; }, awaited);
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

// Header and data bytes of the definite-length block that `answer` begins
// with, and the header's length; 0 when it does not begin with one.
uint64_t BlockSize(const std::string &answer, size_t *headerLength) {
    if (answer.size() < 2 || answer[0] != '#' || answer[1] < '1' || answer[1] > '9') return 0;
    const size_t digits = static_cast<size_t>(answer[1] - '0');
    if (answer.size() < 2 + digits) return 0;
    uint64_t length = 0;
    for (size_t i = 2; i < 2 + digits; ++i) {
        if (answer[i] < '0' || answer[i] > '9') return 0;
        length = length * 10 + static_cast<uint64_t>(answer[i] - '0');
    }
    *headerLength = 2 + digits;
    return 2 + digits + length;
}

}  // namespace

Answer ReadAnswer(Device &device, const std::string &awaited) {
    const std::string &delimiter = device.Delimiter();
    std::string answer = device.ReadMessage(awaited, true);
    size_t header = 0;
    const uint64_t size = BlockSize(answer, &header);
    const bool ended =
        !delimiter.empty() && answer.size() >= delimiter.size() &&
        answer.compare(answer.size() - delimiter.size(), delimiter.size(), delimiter) == 0;
    if (size == 0)
        return {ended ? answer.substr(0, answer.size() - delimiter.size()) : answer, false};
    // The delimiter came inside the data: read on, keeping it.
    while (answer.size() < size) answer += device.ReadMessage("the rest of the block", true);
    if (answer.size() == size) {
        // The data ended with the delimiter's bytes; the real one follows.
        try {
            answer += device.ReadMessage("the delimiter after the block", true);
        } catch (const DeviceError &e) {
            std::fprintf(stderr, "xvr: the block came whole, but not its end: %s\n", e.what());
        }
    }
    std::string after = answer.substr(size);
    if (after.size() >= delimiter.size()) after.resize(after.size() - delimiter.size());
    if (!after.empty())
        std::fprintf(stderr, "xvr: %zu bytes after the block were ignored: '%s'\n", after.size(),
                     ShortPrintable(after, 40).c_str());
    return {answer.substr(header, size - header), true};
}

void ReadBlock(Device &device, const Device::Sink &sink) {
    const std::string hash = ReadExactly(device, 1, "the start of a block (#)");
    if (hash != "#") NotABlock(device, hash);
    const std::string digits = ReadExactly(device, 1, "the length digit count of the block");
    if (digits[0] < '0' || digits[0] > '9') NotABlock(device, hash + digits);
    if (digits[0] == '0') {
        sink(device.ReadMessage("the end of the #0 block (the delimiter)"));
        return;
    }
    const std::string length =
        ReadExactly(device, static_cast<uint64_t>(digits[0] - '0'), "the length of the block");
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
            std::fprintf(stderr, "xvr: %zu bytes after the block were ignored: '%s'\n",
                         after.size(), ToPrintable(after.substr(0, 40)).c_str());
    } catch (const DeviceError &e) {
        std::fprintf(stderr, "xvr: the block came whole, but not its end: %s\n", e.what());
    }
}

}  // namespace xvrcli
