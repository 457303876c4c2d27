#include "hex.h"

#include "options.h"

namespace xvrcli {

namespace {
int Digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::string ToHex(const std::string &bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char b : bytes) {
        if (!out.empty()) out += ' ';
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

std::string ToPrintable(const std::string &bytes) {
    std::string out;
    for (unsigned char b : bytes) {
        if (b >= 0x20 && b < 0x7F) {
            out += static_cast<char>(b);
        } else {
            out += '\\';
            out += ToHex(std::string(1, static_cast<char>(b)));
        }
    }
    return out;
}

std::string ShortPrintable(const std::string &bytes, size_t limit) {
    if (bytes.size() <= limit) return ToPrintable(bytes);
    return ToPrintable(bytes.substr(0, limit)) + "... (" + std::to_string(bytes.size()) + " bytes)";
}

std::string ToHexRows(const std::string &bytes) {
    constexpr size_t kRow = 32;
    std::string out;
    for (size_t row = 0; row < bytes.size(); row += kRow)
        out += ToHex(bytes.substr(row, kRow)) + "\n";
    return out.empty() ? "\n" : out;
}

std::string TerminalSafe(const std::string &bytes) {
    std::string out;
    for (unsigned char b : bytes) {
        if ((b < 0x20 && b != '\t' && b != '\n') || b == 0x7F) {
            out += '\\';
            out += ToHex(std::string(1, static_cast<char>(b)));
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::string FromHex(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == ' ' || text[i] == '\t') {
            ++i;
            continue;
        }
        const int high = Digit(text[i]);
        const int low = i + 1 < text.size() ? Digit(text[i + 1]) : -1;
        if (high < 0 || low < 0)
            throw UsageError("hexadecimal data (--hex-in) must be pairs of hex digits: '" +
                             ShortPrintable(text) + "'");
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

}  // namespace xvrcli
