#include "support/test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/platform.h"

namespace xvr::test {

void SetEnv(const char *name, const std::string &value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

void UnsetEnv(const char *name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    unsetenv(name);
#endif
}

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0;; ++attempt) {
        std::ostringstream name;
        name << "xvr-test-" << stamp << "-" << counter++ << "-" << attempt;
        m_path = std::filesystem::temp_directory_path() / name.str();
        if (std::filesystem::create_directory(m_path)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::dirText() const {
    std::string s = m_path.string();
    char sep = static_cast<char>(std::filesystem::path::preferred_separator);
    if (s.empty() || s.back() != sep) s.push_back(sep);
    return s;
}

ScopedXvrDir::ScopedXvrDir() {
    if (const char *old = std::getenv("XVR_DIR")) {
        m_hadOld = true;
        m_old = old;
    }
    SetEnv("XVR_DIR", m_dir.dirText());
}

ScopedXvrDir::~ScopedXvrDir() {
    if (m_hadOld)
        SetEnv("XVR_DIR", m_old);
    else
        UnsetEnv("XVR_DIR");
}

void ScopedXvrDir::WriteParameterFile(const std::string &content) const {
    WriteFileBytes(m_dir.path() / "XVR.XVR", content);
}

void WriteFileBytes(const std::filesystem::path &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFileBytes(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string HostApi::ErrorText() const {
    char buf[4096];
    ErrorTextGet(0, buf, sizeof buf);
    return buf;
}

namespace {

template <class F>
void Resolve(void *lib, const char *name, F *slot) {
    void *p = platform::LibrarySymbol(lib, name);
    if (!p) ADD_FAILURE() << "export missing: " << name;
    *slot = reinterpret_cast<F>(p);
}

HostApi LoadHost() {
    HostApi api{};
#ifdef XVR_LIBRARY_FILE
    std::u16string error;
    void *lib = platform::LoadLibraryFile(XVR_LIBRARY_FILE, &error);
    if (!lib) {
        ADD_FAILURE() << "cannot load the library: " << platform::WideToAnsi(error);
        std::abort();
    }
    Resolve(lib, "flXVRInit", &api.Init);
    Resolve(lib, "flXVRDeInit", &api.DeInit);
    Resolve(lib, "flXVROpen", &api.Open);
    Resolve(lib, "flXVROpenWithTimeout", &api.OpenWithTimeout);
    Resolve(lib, "flXVRClose", &api.Close);
    Resolve(lib, "flXVRRead", &api.Read);
    Resolve(lib, "flXVRWrite", &api.Write);
    Resolve(lib, "flXVRParamGet", &api.ParamGet);
    Resolve(lib, "flXVRParamSet", &api.ParamSet);
    Resolve(lib, "flXVRErrorTextGet", &api.ErrorTextGet);
    Resolve(lib, "flXVRDriverCountGet", &api.DriverCountGet);
    Resolve(lib, "flXVRDriverNameGet", &api.DriverNameGet);
    Resolve(lib, "flXVRDriverParamGet", &api.DriverParamGet);
    Resolve(lib, "flXVREnumGet", &api.EnumGet);
    Resolve(lib, "flXVRDeviceConfig", &api.DeviceConfig);
    Resolve(lib, "flXVRParamSave", &api.ParamSave);
    Resolve(lib, "flXVRParamLoad", &api.ParamLoad);
#else
    ADD_FAILURE() << "XVR_LIBRARY_FILE not defined for this test program";
    std::abort();
#endif
    return api;
}

}  // namespace

const HostApi &Host() {
    static const HostApi api = LoadHost();
    return api;
}

}  // namespace xvr::test
