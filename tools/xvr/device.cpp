#include "device.h"

#include <quvxvr.h>

#include <vector>

#include "hex.h"

namespace xvrcli {

namespace {
constexpr int32_t kChunk = 65536;
// A device that streams without ever sending the delimiter must not fill
// the memory; "read -n" is the way to take large blocks.
constexpr size_t kMaxMessage = 256u * 1024 * 1024;
// The library's read time-out until one is set.
constexpr int32_t kLibraryDefaultTimeoutMs = 1000;

std::string Indented(const std::string &text) {
    std::string out = "  ";
    for (char c : text) {
        if (c == '\r') continue;
        out += c;
        if (c == '\n') out += "  ";
    }
    return out;
}
}  // namespace

Library::Library() {
    const int32_t status = flXVRInit(nullptr, &m_module, XVR_INTERFACE_VERSION, XVR_INTERFACE_VERSION);
    if (status < 0) Fail("library initialisation failed", status, Call::Init);
}

Library::~Library() { flXVRDeInit(m_module); }

std::string LastErrorText() {
    std::vector<char> text(4096, '\0');
    flXVRErrorTextGet(0, text.data(), static_cast<int32_t>(text.size()));
    std::string s(text.data());
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

void Fail(const std::string &what, int32_t status, Call call) {
    std::string message = what + ": status " + std::to_string(status);
    if (*StatusName(status)) message += std::string(" (") + StatusName(status) + ")";
    const std::string text = LastErrorText();
    if (!text.empty()) message += "\n" + Indented(text);
    message += "\n  In English: " + StatusMeaning(status, call) + ".";
    throw DeviceError(message);
}

Device::Device(const Library &library, const DriverInfo &driver, const std::string &address,
               const Options &options)
    : m_driver(driver), m_name(std::string(driver.name) + " " + address), m_timeoutMs(0) {
    const int32_t connectMs = options.timeoutMs.value_or(kDefaultConnectTimeoutMs);
    const int32_t status =
        flXVROpenWithTimeout(library.handle(), &m_handle, driver.name, address.c_str(), connectMs);
    if (status < 0) Fail("cannot open " + m_name, status, Call::Open);
    try {
        if (options.timeoutMs) Set("TIMEOUT", std::to_string(*options.timeoutMs));
        if (options.delimiter) Set("DELIMITER", *options.delimiter);
    } catch (...) {
        flXVRClose(m_handle);  // the destructor does not run for a failed constructor
        throw;
    }
}

Device::~Device() { flXVRClose(m_handle); }

int32_t Device::TimeoutMs() {
    if (m_timeoutMs == 0 && Readable(m_driver, "TIMEOUT")) {
        // Only asked after a failure, when the library's text is already taken.
        try {
            m_timeoutMs = static_cast<int32_t>(std::stol(Get("TIMEOUT")));
        } catch (const std::exception &) {
        }
    }
    return m_timeoutMs > 0 ? m_timeoutMs : kLibraryDefaultTimeoutMs;
}

void Device::FailRead(int32_t status, const std::string &awaited, const std::string &detail) {
    // A time-out is the one failure the library leaves without a text.
    if (status != XVR_ERR_TRANSFER || !LastErrorText().empty())
        Fail("read from " + m_name + " failed", status, Call::Read);
    throw DeviceError("read from " + m_name + ": timed out after " + std::to_string(TimeoutMs()) +
                      " ms waiting for " + awaited + detail + " (status " + std::to_string(status) +
                      ", " + StatusName(status) + ")");
}

void Device::Write(const std::string &data, bool appendDelimiter) {
    if (data.size() > static_cast<size_t>(INT32_MAX - 100))
        throw DeviceError("write to " + m_name + ": data too long");
    int32_t length = static_cast<int32_t>(data.size());
    const int32_t status =
        flXVRWrite(m_handle, reinterpret_cast<const uint8_t *>(data.data()), &length,
                   appendDelimiter ? XVR_WRITE_APPEND_DELIMITER : 0u);
    if (status < 0) Fail("write to " + m_name + " failed", status, Call::Write);
}

std::string Device::ReadMessage(const std::string &awaited) {
    std::string message;
    std::vector<uint8_t> buffer(kChunk);
    for (;;) {
        int32_t length = kChunk;
        const int32_t status = flXVRRead(m_handle, buffer.data(), &length, XVR_READ_STOP_AT_DELIMITER);
        if (length > 0 && length <= kChunk) message.append(buffer.begin(), buffer.begin() + length);
        if (status < 0) {
            const std::string text = LastErrorText();
            std::string detail;
            if (status == XVR_ERR_TRANSFER && text.empty()) {
                std::string delimiter;
                try {
                    delimiter = Get("DELIMITER");
                } catch (const DeviceError &) {
                }
                detail = " (delimiter " + (delimiter.empty() ? std::string("none") : delimiter) + "; " +
                         std::to_string(message.size()) + " bytes came";
                if (!message.empty())
                    detail += ": " + ToPrintable(message.substr(0, 40)) + (message.size() > 40 ? "..." : "");
                detail += ")";
            }
            FailRead(status, awaited, detail);
        }
        // XVR_READ_BUFFER_FULL: the buffer filled before the delimiter came; go on.
        if (status != XVR_READ_BUFFER_FULL) return message;
        if (message.size() >= kMaxMessage)
            throw DeviceError("read from " + m_name + ": no delimiter within " +
                              std::to_string(kMaxMessage) + " bytes; use read -n");
    }
}

void Device::ReadCount(uint64_t count, const Sink &sink, const std::string &awaited) {
    std::vector<uint8_t> buffer(kChunk);
    uint64_t done = 0;
    while (done < count) {
        const int32_t chunk = static_cast<int32_t>(count - done < kChunk ? count - done : kChunk);
        int32_t length = chunk;
        const int32_t status = flXVRRead(m_handle, buffer.data(), &length, 0);
        const int32_t got = (length >= 0 && length <= chunk) ? length : 0;
        if (got > 0) sink(std::string(buffer.begin(), buffer.begin() + got));
        done += static_cast<uint64_t>(got);
        if (status < 0 || got < chunk)
            FailRead(status < 0 ? status : XVR_ERR_TRANSFER, awaited,
                     " (" + std::to_string(done) + " of " + std::to_string(count) + " bytes came)");
    }
}

std::string Device::Query(const std::string &command) {
    Write(command, true);
    return ReadMessage("the answer to '" + ToPrintable(command) + "'");
}

std::string Device::Get(const std::string &name) {
    std::vector<char> value(4096, '\0');
    const int32_t status = flXVRParamGet(m_handle, name.c_str(), value.data(),
                                         static_cast<int32_t>(value.size()));
    if (status < 0) Fail("cannot get " + name + " of " + m_name, status, Call::ParamGet);
    value.back() = '\0';
    return std::string(value.data());
}

void Device::Set(const std::string &name, const std::string &value) {
    const int32_t status = flXVRParamSet(m_handle, name.c_str(), value.c_str());
    if (status < 0) Fail("cannot set " + name + " of " + m_name, status, Call::ParamSet);
    // Values reach here checked: a time-out is plain milliseconds.
    if (NormalizedName(name) == "TIMEOUT") m_timeoutMs = static_cast<int32_t>(std::stol(value));
}

}  // namespace xvrcli
