// The library as xvr uses it: one initialisation per run and one open
// device, every failure turned into a DeviceError that carries the
// library's status, its text and what the status means in English.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "options.h"
#include "param_rules.h"
#include "status.h"

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
// "what: status N (NAME)", the library's text and the English meaning, as a
// DeviceError.
[[noreturn]] void Fail(const std::string &what, int32_t status, Call call);

// Where the system looks for the bus library that the library's text
// names (">libquviec2.so<"), as a line for the failure message; "" when the
// text names none.
std::string BusLibraryHint(const std::string &libraryText);

// Connect time-out used when --timeout is not given, so that an absent
// network peer does not block the tool indefinitely.
constexpr int32_t kDefaultConnectTimeoutMs = 5000;

class Device {
public:
    using Sink = std::function<void(const std::string &)>;

    // Opens DRIVER ADDRESS and applies --timeout and --delimiter.
    Device(const Library &library, const DriverInfo &driver, const std::string &address,
           const Options &options);
    ~Device();
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    // Sends the bytes, followed by the delimiter when appendDelimiter.
    void Write(const std::string &data, bool appendDelimiter);
    // One message up to the delimiter (not included), however long;
    // `awaited` says what for a time-out message ("the answer to '*IDN?'").
    // With keepDelimiter the delimiter stays at the end of the message.
    std::string ReadMessage(const std::string &awaited, bool keepDelimiter = false);
    // The bytes of the device's DELIMITER parameter.
    const std::string &Delimiter();
    // Exactly `count` bytes without looking for the delimiter, handed to
    // `sink` as they come; a time-out before the last is a DeviceError.
    void ReadCount(uint64_t count, const Sink &sink, const std::string &awaited);
    std::string Query(const std::string &command);

    std::string Get(const std::string &name);
    // A get that waits (SRQ): a time-out says what was awaited, as a read's does.
    std::string GetAwaiting(const std::string &name, const std::string &awaited);
    void Set(const std::string &name, const std::string &value);

    const std::string &name() const { return m_name; }

    // Reads then wait in slices and give up, with a DeviceError, once
    // `interrupted` returns true (Ctrl-C in the shell); null: one wait.
    void SetInterrupt(bool (*interrupted)()) { m_interrupted = interrupted; }

private:
    // flXVRRead, or with an interrupt check its time-out cut into slices.
    int32_t Read(uint8_t *buffer, int32_t *length, uint32_t flags);
    [[noreturn]] void FailRead(int32_t status, const std::string &awaited,
                               const std::string &detail);
    int32_t TimeoutMs();

    uint32_t m_handle = 0;
    const DriverInfo &m_driver;
    std::string m_name;                      // "DRIVER ADDRESS" for messages
    int32_t m_timeoutMs;                     // 0: not known yet
    std::optional<std::string> m_delimiter;  // asked once, forgotten by a set
    bool (*m_interrupted)() = nullptr;
};

}  // namespace xvrcli
