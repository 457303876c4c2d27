#include "base/strings.h"

namespace xvr {

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

std::u16string ToUpper(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t &c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
}

std::string ToUpperA(std::string_view text) {
    std::string out(text);
    for (char &c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::u16string TrimBlanks(std::u16string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] == u' ') ++b;
    while (e > b && text[e - 1] == u' ') --e;
    return std::u16string(text.substr(b, e - b));
}

namespace {

void AppendUnsigned(std::u16string &out, uint64_t v, unsigned base, bool upper, size_t width) {
    const char *digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char16_t tmp[24];
    size_t n = 0;
    do {
        tmp[n++] = static_cast<char16_t>(digits[v % base]);
        v /= base;
    } while (v != 0);
    while (n < width) tmp[n++] = u'0';
    while (n > 0) out.push_back(tmp[--n]);
}

}  // namespace

std::u16string Format(std::u16string_view format, std::initializer_list<FormatArg> args) {
    std::u16string out;
    out.reserve(format.size() + 32);
    auto next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        char16_t c = format[i];
        if (c != u'%' || i + 1 >= format.size()) {
            out.push_back(c);
            continue;
        }
        size_t j = i + 1;
        size_t width = 0;
        if (format[j] == u'0' && j + 2 < format.size() && format[j + 1] >= u'1' &&
            format[j + 1] <= u'9') {
            width = static_cast<size_t>(format[j + 1] - u'0');
            j += 2;
        }
        char16_t conv = format[j];
        if (conv == u'%') {
            out.push_back(u'%');
            i = j;
            continue;
        }
        if (conv != u's' && conv != u'd' && conv != u'X' && conv != u'x') {
            out.push_back(c);
            continue;
        }
        i = j;
        if (next == args.end()) continue;
        const FormatArg &a = *next++;
        if (conv == u's') {
            if (a.isText) out.append(a.text);
            continue;
        }
        if (a.isText) continue;
        if (conv == u'd') {
            int32_t v = static_cast<int32_t>(a.number);
            if (v < 0) {
                out.push_back(u'-');
                AppendUnsigned(out, static_cast<uint64_t>(-static_cast<int64_t>(v)), 10, true,
                               width);
            } else {
                AppendUnsigned(out, static_cast<uint64_t>(v), 10, true, width);
            }
        } else {
            AppendUnsigned(out, static_cast<uint32_t>(a.number), 16, conv == u'X', width);
        }
    }
    return out;
}

}  // namespace xvr
