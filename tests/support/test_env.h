// Helpers shared by the tests: environment, temporary directories, files,
// and the library loaded the way a host loads it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace xvr::test {

void SetEnv(const char *name, const std::string &value);
void UnsetEnv(const char *name);

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
    ScopedXvrDir();
    ~ScopedXvrDir();
    const TempDir &dir() const { return m_dir; }
    // Writes XVR.XVR with the given content.
    void WriteParameterFile(const std::string &content) const;

private:
    TempDir m_dir;
    bool m_hadOld = false;
    std::string m_old;
};

void WriteFileBytes(const std::filesystem::path &path, const std::string &bytes);
std::string ReadFileBytes(const std::filesystem::path &path);

// The 17 exports of the built library, resolved by name.
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

// Loads the library once per process (the file named by XVR_LIBRARY_FILE);
// fails the calling test when it or an export is missing.
const HostApi &Host();

}  // namespace xvr::test
