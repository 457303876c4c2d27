// UTF-8 <-> UTF-16 with byte escapes, shared by the posix files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace xvr::platform::posix {

// How many leading UTF-16 units of text have a UTF-8 form of at most maxBytes
// bytes, never splitting a character: cuts a result to a byte budget.
size_t WidePrefixForBytes(std::u16string_view text, size_t maxBytes);

}  // namespace xvr::platform::posix
