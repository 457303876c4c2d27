// The library's call log made readable: UTF-16LE with CR LF becomes UTF-8
// lines, and the one long hex line of each transfer becomes rows of 16
// bytes with their ASCII beside them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace xvrcli {

// One line of the log (without its line end) as one or more lines, each
// ending in a line feed.
std::string FormatLogLine(const std::string &line);

// Formats the complete lines at the start of `bytes`, which begin at a line
// start of the log file (a byte-order mark there is skipped); with `all`
// also an unfinished last line.  Returns the number of bytes used.
size_t FormatLogBytes(const std::string &bytes, bool all, std::string *out);

// Reads a growing log: each Poll formats what was completed since the last.
class LogFollower {
public:
    explicit LogFollower(std::string path) : m_path(std::move(path)) {}
    // False while the file cannot be read.  A log that was started afresh
    // (shorter now, or other bytes where the ones already printed were) is
    // read again from its beginning.
    bool Poll(std::string *out);

private:
    std::string m_path;
    uint64_t m_offset = 0;
    // The bytes before m_offset as printed: the library empties the same
    // file, so only its content tells a new log that has grown as long.
    std::string m_seen;
};

// Whether the bytes can be a call log: empty, or UTF-16LE after the
// byte-order mark the library writes first.
bool LooksLikeCallLog(const std::string &bytes);

// The whole log file to `to`; false when it cannot be read.
bool PrintLogFile(const std::string &path, std::FILE *to);

}  // namespace xvrcli
