// The binding of one driver object to its bus library: loaded by file name,
// the eight entry points resolved by name, the interface initialised once.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "quviec.h"

namespace xvr {

class CXVR_GPIBBus {
public:
    CXVR_GPIBBus() = default;
    // A bound library stays loaded for the life of the process: bus libraries
    // are not built to be unloaded, and iecDeinit is never called.
    ~CXVR_GPIBBus() = default;
    CXVR_GPIBBus(const CXVR_GPIBBus &) = delete;
    CXVR_GPIBBus &operator=(const CXVR_GPIBBus &) = delete;

    // 0 when bound (at once if it already was); -4 with text 11020 / 11021
    // when the library cannot be loaded or lacks an entry point; -12 with
    // text 11022 when iecCInit fails.  A failure leaves the library unloaded
    // and the binding empty, so the next call tries again.
    int32_t Bind(const std::u16string &dllName, uint8_t interfaceIndex, const char *baseAddress,
                 std::u16string *error);
    bool IsBound() const;

    // The bus calls of a bound library.  A bus carries one transfer at a
    // time and a bus library is not known to be reentrant, so calls into one
    // library file are made by one thread at a time (for every driver object
    // bound to it).  True when the library reports success.
    bool Open(uint16_t address);
    bool Close(uint16_t address);
    bool Send(uint16_t address, uint16_t count, const uint8_t *data);
    bool Enter(uint16_t address, uint16_t *count, uint8_t *buffer);
    bool Parameter(uint16_t address, uint8_t endByteOn, uint8_t endByte, uint16_t timeoutMs);
    bool Trigger(const char *addresses);

private:
    void Unbind();

    mutable std::mutex m_BindLock;  // guards the binding itself
    void *m_hLibrary = nullptr;
    std::mutex *m_pCallLock = nullptr;  // the library file's, shared by its bindings
    iecCTrigger_t iecCTrigger = nullptr;
    iecParameter_t iecParameter = nullptr;
    iecEnter_t iecEnter = nullptr;
    iecSend_t iecSend = nullptr;
    iecOpen_t iecOpen = nullptr;
    iecCInit_t iecCInit = nullptr;
    iecClose_t iecClose = nullptr;
    iecDeinit_t iecDeinit = nullptr;
};

}  // namespace xvr
