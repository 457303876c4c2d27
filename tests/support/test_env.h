// Helpers shared by the tests: environment, temporary directories, files,
// and the library loaded the way a host loads it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "support/host_api.h"

namespace xvr::test {

void SetEnv(const char *name, const std::string &value);
void UnsetEnv(const char *name);

// Sets (or, with nullopt, removes) an environment variable for the life of
// the object and puts the old value back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char *name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
    std::optional<std::string> m_old;
};

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::filesystem::path &path() const { return m_path; }
    // The path as the library expects it in XVR_DIR (with a trailing separator).
    std::string dirText() const;

private:
    std::filesystem::path m_path;
};

// Points XVR_DIR at a temporary directory for the life of the object and
// restores the previous value afterwards.
class ScopedXvrDir {
public:
    ScopedXvrDir() : m_env("XVR_DIR", m_dir.dirText()) {}
    const TempDir &dir() const { return m_dir; }
    // Writes XVR.XVR with the given content.
    void WriteParameterFile(const std::string &content) const;

private:
    TempDir m_dir;
    ScopedEnv m_env;
};

void WriteFileBytes(const std::filesystem::path &path, const std::string &bytes);
std::string ReadFileBytes(const std::filesystem::path &path);

// Loads the library once per process (the file named by XVR_LIBRARY_FILE);
// fails the calling test when it or an export is missing.
const HostApi &Host();

}  // namespace xvr::test
