#include "drivers/catalogue.h"

#include <cstdio>
#include <cstring>

#include "drivers/driver.h"
#include "frame/texts.h"
#include "platform/platform.h"

namespace xvr {

namespace {

constexpr int32_t kStatusBadIndex = -8;
constexpr int32_t kStatusUnknownDriver = -9;
constexpr int32_t kStatusBadEnumIndex = -10;
constexpr int32_t kStatusTooSmall = -19;

const char *const kDriverNames[] = {"COM", "TCP/IP", "UDP", "KX GPIB"};
constexpr uint32_t kDriverCount = sizeof kDriverNames / sizeof kDriverNames[0];

struct OpenParam {
    const char *driver;
    const char *name;
    uint32_t type, param1;
};
const OpenParam kOpenParams[] = {
    {"COM", "COM Port", 2, 255},       {"QUV GPIB", "GPIB Device", 2, 30},
    {"KX GPIB", "GPIB Device", 2, 30}, {"TCP/IP", "IP Address", 1, 255},
    {"UDP", "IP Address", 1, 255},
};

bool ModuleHandleOk(uint32_t handle, std::u16string *error) {
    if ((handle & 0xFF000000u) == 0x01000000u) return true;
    *error = LoadText(kTextBadHandle);
    return false;
}

// Whole text and its zero, or the empty string and -19.
int32_t CopyOut(const char *text, char *buffer, uint32_t size, std::u16string *error) {
    size_t n = std::strlen(text);
    if (buffer && static_cast<int32_t>(size) > 0 && static_cast<size_t>(static_cast<int32_t>(size)) > n) {
        std::memcpy(buffer, text, n + 1);
        return 0;
    }
    if (buffer && static_cast<int32_t>(size) > 0) buffer[0] = 0;
    *error = LoadText(kTextBufferTooSmall);
    return kStatusTooSmall;
}

int32_t UnknownDriver(const char *driverName, std::u16string *error) {
    *error = FormatText(kTextUnknownDriver, {platform::AnsiToWide(driverName ? driverName : "")});
    return kStatusUnknownDriver;
}

bool Is(const char *a, const char *b) { return a && std::strcmp(a, b) == 0; }

}  // namespace

int32_t CatalogueDriverCount(uint32_t moduleHandle, uint32_t *count, std::u16string *error) {
    if (!ModuleHandleOk(moduleHandle, error)) return kStatusBadHandle;
    if (count) *count = kDriverCount;
    return 0;
}

int32_t CatalogueDriverName(uint32_t moduleHandle, uint32_t index, char *buffer, uint32_t size,
                            std::u16string *error) {
    if (!ModuleHandleOk(moduleHandle, error)) return kStatusBadHandle;
    if (index >= kDriverCount) {
        *error = LoadText(kTextOutOfRange);
        return kStatusBadIndex;
    }
    return CopyOut(kDriverNames[index], buffer, size, error);
}

int32_t CatalogueDriverParam(uint32_t moduleHandle, const char *driverName, char *buffer,
                             uint32_t size, uint32_t *paramType, uint32_t *param1,
                             uint32_t *param2, std::u16string *error) {
    if (!ModuleHandleOk(moduleHandle, error)) return kStatusBadHandle;
    for (const OpenParam &p : kOpenParams) {
        if (!Is(driverName, p.driver)) continue;
        if (paramType) *paramType = p.type;
        if (param1) *param1 = p.param1;
        if (param2) *param2 = 0;
        return CopyOut(p.name, buffer, size, error);
    }
    return UnknownDriver(driverName, error);
}

int32_t CatalogueEnum(uint32_t moduleHandle, const char *driverName, int32_t index,
                      char *buffer, uint32_t size, std::u16string *error) {
    if (!ModuleHandleOk(moduleHandle, error)) return kStatusBadHandle;
    const char *format;
    uint32_t count;
    if (Is(driverName, "COM")) {
        format = "COM%u";
        count = 255;
    } else if (Is(driverName, "QUV GPIB") || Is(driverName, "KX GPIB")) {
        format = "Dev%2u";
        count = 31;
    } else {
        return UnknownDriver(driverName, error);
    }
    uint32_t i = static_cast<uint32_t>(index);  // a negative index is out of range
    if (i >= count) {
        *error = LoadText(kTextOutOfRange);
        return kStatusBadEnumIndex;
    }
    char text[16];
    std::snprintf(text, sizeof text, format, i + 1);
    return CopyOut(text, buffer, size, error);
}

}  // namespace xvr
