#include "log_view.h"

#include <cctype>
#include <vector>

#include "system.h"
#include "utf.h"

namespace xvrcli {

namespace {

const char kDataPrefix[] = "  Data: ";
constexpr size_t kBytesPerRow = 16;

// The bytes of a data line's "XX XX ..." text; false if it is not one.
bool ParseDataBytes(const std::string &text, std::vector<uint8_t> *bytes) {
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            (i + 2 < text.size() && text[i + 2] != ' '))
            return false;
        bytes->push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return true;
}

}  // namespace

std::string FormatLogLine(const std::string &line) {
    std::vector<uint8_t> bytes;
    if (line.compare(0, sizeof kDataPrefix - 1, kDataPrefix) != 0 ||
        !ParseDataBytes(line.substr(sizeof kDataPrefix - 1), &bytes) || bytes.empty())
        return line + "\n";
    static const char kDigits[] = "0123456789ABCDEF";
    const std::string indent(sizeof kDataPrefix - 1, ' ');
    std::string out;
    for (size_t row = 0; row < bytes.size(); row += kBytesPerRow) {
        std::string hex, ascii;
        for (size_t k = row; k < bytes.size() && k < row + kBytesPerRow; ++k) {
            hex += kDigits[bytes[k] >> 4];
            hex += kDigits[bytes[k] & 0x0F];
            hex += ' ';
            ascii += bytes[k] >= 0x20 && bytes[k] < 0x7F ? static_cast<char>(bytes[k]) : '.';
        }
        hex.resize(kBytesPerRow * 3, ' ');
        out += (row == 0 ? kDataPrefix : indent) + hex + " |" + ascii + "|\n";
    }
    return out;
}

size_t FormatLogBytes(const std::string &bytes, bool all, std::string *out) {
    size_t start = bytes.compare(0, 2, "\xFF\xFE") == 0 ? 2 : 0;
    size_t used = start;
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
        const bool lineFeed = bytes[i] == '\n' && bytes[i + 1] == '\0';
        const bool last = all && i + 3 >= bytes.size();
        if (!lineFeed && !last) continue;
        std::string line = Utf16LeToUtf8(bytes.substr(start, i + 2 - start));
        if (!line.empty() && line.back() == '\n') line.pop_back();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        *out += FormatLogLine(line);
        start = used = i + 2;
    }
    return used;
}

namespace {
// How much of what was printed is compared on every poll.
constexpr size_t kSeenBytes = 4096;
}  // namespace

bool LogFollower::Poll(std::string *out) {
    std::string bytes;
    uint64_t size = 0;
    if (!ReadFileFrom(m_path, m_offset - m_seen.size(), &bytes, &size)) return false;
    if (size < m_offset || bytes.compare(0, m_seen.size(), m_seen) != 0) {
        *out += "--- the log was started afresh ---\n";
        m_offset = 0;
        m_seen.clear();
        if (!ReadFileFrom(m_path, 0, &bytes, &size)) return false;
    }
    const std::string fresh = bytes.substr(m_seen.size());
    const size_t used = FormatLogBytes(fresh, false, out);
    m_offset += used;
    m_seen += fresh.substr(0, used);
    if (m_seen.size() > kSeenBytes) m_seen.erase(0, m_seen.size() - kSeenBytes);
    return true;
}

bool LooksLikeCallLog(const std::string &bytes) {
    return bytes.empty() || bytes.compare(0, 2, "\xFF\xFE") == 0;
}

bool PrintLogFile(const std::string &path, std::FILE *to) {
    std::string bytes, text;
    if (!ReadWholeFile(path, &bytes)) return false;
    FormatLogBytes(bytes, true, &text);
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
    return true;
}

}  // namespace xvrcli
