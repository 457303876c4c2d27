// Host text is UTF-8 here.  A byte that is not part of well-formed UTF-8
// becomes the lone surrogate U+DC00+byte (U+DC80..U+DCFF) and turns back into
// the same byte, so any byte sequence (a port path, a delimiter, a parameter
// value) survives the trip to UTF-16 and back unchanged.  Other lone
// surrogates have no UTF-8 form; they are written as U+FFFD.
#include "platform/platform.h"
#include "platform/posix/utf8.h"

namespace xvr::platform {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the byte
// there does not start one.
size_t SequenceLength(std::string_view text, size_t i, char32_t *cp) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const size_t left = text.size() - i;
    const unsigned char b0 = at(0);
    if (b0 < 0x80) {
        *cp = b0;
        return 1;
    }
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;  // overlong
        if (b0 == 0xED) hi = 0x9F;  // encoded surrogate
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;  // overlong
        if (b0 == 0xF4) hi = 0x8F;  // beyond U+10FFFF
    } else {
        return 0;
    }
    if (left < len || at(1) < lo || at(1) > hi) return 0;
    for (size_t k = 2; k < len; ++k)
        if (!IsContinuation(at(k))) return 0;
    char32_t v = b0 & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) v = (v << 6) | (at(k) & 0x3F);
    *cp = v;
    return len;
}

// The UTF-8 form of the code point at text[i]; sets *units to the number of
// UTF-16 units it took.  Returns the byte count written into out[0..3].
size_t EncodeOne(std::u16string_view text, size_t i, size_t *units, char out[4]) {
    const char16_t u = text[i];
    *units = 1;
    char32_t cp = u;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        *units = 2;
    } else if (u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF) {
        out[0] = static_cast<char>(u - kEscapeBase);
        return 1;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
        cp = 0xFFFD;
    }
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

}  // namespace

std::u16string AnsiToWide(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        const size_t len = SequenceLength(text, i, &cp);
        if (len == 0) {
            out.push_back(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(text[i])));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string WideToAnsi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        char bytes[4];
        size_t units = 0;
        const size_t n = EncodeOne(text, i, &units, bytes);
        out.append(bytes, n);
        i += units;
    }
    return out;
}

namespace posix {

size_t WidePrefixForBytes(std::u16string_view text, size_t maxBytes) {
    size_t i = 0, bytes = 0;
    while (i < text.size()) {
        char tmp[4];
        size_t units = 0;
        const size_t n = EncodeOne(text, i, &units, tmp);
        if (bytes + n > maxBytes) break;
        bytes += n;
        i += units;
    }
    return i;
}

}  // namespace posix
}  // namespace xvr::platform
