// The interface every transport implements; the module object knows drivers
// only through it.
#pragma once

#include <cstdint>
#include <string>

#include "base/status.h"
#include "quvxvr.h"

namespace xvr {

// The marker byte of every handle the library hands out (module handle
// XVR_MODULE_HANDLE, device handles 0x01ssnnnn).
constexpr uint32_t kHandleMarkerMask = 0xFF000000u;

// Transfer flags (unsigned bit set, passed through from the host).
constexpr uint32_t kReadStopAtDelimiter = XVR_READ_STOP_AT_DELIMITER;
constexpr uint32_t kReadKeepDelimiter = XVR_READ_KEEP_DELIMITER;
constexpr uint32_t kReadZeroTerminate = XVR_READ_ZERO_TERMINATE;
constexpr uint32_t kWriteAppendDelimiter = XVR_WRITE_APPEND_DELIMITER;

class iXVR_Functions {
public:
    explicit iXVR_Functions(std::u16string name) : m_sName(std::move(name)) {}
    virtual ~iXVR_Functions() = default;
    iXVR_Functions(const iXVR_Functions &) = delete;
    iXVR_Functions &operator=(const iXVR_Functions &) = delete;

    // *handle holds the frame's bits; on success the driver ORs its device
    // number (1-65535) into the low 16 bits.
    virtual int32_t Open(uint32_t *handle, std::u16string param, int32_t timeoutMs,
                         std::u16string *error) = 0;
    virtual int32_t Close(uint32_t handle, std::u16string *error) = 0;
    // The frame has checked the arguments: length is not null, and buffer is
    // not null while *length is above 0.
    virtual int32_t Read(uint32_t handle, uint8_t *buffer, int32_t *length, uint32_t flags,
                         std::u16string *error) = 0;
    virtual int32_t Write(uint32_t handle, const uint8_t *buffer, int32_t *length, uint32_t flags,
                          std::u16string *error) = 0;
    virtual bool HasOpenDevices() = 0;
    virtual int32_t ParamGet(uint32_t handle, std::u16string name, std::u16string *value,
                             std::u16string *error) = 0;
    virtual int32_t ParamSet(uint32_t handle, std::u16string name, std::u16string value,
                             std::u16string *error) = 0;

    const std::u16string m_sName;
};

}  // namespace xvr
