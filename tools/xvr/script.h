// The lines of 'xvr shell' and 'xvr run': instrument commands and
// directives, parsed (and checked) apart from running them, so that a
// script with a bad line is refused before anything is sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace xvrcli {

struct DriverInfo;
class Device;

struct Step {
    enum class Kind { Send, Query, Get, Set, Sleep, ReadCount, ReadMessage, Help, Quit, Control };
    Kind kind;
    std::string text;     // data to send, or the parameter name
    std::string value;    // the checked value of a :set or control directive
    uint64_t number = 0;  // milliseconds of :sleep and :wait-srq, bytes of :read N
    size_t line = 0;      // 1 for the first line
    std::string source;   // the line as written, for --echo
};

// One line; nothing for a blank line or a '#' comment.  A line whose first
// word ends in '?' ("*IDN?", "DATA? 100") is a query.  Throws UsageError.
std::optional<Step> ParseStep(const std::string &line, size_t number, const DriverInfo &driver,
                              bool hexIn);
// Every line of a script; throws UsageError naming the first bad line.
std::vector<Step> ParseScript(std::istream &in, const std::string &name, const DriverInfo &driver,
                              bool hexIn);
// Runs one step, printing what it reads; false for :quit.  Throws
// DeviceError.
bool RunStep(Device &device, const Step &step, bool hexOut);

extern const char kStepHelp[];

}  // namespace xvrcli
