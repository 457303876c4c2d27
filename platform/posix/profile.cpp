// A reader for ini files that behaves like the Windows profile functions for
// what the library asks of them.  Files written on Windows read the same:
// CRLF line ends, a UTF-8 byte-order mark, or UTF-16LE text with its mark.
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/utf8.h"

namespace xvr::platform {
namespace {

// The whole file, if it is a regular file of at most kMaxProfileBytes.  The
// open does not block, so a FIFO is refused instead of waited on; a device
// such as /dev/zero is refused without reading it.
bool ReadRegularFile(const std::u16string &path, std::string *bytes) {
    const std::string name = WideToAnsi(path);
    if (name.empty() || name.find('\0') != std::string::npos) return false;
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              info.st_size <= static_cast<off_t>(kMaxProfileBytes);
    // Read to the end in chunks: the file may have grown since fstat, and a
    // byte beyond the limit makes it too large.
    char chunk[4096];
    while (ok) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        bytes->append(chunk, static_cast<size_t>(n));
        ok = bytes->size() <= kMaxProfileBytes;
    }
    ::close(fd);
    return ok;
}

std::u16string DecodeFile(const std::string &bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string text;
        text.reserve(bytes.size() / 2);
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return text;
    }
    std::string_view body = bytes;
    if (body.size() >= 3 && body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    return AnsiToWide(body);
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == u'\r';
}

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Case folding for names: ASCII and Latin-1 letters.
char16_t Fold(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    return c;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

std::u16string_view Unquote(std::u16string_view value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The value of key in section, or false when the file has no such key.
bool FindValue(std::u16string_view text, std::u16string_view section, std::u16string_view key,
               std::u16string *value) {
    const std::u16string_view wantSection = Trim(section);
    const std::u16string_view wantKey = Trim(key);
    bool inSection = false;
    bool seenSection = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of(u"\r\n", pos);
        if (end == std::u16string_view::npos) end = text.size();
        const std::u16string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == u';') continue;
        if (line.front() == u'[') {
            const size_t close = line.find(u']');
            const std::u16string_view name = Trim(
                line.substr(1, close == std::u16string_view::npos ? line.size() - 1 : close - 1));
            // Only the first section of a name counts.
            if (inSection) return false;
            inSection = !seenSection && SameName(name, wantSection);
            seenSection = seenSection || inSection;
            continue;
        }
        if (!inSection) continue;
        const size_t eq = line.find(u'=');
        const std::u16string_view name = Trim(line.substr(0, eq));
        if (!SameName(name, wantKey)) continue;
        // A key without "=" has an empty value.
        *value = eq == std::u16string_view::npos
                     ? std::u16string()
                     : std::u16string(Unquote(Trim(line.substr(eq + 1))));
        return true;
    }
    return false;
}

}  // namespace

Profile::Profile(const std::u16string &file) : m_sFile(file) {
    std::string bytes;
    m_bRead = ReadRegularFile(file, &bytes);
    if (m_bRead) m_sText = DecodeFile(bytes);
}

std::u16string Profile::String(const std::u16string &section, const std::u16string &key,
                               const std::u16string &fallback, uint32_t size) const {
    if (size == 0) return {};
    std::u16string value;
    if (!m_bRead || !FindValue(m_sText, section, key, &value)) value = fallback;
    if (value.size() > size - 1) {
        value.resize(size - 1);
        // Never leave half of a surrogate pair at the cut.
        if (!value.empty() && value.back() >= 0xD800 && value.back() <= 0xDBFF) value.pop_back();
    }
    return value;
}

std::string Profile::StringA(const std::string &section, const std::string &key,
                             const std::string &fallback, uint32_t size) const {
    if (size == 0) return {};
    const std::u16string value =
        String(AnsiToWide(section), AnsiToWide(key), AnsiToWide(fallback), UINT32_MAX);
    // The size counts bytes here; cut between characters.
    return WideToAnsi(
        std::u16string_view(value).substr(0, posix::WidePrefixForBytes(value, size - 1)));
}

}  // namespace xvr::platform
