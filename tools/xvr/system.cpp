#include "system.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <stdexcept>
#include <vector>

#include "options.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace xvrcli {

namespace {
std::string WithSeparator(std::string dir) {
#ifdef _WIN32
    if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += '\\';
#else
    if (!dir.empty() && dir.back() != '/') dir += '/';
#endif
    return dir;
}
}  // namespace

#ifdef _WIN32
// Through the system, as the library reads it: a runtime's own copy of the
// environment would not reach the library.
std::string GetEnv(const char *name) {
    std::vector<char> value(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
        if (n == 0) return "";
        if (n < value.size()) return std::string(value.data(), n);
        value.resize(n);
    }
}

void SetEnv(const char *name, const std::string &value) {
    SetEnvironmentVariableA(name, value.c_str());
}

std::string MakeTempDirectory() {
    char base[MAX_PATH + 1] = {};
    if (GetTempPathA(sizeof base, base) == 0) throw DeviceError("no temporary directory");
    for (unsigned i = 0; i < 1000; ++i) {
        const std::string dir = std::string(base) + "xvr-" + std::to_string(GetCurrentProcessId()) +
                                "-" + std::to_string(i);
        if (CreateDirectoryA(dir.c_str(), nullptr)) return dir + "\\";
    }
    throw DeviceError("cannot create a temporary directory in " + std::string(base));
}

void RemoveTempDirectory(const std::string &dir, const std::initializer_list<const char *> &files) {
    for (const char *f : files) DeleteFileA((dir + f).c_str());
    RemoveDirectoryA(dir.c_str());
}

std::string ParameterDirectory() {
    const std::string own = GetEnv("XVR_DIR");
    return own.empty() ? "c:\\XVR\\" : WithSeparator(own);
}
#else
std::string GetEnv(const char *name) {
    const char *value = std::getenv(name);
    return value ? value : "";
}

void SetEnv(const char *name, const std::string &value) { setenv(name, value.c_str(), 1); }

std::string MakeTempDirectory() {
    std::string base = GetEnv("TMPDIR");
    std::string pattern = WithSeparator(base.empty() ? "/tmp" : base) + "xvr-XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    if (!mkdtemp(path.data()))
        throw DeviceError("cannot create a temporary directory " + pattern + ": " +
                          std::strerror(errno));
    return WithSeparator(path.data());
}

void RemoveTempDirectory(const std::string &dir, const std::initializer_list<const char *> &files) {
    for (const char *f : files) unlink((dir + f).c_str());
    rmdir(dir.c_str());
}

std::string ParameterDirectory() {
    const std::string own = GetEnv("XVR_DIR");
    if (!own.empty()) return WithSeparator(own);
    const std::string xdg = GetEnv("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg[0] == '/') return WithSeparator(xdg) + "xvr/";
    const std::string home = GetEnv("HOME");
    return home.empty() ? "/etc/xvr/" : WithSeparator(home) + ".config/xvr/";
}
#endif

std::string FileProblem(const std::string &path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error) return error.message();
    if (std::filesystem::is_directory(status)) return "it is a directory";
    if (!std::filesystem::is_regular_file(status)) return "it is not a regular file";
    errno = 0;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return std::strerror(errno ? errno : EACCES);
    std::fclose(f);
    return "";
}

bool ReadWholeFile(const std::string &path, std::string *bytes) {
    uint64_t size = 0;
    return ReadFileFrom(path, 0, bytes, &size);
}

bool WriteWholeFile(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool ReadFileFrom(const std::string &path, uint64_t offset, std::string *bytes, uint64_t *size) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end < 0) return false;
    *size = static_cast<uint64_t>(end);
    bytes->clear();
    if (offset >= *size) return true;
    in.seekg(static_cast<std::streamoff>(offset));
    bytes->resize(static_cast<size_t>(*size - offset));
    in.read(&(*bytes)[0], static_cast<std::streamsize>(bytes->size()));
    bytes->resize(static_cast<size_t>(in.gcount()));
    return true;
}

}  // namespace xvrcli
