// --hex-in, --hex-out: binary data as pairs of hexadecimal digits.
#pragma once

#include <string>

namespace xvrcli {

// "41 0D FF" for the bytes 0x41 0x0D 0xFF.
std::string ToHex(const std::string &bytes);
// Pairs of hex digits, blanks between pairs allowed ("410dff", "41 0D FF");
// throws UsageError for anything else.
std::string FromHex(const std::string &text);

// Printable ASCII as itself, every other byte as \XX, for messages.
std::string ToPrintable(const std::string &bytes);

}  // namespace xvrcli
