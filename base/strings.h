// Small text helpers shared by the frame and the drivers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace xvr {

// ASCII text as UTF-16 (for numbers and fixed names; not for host text).
std::u16string Ascii(std::string_view text);
// Letters a-z upper-cased, everything else kept (the C locale's towupper).
std::u16string ToUpper(std::u16string_view text);
std::string ToUpperA(std::string_view text);
// The space character removed at both ends (tabs stay).
std::u16string TrimBlanks(std::u16string_view text);

// One argument of Format: a number or a text.
struct FormatArg {
    FormatArg(int32_t v) : number(v), isText(false) {}
    FormatArg(uint32_t v) : number(v), isText(false) {}
    FormatArg(int64_t v) : number(v), isText(false) {}
    FormatArg(std::u16string_view v) : text(v), isText(true) {}
    FormatArg(const std::u16string &v) : text(v), isText(true) {}
    FormatArg(const char16_t *v) : text(v), isText(true) {}
    int64_t number = 0;
    std::u16string_view text;
    bool isText;
};

// printf-style filling of the library's own constant formats: %s, %d
// (signed 32-bit), %X and %x (unsigned 32-bit), %02X, %%.  Arguments are
// only ever data: a host string is never a format.  A conversion without an
// argument is left out.
std::u16string Format(std::u16string_view format, std::initializer_list<FormatArg> args);

}  // namespace xvr
