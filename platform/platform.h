// The one interface between the library and the operating system.
// platform/posix/ and platform/win32/ each implement it once; frame and
// drivers include no system header of their own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace xvr::platform {

// --- Text conversion -------------------------------------------------------
// Host narrow text <-> the library's UTF-16 text.  Windows: the ANSI code page.
// Linux: UTF-8; a byte that is not valid UTF-8 becomes U+DC00+byte (U+DC80 to
// U+DCFF) and turns back into the same byte, so no host byte is ever lost or
// replaced.  Other lone surrogates, which UTF-8 cannot carry, become U+FFFD.
std::u16string AnsiToWide(std::string_view text);
std::string WideToAnsi(std::u16string_view text);

// --- Operating-system errors -----------------------------------------------
// Last error of the calling thread (GetLastError / errno).
uint32_t LastError();
// The system's message for an error code, ending in a line break ("\r\n" on
// both targets), in the language of the library's version resource; empty
// when there is none.
std::u16string SystemErrorText(uint32_t code);
// The code for a device that failed without a system error of its own (a
// bus library's refusal): EIO / ERROR_GEN_FAILURE.
uint32_t DeviceFailedError();

// --- Texts of the library's own string table --------------------------------
// Empty when the id is unknown.
std::u16string LoadResourceText(uint32_t id);

// --- Time --------------------------------------------------------------------
// Milliseconds since an arbitrary start; never wraps, never steps back.  Waits
// are bounded through xvr::Deadline (platform/deadline.h).
uint64_t MonotonicMs();
void SleepMs(uint32_t ms);

// --- Profile (ini) files -----------------------------------------------------
// GetPrivateProfileString semantics: section and key case-insensitive, value
// trimmed and unquoted, the default when file, section or key is missing,
// cut to size - 1 characters.  A Profile reads its file once for all the keys
// a call needs.  On Linux only a regular file is read, without blocking, and
// only up to kMaxProfileBytes: a FIFO, a device or a larger file reads as if
// it held no key.  On Windows the system's profile functions read the file.
constexpr size_t kMaxProfileBytes = 1 << 20;

class Profile {
public:
    explicit Profile(const std::u16string &file);
    std::u16string String(const std::u16string &section, const std::u16string &key,
                          const std::u16string &fallback, uint32_t size) const;
    // The narrow variant: result in the ANSI code page, size in bytes.
    std::string StringA(const std::string &section, const std::string &key,
                        const std::string &fallback, uint32_t size) const;

private:
    [[maybe_unused]] std::u16string m_sFile;  // Windows: read by the system
    std::u16string m_sText;                   // Linux: the file's text, decoded
    bool m_bRead = false;                     // Linux: the file was there and fit
};

// One key, one reading of the file.
inline std::u16string ProfileString(const std::u16string &file, const std::u16string &section,
                                    const std::u16string &key, const std::u16string &fallback,
                                    uint32_t size) {
    return Profile(file).String(section, key, fallback, size);
}

// --- Files ---------------------------------------------------------------------
// fopen on a UTF-16 path; mode as for fopen ("wb", "ab", "rb").
std::FILE *OpenFile(const std::u16string &path, const char *mode);
// Appends header (only when the file is empty or new) and bytes to the file
// in one open and one write, creating it; false when that fails.
bool AppendToFile(const std::u16string &path, std::string_view header, std::string_view bytes);
// Directory of the parameter and log files, ending in the path separator.
std::u16string ParameterDirectory();

// --- Dynamic loading -----------------------------------------------------------
// The file that a Windows library name stands for here: "QUVIEC.DLL" as is on
// Windows, "libquviec.so" on Linux.
std::u16string LibraryFileName(const std::u16string &dllName);
// Load by file name with the loader's ordinary search; on failure nullptr and
// the system's text in *errorText.
void *LoadLibraryFile(const std::u16string &fileName, std::u16string *errorText);
void *LibrarySymbol(void *library, const char *name);
void FreeLibraryFile(void *library);

}  // namespace xvr::platform
