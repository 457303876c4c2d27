#include "utf.h"

#include <cstdint>

namespace xvrcli {

namespace {

const char kUtf16Bom[] = "\xFF\xFE";
const char kUtf8Bom[] = "\xEF\xBB\xBF";

void AppendUtf8(uint32_t c, std::string *out) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(uint32_t c, std::string *out) {
    auto unit = [out](uint32_t u) {
        *out += static_cast<char>(u & 0xFF);
        *out += static_cast<char>(u >> 8);
    };
    if (c < 0x10000) {
        unit(c);
    } else {
        c -= 0x10000;
        unit(0xD800 | (c >> 10));
        unit(0xDC00 | (c & 0x3FF));
    }
}

// The code point of the UTF-8 sequence at text[*i], advancing *i; a byte
// that starts no valid sequence is taken as itself.
uint32_t NextUtf8(const std::string &text, size_t *i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t b = byte(*i);
    const size_t extra = b >= 0xF0 && b < 0xF5   ? 3
                         : b >= 0xE0 && b < 0xF0 ? 2
                         : b >= 0xC2 && b < 0xE0 ? 1
                                                 : 0;
    if (extra == 0 || *i + extra >= text.size()) {
        ++*i;
        return b;
    }
    uint32_t c = b & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
        if ((byte(*i + k) & 0xC0) != 0x80) {
            ++*i;
            return b;
        }
        c = (c << 6) | (byte(*i + k) & 0x3F);
    }
    *i += extra + 1;
    return c;
}

}  // namespace

std::string Utf16LeToUtf8(const std::string &bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    const auto unit = [&](size_t k) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[k])) |
               static_cast<uint32_t>(static_cast<uint8_t>(bytes[k + 1])) << 8;
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(c, &out);
    }
    return out;
}

std::string Utf8ToUtf16Le(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size();) AppendUtf16(NextUtf8(text, &i), &out);
    return out;
}

std::string DecodeFile(const std::string &bytes, Encoding *encoding) {
    if (bytes.compare(0, 2, kUtf16Bom) == 0) {
        *encoding = Encoding::Utf16Le;
        return Utf16LeToUtf8(bytes.substr(2));
    }
    if (bytes.compare(0, 3, kUtf8Bom) == 0) {
        *encoding = Encoding::Utf8Bom;
        return bytes.substr(3);
    }
    *encoding = Encoding::Plain;
    return bytes;
}

std::string EncodeFile(const std::string &text, Encoding encoding) {
    switch (encoding) {
    case Encoding::Utf16Le: return kUtf16Bom + Utf8ToUtf16Le(text);
    case Encoding::Utf8Bom: return kUtf8Bom + text;
    case Encoding::Plain: break;
    }
    return text;
}

}  // namespace xvrcli
