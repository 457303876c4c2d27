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
// ToPrintable of the first `limit` bytes, "... (N bytes)" after a longer
// text: a message never repeats a whole transfer.
std::string ShortPrintable(const std::string &bytes, size_t limit = 60);
// Hex pairs in rows of 32 bytes, each row ended by a line feed.
std::string ToHexRows(const std::string &bytes);
// The bytes as they are, but control bytes (tab and line feed excepted)
// as \XX, so that nothing an instrument sends can drive the terminal.
std::string TerminalSafe(const std::string &bytes);

}  // namespace xvrcli
