#include "support/host_api.h"

#ifndef _WIN32
#include <dirent.h>
#endif

#include "platform/platform.h"

namespace xvr::test {

std::string HostApi::ErrorText() const {
    char buf[4096];
    ErrorTextGet(0, buf, sizeof buf);
    return buf;
}

namespace {

struct Loaded {
    HostApi api{};
    std::string problem;
};

template <class F>
void Resolve(void *lib, const char *name, F *slot, std::string *problem) {
    void *p = platform::LibrarySymbol(lib, name);
    if (!p && problem->empty()) *problem = std::string("export missing: ") + name;
    *slot = reinterpret_cast<F>(p);
}

Loaded Load() {
    Loaded l;
#ifdef XVR_LIBRARY_FILE
    std::u16string error;
    void *lib = platform::LoadLibraryFile(XVR_LIBRARY_FILE, &error);
    if (!lib) {
        l.problem = "cannot load the library: " + platform::WideToAnsi(error);
        return l;
    }
    HostApi &a = l.api;
    std::string *p = &l.problem;
    Resolve(lib, "flXVRInit", &a.Init, p);
    Resolve(lib, "flXVRDeInit", &a.DeInit, p);
    Resolve(lib, "flXVROpen", &a.Open, p);
    Resolve(lib, "flXVROpenWithTimeout", &a.OpenWithTimeout, p);
    Resolve(lib, "flXVRClose", &a.Close, p);
    Resolve(lib, "flXVRRead", &a.Read, p);
    Resolve(lib, "flXVRWrite", &a.Write, p);
    Resolve(lib, "flXVRParamGet", &a.ParamGet, p);
    Resolve(lib, "flXVRParamSet", &a.ParamSet, p);
    Resolve(lib, "flXVRErrorTextGet", &a.ErrorTextGet, p);
    Resolve(lib, "flXVRDriverCountGet", &a.DriverCountGet, p);
    Resolve(lib, "flXVRDriverNameGet", &a.DriverNameGet, p);
    Resolve(lib, "flXVRDriverParamGet", &a.DriverParamGet, p);
    Resolve(lib, "flXVREnumGet", &a.EnumGet, p);
    Resolve(lib, "flXVRDeviceConfig", &a.DeviceConfig, p);
    Resolve(lib, "flXVRParamSave", &a.ParamSave, p);
    Resolve(lib, "flXVRParamLoad", &a.ParamLoad, p);
#else
    l.problem = "XVR_LIBRARY_FILE is not defined for this program";
#endif
    return l;
}

}  // namespace

const HostApi *LoadHostApi(std::string *problem) {
    static const Loaded loaded = Load();
    if (problem) *problem = loaded.problem;
    return loaded.problem.empty() ? &loaded.api : nullptr;
}

int OpenDescriptorCount() {
#ifdef _WIN32
    return -1;
#else
    int count = 0;
    DIR *d = opendir("/proc/self/fd");
    if (!d) return -1;
    while (readdir(d)) ++count;
    closedir(d);
    return count;
#endif
}

}  // namespace xvr::test
