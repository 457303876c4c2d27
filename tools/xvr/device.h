// The library as xvr uses it: one initialisation per run and one open
// device, every failure turned into a DeviceError that carries the
// library's status and text.
#pragma once

#include <cstdint>
#include <string>

#include "options.h"

namespace xvrcli {

// Initialises the library for the life of the object.
class Library {
public:
    Library();
    ~Library();
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;
    uint32_t handle() const { return m_module; }

private:
    uint32_t m_module = 0;
};

// The library's last error text, trailing line breaks removed.
std::string LastErrorText();
// "what: status N: text" as a DeviceError.
[[noreturn]] void Fail(const std::string &what, int32_t status);

// Connect time-out used when --timeout is not given, so that an absent
// network peer does not block the tool indefinitely.
constexpr int32_t kDefaultConnectTimeoutMs = 5000;

class Device {
public:
    // Opens DRIVER ADDRESS and applies --timeout and --delimiter.
    Device(const Library &library, const std::string &driver, const std::string &address,
           const Options &options);
    ~Device();
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    // Sends the bytes, followed by the delimiter when appendDelimiter.
    void Write(const std::string &data, bool appendDelimiter);
    // One message up to the delimiter (not included), however long.
    std::string ReadMessage();
    // Up to `capacity` bytes without looking for the delimiter; returns what
    // arrived (fewer bytes only when the time-out ended the read and
    // allowShort is set, otherwise a time-out is a DeviceError).
    std::string ReadBytes(int32_t capacity, bool allowShort);
    std::string Query(const std::string &command);

    std::string Get(const std::string &name);
    void Set(const std::string &name, const std::string &value);

private:
    uint32_t m_handle = 0;
    std::string m_name;  // "DRIVER ADDRESS" for messages
};

}  // namespace xvrcli
