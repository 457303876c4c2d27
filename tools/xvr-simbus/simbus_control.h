// The control file of the simulated bus library.  The environment variable
// XVR_SIMBUS_CONFIG names a text file, read afresh at every call, with lines:
//   fail <entry point>   that entry point reports failure (0, or no bytes)
//   delay <ms>           answers become ready <ms> after their query
//   overreport <n>       iecEnter reports <n> bytes more than it was asked for
//                        (it never writes them)
//   log <file>           one line per call received is appended to <file>
//   instrument <file>    the instruments answer as the xvr-sim instrument file
//                        <file> describes (read at each iecOpen), instead of
//                        the built-in answers
// Blank lines and lines starting with '#' are skipped.  Without the variable
// every entry point works and nothing is logged; a file that cannot be read
// or has a bad line makes every iecOpen fail, saying why on stderr.
#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace simbus {

struct Control {
    std::set<std::string> failing;
    uint32_t delayMs = 0;
    uint32_t overreport = 0;
    std::string logFile;
    std::string instrumentFile;
    std::string error;  // the first bad line, or an unreadable file

    bool Fails(const char *entry) const { return failing.count(entry) != 0; }
};

Control ReadControl();

// Appends one line to the control's log file, if any.
void Record(const Control &control, const std::string &line);

// Bytes as text for the log: printable ASCII as is, others as \XX; cut
// after 64 bytes with "...".
std::string Printable(const uint8_t *data, size_t count);

}  // namespace simbus
