// Blanks around a text removed.
#pragma once

#include <string>

namespace xvrcli {

inline std::string Trim(const std::string &s, const char *blanks = " \t\r") {
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

}  // namespace xvrcli
