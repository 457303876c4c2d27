#include "param_rules.h"

#include <algorithm>
#include <cctype>

#include "options.h"
#include "trim.h"

namespace xvrcli {

namespace {

// Largest delimiter the library keeps.
constexpr size_t kMaxDelimiterBytes = 100;

}  // namespace

std::string NormalizedName(const std::string &text) {
    std::string s = Trim(text, " ");
    for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

namespace {

std::string OneOf(const std::string &name, const std::string &value,
                  const std::vector<std::string> &words) {
    const std::string word = NormalizedName(value);
    if (std::find(words.begin(), words.end(), word) != words.end()) return word;
    std::string list;
    for (const auto &w : words) list += (list.empty() ? "" : ", ") + w;
    throw UsageError(name + " must be one of " + list + ", not '" + value + "'");
}

std::string Timeout(const std::string &value) { return std::to_string(ParseDuration(value, "TIMEOUT")); }
std::string Delimiter(const std::string &value) {
    CheckDelimiter(value);
    return value;
}
std::string Baudrate(const std::string &value) {
    return std::to_string(ParseNumber(value, 1, 0x7FFFFFFF, "BAUDRATE"));
}
std::string Databits(const std::string &value) {
    const uint64_t bits = ParseNumber(value, 4, 8, "DATABITS");
    // The library takes 4 and 5 but runs the line with 8 data bits.
    if (bits < 6) throw UsageError("DATABITS " + value + " is not supported: the port would run with 8");
    return std::to_string(bits);
}
std::string Stopbits(const std::string &value) { return std::to_string(ParseNumber(value, 1, 2, "STOPBITS")); }
std::string Parity(const std::string &value) {
    return OneOf("PARITY", value, {"NONE", "ODD", "EVEN", "MARK", "SPACE"});
}
std::string Handshake(const std::string &value) {
    return OneOf("HANDSHAKE", value, {"NONE", "XON/XOFF", "RTS/CTS"});
}
std::string Anything(const std::string &value) { return value; }
std::string LockTimeout(const std::string &value) {
    return std::to_string(ParseNumber(value, 0, 0x7FFFFFFF, "LOCK_TIMEOUT"));
}

constexpr unsigned kSerial = 1, kNetwork = 2, kGpib = 4, kLan = 8;

struct ParamRule {
    const char *name;
    unsigned transports;
    Access access;
    const char *values;
    const char *fallback;  // the device's value after the open
    std::string (*check)(const std::string &value);
};

const char kTimeoutValues[] =
    "milliseconds, 1 to 3600000; also with a unit: 500ms, 2s";
const char kDelimiterValues[] =
    "bytes that end a message: printable characters as themselves, others\n"
    "             as \\XX with two hex digits (\\0D\\0A); at most 100 bytes; empty: none";

const ParamRule kRules[] = {
    {"BAUDRATE", kSerial, Access::GetSet, "bits per second, any whole number the port takes", "9600", Baudrate},
    {"DATABITS", kSerial, Access::GetSet, "6, 7 or 8", "8", Databits},
    {"PARITY", kSerial, Access::GetSet, "NONE, ODD, EVEN, MARK, SPACE", "NONE", Parity},
    {"STOPBITS", kSerial, Access::GetSet, "1 or 2", "1", Stopbits},
    {"HANDSHAKE", kSerial, Access::GetSet, "NONE, XON/XOFF, RTS/CTS", "NONE", Handshake},
    {"TIMEOUT", kSerial, Access::GetSet, kTimeoutValues, "1000 (the wait for each next byte)", Timeout},
    {"TIMEOUT", kNetwork | kLan, Access::GetSet, kTimeoutValues, "1000", Timeout},
    {"TIMEOUT", kGpib, Access::SetOnly, kTimeoutValues, "1000", Timeout},
    {"DELIMITER", kSerial | kGpib, Access::GetSet, kDelimiterValues, "\\0D", Delimiter},
    {"DELIMITER", kNetwork | kLan, Access::GetSet, kDelimiterValues, "\\0A", Delimiter},
    {"LOCK_TIMEOUT", kLan, Access::GetSet, "milliseconds an operation waits for another client's lock", "0",
     LockTimeout},
    {"MAXRECV", kLan, Access::GetOnly, "the largest message the server takes at once", "", nullptr},
    {"BUFFER", kNetwork, Access::GetOnly, "bytes received and not yet read", "", nullptr},
    {"TRIGGER", kGpib, Access::SetOnly, "any value: triggers the device", "", Anything},
};

unsigned Bit(Transport t) {
    switch (t) {
    case Transport::Serial: return kSerial;
    case Transport::Network: return kNetwork;
    case Transport::Gpib: return kGpib;
    case Transport::Lan: return kLan;
    }
    return 0;
}

const ParamRule &FindRule(const DriverInfo &driver, const std::string &name) {
    const std::string key = NormalizedName(name);
    for (const auto &r : kRules)
        if (key == r.name && (r.transports & Bit(driver.transport))) return r;
    throw UsageError("driver " + std::string(driver.name) + " has no parameter '" + name +
                     "' ('xvr params " + driver.name + "' lists them)");
}

const char *AccessText(Access a) {
    switch (a) {
    case Access::GetSet: return "get, set";
    case Access::GetOnly: return "get only";
    case Access::SetOnly: return "set only";
    }
    return "";
}

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

const std::vector<DriverInfo> &Drivers() {
    static const std::vector<DriverInfo> drivers = {
        {"COM", Transport::Serial, "COM1 ... COM255 or (Linux) a device path such as /dev/ttyUSB0"},
        {"TCP/IP", Transport::Network, "host:port, e.g. 127.0.0.1:5025"},
        {"UDP", Transport::Network, "host:port, e.g. 127.0.0.1:5025"},
        {"KX GPIB", Transport::Gpib, "Dev 0 ... Dev30, optionally with a secondary address: Dev 1,96"},
        {"QUV GPIB", Transport::Gpib, "Dev 0 ... Dev30, optionally with a secondary address: Dev 1,96"},
        {"VXI-11", Transport::Lan, "HOST[:DEVICE], e.g. 127.0.0.1 or 127.0.0.1:gpib0,5 (DEVICE inst0)"},
    };
    return drivers;
}

const DriverInfo &FindDriver(const std::string &name) {
    const std::string key = NormalizedName(name);
    std::string known;
    for (const auto &d : Drivers()) {
        if (key == d.name) return d;
        known += std::string(known.empty() ? "" : ", ") + "\"" + d.name + "\"";
    }
    throw UsageError("unknown driver '" + name + "'; the drivers are " + known);
}

void CheckAddress(const DriverInfo &driver, const std::string &address) {
    if (address.empty()) throw UsageError("the address is empty");
    if (driver.transport == Transport::Lan && Trim(address.substr(0, address.find(':')), " ").empty())
        throw UsageError("a " + std::string(driver.name) + " address is HOST[:DEVICE], not '" + address + "'");
    if (driver.transport != Transport::Network) return;
    const auto colon = address.find(':');
    if (colon == std::string::npos || colon == 0)
        throw UsageError("a " + std::string(driver.name) + " address is host:port, not '" + address + "'");
    ParseNumber(address.substr(colon + 1), 1, 65535, "the port of '" + address + "'");
}

void CheckDelimiter(const std::string &value) {
    size_t bytes = 0;
    for (size_t i = 0; i < value.size(); ++bytes) {
        if (value[i] != '\\') {
            ++i;
            continue;
        }
        if (i + 2 >= value.size() || !IsHexDigit(value[i + 1]) || !IsHexDigit(value[i + 2]))
            throw UsageError("DELIMITER '" + value + "': a backslash must be followed by two hex digits "
                             "(\\0D; a backslash itself is \\5C)");
        i += 3;
    }
    if (bytes > kMaxDelimiterBytes)
        throw UsageError("DELIMITER '" + value + "' has " + std::to_string(bytes) +
                         " bytes; at most 100 are possible");
}

std::string CheckSetValue(const DriverInfo &driver, const std::string &name, const std::string &value) {
    const ParamRule &rule = FindRule(driver, name);
    if (rule.access == Access::GetOnly) throw UsageError(std::string(rule.name) + " can only be read");
    return rule.check(value);
}

void CheckGetName(const DriverInfo &driver, const std::string &name) {
    const ParamRule &rule = FindRule(driver, name);
    if (rule.access == Access::SetOnly)
        throw UsageError(std::string(rule.name) + " can only be set on " + driver.name);
}

void PrintParams(const DriverInfo &driver, std::FILE *to) {
    std::fprintf(to, "Parameters of %s (address: %s):\n", driver.name, driver.address);
    for (const auto &r : kRules) {
        if (!(r.transports & Bit(driver.transport))) continue;
        std::fprintf(to, "  %-10s %s\n             %s", r.name, AccessText(r.access), r.values);
        if (*r.fallback) std::fprintf(to, "\n             after the open: %s", r.fallback);
        std::fputc('\n', to);
    }
    std::fprintf(to, "Names and PARITY/HANDSHAKE words are matched regardless of case.\n");
}

}  // namespace xvrcli
