#include "support/test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

ScopedEnv::ScopedEnv(const char *name, std::optional<std::string> value) : m_name(name) {
    if (const char *old = std::getenv(name)) m_old = old;
    if (value)
        SetEnv(name, *value);
    else
        UnsetEnv(name);
}

ScopedEnv::~ScopedEnv() {
    if (m_old)
        SetEnv(m_name, *m_old);
    else
        UnsetEnv(m_name);
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

const HostApi &Host() {
    std::string problem;
    const HostApi *api = LoadHostApi(&problem);
    if (!api) {
        ADD_FAILURE() << problem;
        std::abort();
    }
    return *api;
}

}  // namespace xvr::test
