#include "drivers/catalogue.h"

#include <cstdio>
#include <cstring>

#include "base/parameter_file.h"
#include "base/strings.h"
#include "base/texts.h"
#include "drivers/driver.h"
#include "drivers/registry.h"
#include "platform/platform.h"

namespace xvr {

namespace {

bool ModuleHandleOk(uint32_t handle, std::u16string *error) {
    // Only the marker byte of the module handle is checked.
    if ((handle & kHandleMarkerMask) == XVR_MODULE_HANDLE) return true;
    *error = LoadText(kTextBadHandle);
    return false;
}

// Whole text and its zero, or the empty string and -19.
int32_t CopyOut(const char *text, char *buffer, uint32_t size, std::u16string *error) {
    size_t n = std::strlen(text);
    if (buffer && static_cast<int32_t>(size) > 0 &&
        static_cast<size_t>(static_cast<int32_t>(size)) > n) {
        std::memcpy(buffer, text, n + 1);
        return kStatusOk;
    }
    if (buffer && static_cast<int32_t>(size) > 0) buffer[0] = 0;
    *error = LoadText(kTextBufferTooSmall);
    return kStatusNameTooLong;
}

int32_t UnknownDriver(const char *driverName, std::u16string *error) {
    *error = FormatText(kTextUnknownDriver, {platform::AnsiToWide(driverName ? driverName : "")});
    return kStatusUnknownDriver;
}

// Section "XVR", Catalogue=all: the drivers listed on request follow the
// first four.  Read at each question, like the other keys.
bool WholeCatalogue() {
    return ToUpper(platform::ProfileString(ParameterFilePath(), u"XVR", u"Catalogue", u"", 16)) ==
           u"ALL";
}

// The index-th driver the catalogue lists, or nullptr.
const DriverEntry *ListedDriver(uint32_t index, bool whole) {
    size_t count = 0;
    const DriverEntry *table = DriverTable(&count);
    for (size_t i = 0; i < count; ++i) {
        if (!table[i].listed || (table[i].onRequest && !whole)) continue;
        if (index-- == 0) return &table[i];
    }
    return nullptr;
}

}  // namespace

int32_t CatalogueDriverCount(uint32_t moduleHandle, uint32_t *count, std::u16string *error) {
    if (!ModuleHandleOk(moduleHandle, error)) return kStatusBadHandle;
    const bool whole = WholeCatalogue();
    uint32_t listed = 0;
    while (ListedDriver(listed, whole)) ++listed;
    if (count) *count = listed;
    return kStatusOk;
}

int32_t CatalogueDriverName(uint32_t moduleHandle, uint32_t index, char *buffer, uint32_t size,
                            std::u16string *error) {
    if (!ModuleHandleOk(moduleHandle, error)) return kStatusBadHandle;
    const DriverEntry *d = ListedDriver(index, WholeCatalogue());
    if (!d) {
        *error = LoadText(kTextOutOfRange);
        return kStatusDriverIndex;
    }
    return CopyOut(d->name, buffer, size, error);
}

int32_t CatalogueDriverParam(uint32_t moduleHandle, const char *driverName, char *buffer,
                             uint32_t size, uint32_t *paramType, uint32_t *param1, uint32_t *param2,
                             std::u16string *error) {
    if (!ModuleHandleOk(moduleHandle, error)) return kStatusBadHandle;
    const DriverEntry *d = FindDriver(driverName);
    if (!d) return UnknownDriver(driverName, error);
    if (paramType) *paramType = d->paramType;
    if (param1) *param1 = d->paramMax;
    if (param2) *param2 = 0;
    return CopyOut(d->paramName, buffer, size, error);
}

int32_t CatalogueEnum(uint32_t moduleHandle, const char *driverName, int32_t index, char *buffer,
                      uint32_t size, std::u16string *error) {
    if (!ModuleHandleOk(moduleHandle, error)) return kStatusBadHandle;
    const DriverEntry *d = FindDriver(driverName);
    if (!d || !d->enumFormat) return UnknownDriver(driverName, error);
    const uint32_t i = static_cast<uint32_t>(index);  // a negative index is out of range
    if (i >= d->enumCount) {
        *error = LoadText(kTextOutOfRange);
        return kStatusEnumIndex;
    }
    char text[16];
    std::snprintf(text, sizeof text, d->enumFormat, i + 1);
    return CopyOut(text, buffer, size, error);
}

}  // namespace xvr
