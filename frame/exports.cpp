// The 17 exports: convert host text, call the module object or the catalogue,
// write the call-log entry, return the status.  Nothing is thrown across this
// boundary: an internal failure (out of memory) becomes -4 with text 11018.
#include "quvxvr.h"

#include <cstring>
#include <string>

#include "drivers/catalogue.h"
#include "frame/module.h"
#include "base/status.h"
#include "base/strings.h"
#include "base/texts.h"
#include "platform/platform.h"

using namespace xvr;

namespace {

// Host text to UTF-16; a null pointer reads as the empty text.
std::u16string W(const char *text) {
    return platform::AnsiToWide(text ? std::string_view(text) : std::string_view());
}

// Host buffer content for the log, never beyond the buffer's size.
std::u16string BufferText(const char *buffer, int64_t size) {
    if (!buffer || size <= 0) return {};
    size_t n = 0;
    while (static_cast<int64_t>(n) < size && buffer[n] != 0) ++n;
    return platform::AnsiToWide(std::string_view(buffer, n));
}

uint32_t Addr(const void *p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// An internal failure (out of memory): -4 with text 11018.
int32_t Internal(std::u16string &error) {
    try {
        error = LoadText(kTextCannotOpen);
    } catch (...) {
        error.clear();
    }
    return kStatusOpenFailed;
}

// One export call: body(error) runs with the call's own error text, which is
// published as the last error text when the call ends.  Nothing is thrown
// across this boundary.
template <class Body>
int32_t Guarded(Body body) {
    std::u16string error;
    int32_t status;
    try {
        status = body(error);
    } catch (...) {
        status = Internal(error);
    }
    try {
        TheApp().PublishError(error, status < 0);
    } catch (...) {
    }
    return status;
}

void LogCall(const std::u16string &entry) { TheApp().Log().Write(entry); }

bool Logging() { return TheApp().Log().Enabled(); }

// Read and write: a missing length or buffer is refused before any driver
// sees it.  The log shows the bytes now in the buffer, but never more than the
// host said it holds (a write's count may include the delimiter).
template <class Byte>
int32_t Transfer(const char16_t *format, uint32_t handle, Byte *buffer, int32_t *length,
                 uint32_t flags,
                 int32_t (CQUVXVRApp::*call)(uint32_t, Byte *, int32_t *, uint32_t,
                                             std::u16string *)) {
    return Guarded([&](std::u16string &error) {
        CQUVXVRApp &app = TheApp();
        const int32_t lengthIn = length ? *length : 0;
        int32_t status;
        if (!length || (!buffer && lengthIn > 0)) {
            // A text, so that the host does not take it for a time-out.
            error = LoadText(kTextOutOfRange);
            status = kStatusTransfer;
        } else {
            status = (app.*call)(handle, buffer, length, flags, &error);
        }
        if (Logging()) {
            const int32_t lengthOut = length ? *length : 0;
            app.Log().Write(
                Format(format, {handle, Addr(buffer), lengthIn, flags, status, lengthOut, error}),
                buffer, lengthOut < lengthIn ? lengthOut : lengthIn);
        }
        return status;
    });
}

int32_t Retired(const char16_t *name) {
    return Guarded([&](std::u16string &error) {
        error = FormatText(kTextRetired, {name});
        if (Logging())
            LogCall(Format(u"%s()\n  status = %d, \n  %s", {name, kStatusRetired, error}));
        return kStatusRetired;
    });
}

}  // namespace

extern "C" {

XVR_API int32_t XVR_CALL flXVRInit(void *, uint32_t *moduleHandle, int32_t ActVersion,
                                   int32_t MinVersion) {
    if (ActVersion < XVR_INTERFACE_VERSION) return kStatusVersionTooOld;
    if (MinVersion > XVR_INTERFACE_VERSION) return kStatusVersionTooNew;
    return Guarded([&](std::u16string &error) {
        uint32_t ignored;
        return TheApp().Init(moduleHandle ? moduleHandle : &ignored, ActVersion, MinVersion,
                             &error);
    });
}

XVR_API int32_t XVR_CALL flXVRDeInit(uint32_t moduleHandle) {
    return Guarded([&](std::u16string &error) { return TheApp().DeInit(moduleHandle, &error); });
}

static int32_t OpenDevice(const char16_t *format, bool withTimeout, uint32_t moduleHandle,
                          uint32_t *handleP, const char *driverName, const char *openParam,
                          int32_t timeoutMs) {
    uint32_t local = 0;
    uint32_t *handle = handleP ? handleP : &local;
    return Guarded([&](std::u16string &error) {
        int32_t status;
        try {
            status =
                TheApp().Open(moduleHandle, handle, W(driverName), W(openParam), timeoutMs, &error);
        } catch (...) {
            *handle = 0;
            status = Internal(error);
        }
        try {
            if (!Logging()) return status;
            if (withTimeout)
                LogCall(Format(format, {moduleHandle, Addr(handleP), W(driverName), W(openParam),
                                        timeoutMs, status, *handle, error}));
            else
                LogCall(Format(format, {moduleHandle, Addr(handleP), W(driverName), W(openParam),
                                        status, *handle, error}));
        } catch (...) {
        }
        return status;
    });
}

XVR_API int32_t XVR_CALL flXVROpen(uint32_t moduleHandle, uint32_t *lXVRDeviceHandleP,
                                   const char *driverName, const char *openParam) {
    return OpenDevice(
        u"flXVROpen(0x%X, 0x%X, %s, %s)\n  status = %d,       "
        u"lXVRDeviceHandleP = 0x%X\n  %s",
        false, moduleHandle, lXVRDeviceHandleP, driverName, openParam, -1);
}

XVR_API int32_t XVR_CALL flXVROpenWithTimeout(uint32_t moduleHandle, uint32_t *lXVRDeviceHandleP,
                                              const char *driverName, const char *openParam,
                                              int32_t timeoutMs) {
    return OpenDevice(
        u"flXVROpenWithTimeout(0x%X, 0x%X, %s, %s, %d)\n  status = %d,        "
        u"lXVRDeviceHandleP = 0x%X\n  %s",
        true, moduleHandle, lXVRDeviceHandleP, driverName, openParam, timeoutMs);
}

XVR_API int32_t XVR_CALL flXVRClose(uint32_t deviceHandle) {
    return Guarded([&](std::u16string &error) {
        CQUVXVRApp &app = TheApp();
        int32_t status = app.Close(deviceHandle, &error);
        if (Logging())
            LogCall(
                Format(u"flXVRClose(0x%X)\n  status = %d, \n  %s", {deviceHandle, status, error}));
        return status;
    });
}

XVR_API int32_t XVR_CALL flXVRRead(uint32_t deviceHandle, uint8_t *buffer, int32_t *length,
                                   uint32_t flags) {
    return Transfer(u"flXVRRead(0x%X, 0x%X, %d, 0x%X)\n  status = %d, read = %d\n  %s",
                    deviceHandle, buffer, length, flags, &CQUVXVRApp::Read);
}

XVR_API int32_t XVR_CALL flXVRWrite(uint32_t deviceHandle, const uint8_t *buffer, int32_t *length,
                                    uint32_t flags) {
    return Transfer(u"flXVRWrite(0x%X, 0x%X, %d, 0x%X)\n  status = %d, written = %d\n  %s",
                    deviceHandle, buffer, length, flags, &CQUVXVRApp::Write);
}

XVR_API int32_t XVR_CALL flXVRParamGet(uint32_t deviceHandle, const char *paramName, char *value,
                                       int32_t valueSize) {
    return Guarded([&](std::u16string &error) {
        CQUVXVRApp &app = TheApp();
        const bool usable = value && valueSize >= 1;
        if (usable) value[0] = 0;
        int32_t status;
        if (!usable) {
            error = LoadText(kTextBufferTooSmall);
            status = kStatusValueTooLong;
        } else {
            std::u16string wide;
            status = app.ParamGet(deviceHandle, W(paramName), &wide, &error);
            if (status >= 0) {
                std::string text = platform::WideToAnsi(wide);
                if (static_cast<int64_t>(text.size()) < valueSize) {
                    std::memcpy(value, text.c_str(), text.size() + 1);
                } else {
                    error = LoadText(kTextBufferTooSmall);
                    status = kStatusValueTooLong;
                }
            }
        }
        if (Logging())
            LogCall(Format(u"flXVRParamGet(0x%X, %s, %s, %d)\n  status = %d, \n  %s",
                           {deviceHandle, W(paramName), BufferText(value, valueSize), valueSize,
                            status, error}));
        return status;
    });
}

XVR_API int32_t XVR_CALL flXVRParamSet(uint32_t deviceHandle, const char *paramName,
                                       const char *value) {
    return Guarded([&](std::u16string &error) {
        CQUVXVRApp &app = TheApp();
        int32_t status = app.ParamSet(deviceHandle, W(paramName), W(value), &error);
        if (Logging())
            LogCall(Format(u"flXVRParamSet(0x%X, %s, %s)\n  status = %d, \n  %s",
                           {deviceHandle, W(paramName), W(value), status, error}));
        return status;
    });
}

XVR_API int32_t XVR_CALL flXVRErrorTextGet(uint32_t, char *text, int32_t textSize) {
    if (!text || textSize < 1) return kStatusOk;
    std::memset(text, 0, static_cast<size_t>(textSize));
    try {
        std::string ansi = platform::WideToAnsi(TheApp().GetLastErrorText());
        size_t n = ansi.size() < static_cast<size_t>(textSize - 1)
                       ? ansi.size()
                       : static_cast<size_t>(textSize - 1);
        std::memcpy(text, ansi.data(), n);
    } catch (...) {
    }
    return kStatusOk;
}

XVR_API int32_t XVR_CALL flXVRDriverCountGet(uint32_t moduleHandle, uint32_t *driverCount) {
    return Guarded([&](std::u16string &error) {
        int32_t status = CatalogueDriverCount(moduleHandle, driverCount, &error);
        if (Logging())
            LogCall(Format(
                u"flXVRDriverCountGet(0x%X, 0x%x)\n        driverCount = %d\n        "
                u"status = %d, \n  %s",
                {moduleHandle, Addr(driverCount), driverCount ? *driverCount : 0u, status, error}));
        return status;
    });
}

XVR_API int32_t XVR_CALL flXVRDriverNameGet(uint32_t moduleHandle, uint32_t driverIndex,
                                            char *driverName, uint32_t driverNameSize) {
    return Guarded([&](std::u16string &error) {
        int32_t status =
            CatalogueDriverName(moduleHandle, driverIndex, driverName, driverNameSize, &error);
        if (Logging())
            LogCall(Format(
                u"flXVRDriverNameGet(0x%X, %d, 0x%X)\n         driverName = %s\n"
                u"         status = %d, \n  %s",
                {moduleHandle, driverIndex, Addr(driverName),
                 BufferText(driverName, static_cast<int32_t>(driverNameSize)), status, error}));
        return status;
    });
}

XVR_API int32_t XVR_CALL flXVRDriverParamGet(uint32_t moduleHandle, const char *driverName,
                                             char *paramName, uint32_t paramNameSize,
                                             uint32_t *paramType, uint32_t *param1,
                                             uint32_t *param2) {
    if (paramName && static_cast<int32_t>(paramNameSize) >= 1) paramName[0] = 0;
    if (paramType) *paramType = 0;
    if (param1) *param1 = 0;
    if (param2) *param2 = 0;
    return Guarded([&](std::u16string &error) {
        int32_t status = CatalogueDriverParam(moduleHandle, driverName, paramName, paramNameSize,
                                              paramType, param1, param2, &error);
        if (Logging())
            LogCall(
                Format(u"flXVRDriverParamGet(0x%X, %s, 0x%X, 0x%X, 0x%X, 0x%X)\n"
                       u"         paramName = %s, paramType = %d, param1 = %d, param2 = %d\n"
                       u"         status = %d, \n  %s",
                       {moduleHandle, W(driverName), Addr(paramName), Addr(paramType), Addr(param1),
                        Addr(param2), BufferText(paramName, static_cast<int32_t>(paramNameSize)),
                        paramType ? *paramType : 0u, param1 ? *param1 : 0u, param2 ? *param2 : 0u,
                        status, error}));
        return status;
    });
}

XVR_API int32_t XVR_CALL flXVREnumGet(uint32_t moduleHandle, const char *driverName, int32_t index,
                                      char *enumText, uint32_t enumTextSize) {
    return Guarded([&](std::u16string &error) {
        int32_t status =
            CatalogueEnum(moduleHandle, driverName, index, enumText, enumTextSize, &error);
        if (Logging())
            LogCall(
                Format(u"flXVREnumGet(0x%X, %s, %d, 0x%X)\n         enumText = %s"
                       u"         status = %d, \n         %s",
                       {moduleHandle, W(driverName), index, Addr(enumText),
                        BufferText(enumText, static_cast<int32_t>(enumTextSize)), status, error}));
        return status;
    });
}

XVR_API int32_t XVR_CALL flXVRDeviceConfig(void) { return Retired(u"flXVRDeviceConfig"); }
XVR_API int32_t XVR_CALL flXVRParamSave(void) { return Retired(u"flXVRParamSave"); }
XVR_API int32_t XVR_CALL flXVRParamLoad(void) { return Retired(u"flXVRParamLoad"); }

}  // extern "C"
