// Command-line options of xvr: one parser for every subcommand, each
// subcommand naming the options it accepts.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "script.h"

namespace xvrcli {

struct DriverInfo;

// Exit statuses of the tool.
constexpr int kExitOk = 0;
constexpr int kExitDevice = 1;
constexpr int kExitUsage = 2;

// Bad command line: exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// A device or I/O failure: exit status 1.  The message already carries the
// library's status and text.
struct DeviceError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class Opt {
    Timeout, Delimiter, Hex, HexIn, HexOut, Raw, Count, Output, All, Block, Follow, Echo, KeepGoing
};

struct Options {
    std::vector<std::string> args;  // positional arguments after the subcommand
    bool help = false;
    std::optional<int32_t> timeoutMs;   // --timeout MS
    std::optional<std::string> delimiter;  // --delimiter TEXT
    bool hexIn = false;                 // --hex-in (or --hex): data arguments typed in hex
    bool hexOut = false;                // --hex-out (or --hex): data printed in hex
    bool raw = false;                   // --raw: no delimiter appended / no stop at it
    std::optional<uint64_t> count;      // -n / --count N
    std::string output;                 // -o / --output FILE
    bool all = false;                   // --all
    bool block = false;                 // --block: the answer is a definite-length block
    bool follow = false;                // -f / --follow
    bool echo = false;                  // --echo
    bool keepGoing = false;             // --keep-going

    // Filled by the checks before the library is touched.
    const DriverInfo *driver = nullptr;  // of DRIVER ADDRESS commands
    std::string data;                    // the data argument, --hex-in decoded
    std::vector<Step> script;            // xvr run
};

// Parses argv[first..argc); options may stand anywhere, "--" ends them.
// Throws UsageError for unknown or malformed options.
Options ParseOptions(int argc, char **argv, int first, const std::vector<Opt> &allowed);

// A decimal number in [minimum, maximum]; `what` names it in the error.
uint64_t ParseNumber(const std::string &text, uint64_t minimum, uint64_t maximum,
                     const std::string &what);

// Longest time-out xvr passes on: an hour.
constexpr uint64_t kMaxTimeoutMs = 3600000;
// Milliseconds from "500", "500ms" or "2s", minimum to kMaxTimeoutMs.
int32_t ParseDuration(const std::string &text, const std::string &what, uint64_t minimum = 1);

}  // namespace xvrcli
