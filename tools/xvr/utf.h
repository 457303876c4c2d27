// Text encodings of the library's files: the call log is UTF-16LE, a
// parameter file may be UTF-16LE or UTF-8, each with a byte-order mark.
#pragma once

#include <string>

namespace xvrcli {

// UTF-16LE bytes (an odd last byte is ignored) as UTF-8; a lone surrogate
// becomes U+FFFD.
std::string Utf16LeToUtf8(const std::string &bytes);
// UTF-8 as UTF-16LE bytes; bytes that are not UTF-8 stand for themselves.
std::string Utf8ToUtf16Le(const std::string &text);

enum class Encoding { Plain, Utf8Bom, Utf16Le };
// A file's text as UTF-8 (plain files unchanged), without its byte-order mark.
std::string DecodeFile(const std::string &bytes, Encoding *encoding);
// The inverse of DecodeFile.
std::string EncodeFile(const std::string &text, Encoding encoding);

}  // namespace xvrcli
