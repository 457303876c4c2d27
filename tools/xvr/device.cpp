#include "device.h"

#include <quvxvr.h>

#include <vector>

namespace xvrcli {

namespace {
constexpr int32_t kChunk = 65536;
// A device that streams without ever sending the delimiter must not fill
// the memory; "read -n" is the way to take large blocks.
constexpr size_t kMaxMessage = 256u * 1024 * 1024;
}

Library::Library() {
    const int32_t status = flXVRInit(nullptr, &m_module, XVR_INTERFACE_VERSION, XVR_INTERFACE_VERSION);
    if (status < 0) throw DeviceError("library initialisation failed: status " + std::to_string(status));
}

Library::~Library() { flXVRDeInit(m_module); }

std::string LastErrorText() {
    std::vector<char> text(4096, '\0');
    flXVRErrorTextGet(0, text.data(), static_cast<int32_t>(text.size()));
    std::string s(text.data());
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

void Fail(const std::string &what, int32_t status) {
    std::string message = what + ": status " + std::to_string(status);
    const std::string text = LastErrorText();
    if (!text.empty()) message += ": " + text;
    throw DeviceError(message);
}

Device::Device(const Library &library, const std::string &driver, const std::string &address,
               const Options &options)
    : m_name(driver + " " + address) {
    const int32_t connectMs = options.timeoutMs.value_or(kDefaultConnectTimeoutMs);
    const int32_t status = flXVROpenWithTimeout(library.handle(), &m_handle, driver.c_str(),
                                                address.c_str(), connectMs);
    if (status < 0) Fail("cannot open " + m_name, status);
    try {
        if (options.timeoutMs) Set("TIMEOUT", std::to_string(*options.timeoutMs));
        if (options.delimiter) Set("DELIMITER", *options.delimiter);
    } catch (...) {
        flXVRClose(m_handle);  // the destructor does not run for a failed constructor
        throw;
    }
}

Device::~Device() { flXVRClose(m_handle); }

void Device::Write(const std::string &data, bool appendDelimiter) {
    if (data.size() > static_cast<size_t>(INT32_MAX - 100))
        throw DeviceError("write to " + m_name + ": data too long");
    int32_t length = static_cast<int32_t>(data.size());
    const int32_t status =
        flXVRWrite(m_handle, reinterpret_cast<const uint8_t *>(data.data()), &length,
                   appendDelimiter ? XVR_WRITE_APPEND_DELIMITER : 0u);
    if (status < 0) Fail("write to " + m_name + " failed", status);
}

std::string Device::ReadMessage() {
    std::string message;
    std::vector<uint8_t> buffer(kChunk);
    for (;;) {
        int32_t length = kChunk;
        const int32_t status = flXVRRead(m_handle, buffer.data(), &length, XVR_READ_STOP_AT_DELIMITER);
        if (status < 0) Fail("read from " + m_name + " failed", status);
        if (length > 0 && length <= kChunk) message.append(buffer.begin(), buffer.begin() + length);
        // Status 1: the buffer filled before the delimiter came; go on.
        if (status != 1) return message;
        if (message.size() >= kMaxMessage)
            throw DeviceError("read from " + m_name + ": no delimiter within " +
                              std::to_string(kMaxMessage) + " bytes; use read -n");
    }
}

std::string Device::ReadBytes(int32_t capacity, bool allowShort) {
    std::vector<uint8_t> buffer(static_cast<size_t>(capacity > 0 ? capacity : 1));
    int32_t length = capacity;
    const int32_t status = flXVRRead(m_handle, buffer.data(), &length, 0);
    const int32_t got = (length >= 0 && length <= capacity) ? length : 0;
    if (status < 0 && !(allowShort && status == -6)) Fail("read from " + m_name + " failed", status);
    return std::string(buffer.begin(), buffer.begin() + got);
}

std::string Device::Query(const std::string &command) {
    Write(command, true);
    return ReadMessage();
}

std::string Device::Get(const std::string &name) {
    std::vector<char> value(4096, '\0');
    const int32_t status = flXVRParamGet(m_handle, name.c_str(), value.data(),
                                         static_cast<int32_t>(value.size()));
    if (status < 0) Fail("cannot get " + name + " of " + m_name, status);
    value.back() = '\0';
    return std::string(value.data());
}

void Device::Set(const std::string &name, const std::string &value) {
    const int32_t status = flXVRParamSet(m_handle, name.c_str(), value.c_str());
    if (status < 0) Fail("cannot set " + name + " of " + m_name, status);
}

}  // namespace xvrcli
