// The 17 exports of the built library, resolved by name the way a host does;
// shared by the host tests and the benchmarks.
#pragma once

#include <cstdint>
#include <string>

#include "quvxvr.h"  // the status names the exports return

namespace xvr::test {

struct HostApi {
    int32_t (*Init)(void *, uint32_t *, int32_t, int32_t);
    int32_t (*DeInit)(uint32_t);
    int32_t (*Open)(uint32_t, uint32_t *, const char *, const char *);
    int32_t (*OpenWithTimeout)(uint32_t, uint32_t *, const char *, const char *, int32_t);
    int32_t (*Close)(uint32_t);
    int32_t (*Read)(uint32_t, uint8_t *, int32_t *, uint32_t);
    int32_t (*Write)(uint32_t, const uint8_t *, int32_t *, uint32_t);
    int32_t (*ParamGet)(uint32_t, const char *, char *, int32_t);
    int32_t (*ParamSet)(uint32_t, const char *, const char *);
    int32_t (*ErrorTextGet)(uint32_t, char *, int32_t);
    int32_t (*DriverCountGet)(uint32_t, uint32_t *);
    int32_t (*DriverNameGet)(uint32_t, uint32_t, char *, uint32_t);
    int32_t (*DriverParamGet)(uint32_t, const char *, char *, uint32_t, uint32_t *, uint32_t *,
                              uint32_t *);
    int32_t (*EnumGet)(uint32_t, const char *, int32_t, char *, uint32_t);
    int32_t (*DeviceConfig)();
    int32_t (*ParamSave)();
    int32_t (*ParamLoad)();

    // The last error text as UTF-8 (Linux) / ANSI (Windows) bytes.
    std::string ErrorText() const;
};

// Loads the library named by XVR_LIBRARY_FILE once per process; nullptr with
// the reason in *problem when it or an export is missing.
const HostApi *LoadHostApi(std::string *problem);

// Open file descriptors of this process (Linux); -1 where it cannot be told.
int OpenDescriptorCount();

}  // namespace xvr::test
