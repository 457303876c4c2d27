#include "param_rules.h"

#include <cctype>
#include <cstring>
#include <sstream>

#include "options.h"
#include "param_table.inc"
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

// The words of a "words" rule; a word "PREFIX:<text>" takes any text after
// the prefix, passed on as typed.
std::string OneOf(const std::string &name, const std::string &value, const std::string &rule) {
    const std::string typed = Trim(value, " ");
    const std::string word = NormalizedName(value);
    std::istringstream words(rule);
    std::string w, list;
    while (words >> w) {
        const auto open = w.find(":<");
        if (open == std::string::npos ? word == w : word.compare(0, open + 1, w, 0, open + 1) == 0)
            return open == std::string::npos ? word : w.substr(0, open + 1) + typed.substr(open + 1);
        list += (list.empty() ? "" : ", ") + w;
    }
    throw UsageError(name + " must be one of " + list + ", not '" + value + "'");
}

// A row of resources/parameters.txt.
struct ParamRule {
    const char *name;
    const char *drivers;  // "|COM|TCP/IP|"
    const char *access;   // "get", "set", "get set", "wait set" (a get that waits)
    const char *rule;     // what a set takes
    const char *values;
    const char *fallback;  // the device's value after the open

    bool Gets() const { return std::strstr(access, "get") || std::strstr(access, "wait"); }
    bool Sets() const { return std::strstr(access, "set") != nullptr; }
};

const ParamRule kRules[] = {
#define XVR_PARAM_RULE(name, drivers, access, rule, values, fallback) \
    {name, drivers, access, rule, values, fallback},
    XVR_PARAM_MAP(XVR_PARAM_RULE)
#undef XVR_PARAM_RULE
};

bool Has(const ParamRule &rule, const DriverInfo &driver) {
    const std::string key = "|" + NormalizedName(driver.name) + "|";
    return NormalizedName(rule.drivers).find(key) != std::string::npos;
}

const ParamRule *Lookup(const DriverInfo &driver, const std::string &name) {
    const std::string key = NormalizedName(name);
    for (const auto &r : kRules)
        if (key == r.name && Has(r, driver)) return &r;
    return nullptr;
}

const ParamRule &FindRule(const DriverInfo &driver, const std::string &name) {
    if (const ParamRule *rule = Lookup(driver, name)) return *rule;
    throw UsageError("driver " + std::string(driver.name) + " has no parameter '" + name +
                     "' ('xvr params " + driver.name + "' lists them)");
}

// The value a set passes on, by the rule of the table.
std::string Checked(const ParamRule &r, const std::string &value) {
    std::istringstream rule(r.rule);
    std::string kind;
    uint64_t low = 0, high = 0;
    rule >> kind >> low >> high;
    if (kind == "ms") return std::to_string(ParseDuration(value, r.name, low));
    if (kind == "number") return std::to_string(ParseNumber(value, low, high, r.name));
    if (kind == "words") return OneOf(r.name, value, r.rule + 6);
    if (kind == "delimiter") CheckDelimiter(value);
    return value;
}

const char *AccessText(const ParamRule &r) {
    if (std::strstr(r.access, "wait")) return "get (waits), set";
    if (r.Gets() && r.Sets()) return "get, set";
    return r.Gets() ? "get only" : "set only";
}

// Text broken at blanks into lines of at most `width` characters, each
// after the first indented by `indent`.
std::string Wrapped(const std::string &text, size_t width, size_t indent) {
    std::istringstream words(text);
    std::string out, line, word;
    while (words >> word) {
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            out += line + "\n" + std::string(indent, ' ');
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return out + line;
}

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

const std::vector<DriverInfo> &Drivers() {
    static const std::vector<DriverInfo> drivers = {
        {"COM", Transport::Serial, "COM1 ... COM255 or (Linux) a device path such as /dev/ttyUSB0"},
        {"TCP/IP", Transport::Network, "host:port, e.g. 127.0.0.1:5025"},
        {"UDP", Transport::Network, "host:port, e.g. 127.0.0.1:5025"},
        {"VXI-11", Transport::Instrument, "HOST[:DEVICE], e.g. 10.0.0.5, 10.0.0.5:inst0, 10.0.0.5:gpib0,5"},
        {"HiSLIP", Transport::Instrument, "HOST[:SUBADDRESS[,PORT]], e.g. 10.0.0.5, 10.0.0.5:hislip0"},
        {"KX GPIB", Transport::Gpib, "Dev 0 ... Dev30, optionally with a secondary address: Dev 1,96"},
        {"QUV GPIB", Transport::Gpib, "Dev 0 ... Dev30, optionally with a secondary address: Dev 1,96"},
    };
    return drivers;
}

const DriverInfo &FindDriver(const std::string &name) {
    const std::string key = NormalizedName(name);
    std::string known;
    for (const auto &d : Drivers()) {
        if (key == NormalizedName(d.name)) return d;
        known += std::string(known.empty() ? "" : ", ") + "\"" + d.name + "\"";
    }
    throw UsageError("unknown driver '" + name + "'; the drivers are " + known);
}

void CheckAddress(const DriverInfo &driver, const std::string &address) {
    if (address.empty()) throw UsageError("the address is empty");
    if (driver.transport == Transport::Instrument && address[0] == ':')
        throw UsageError("a " + std::string(driver.name) + " address starts with the host, not '" + address + "'");
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
    if (!rule.Sets()) throw UsageError(std::string(rule.name) + " can only be read");
    return Checked(rule, value);
}

void CheckGetName(const DriverInfo &driver, const std::string &name) {
    const ParamRule &rule = FindRule(driver, name);
    if (!rule.Gets()) throw UsageError(std::string(rule.name) + " can only be set on " + driver.name);
}

bool Readable(const DriverInfo &driver, const std::string &name) {
    const ParamRule *rule = Lookup(driver, name);
    return rule && rule->Gets();
}

void PrintParams(const DriverInfo &driver, std::FILE *to) {
    std::fprintf(to, "Parameters of %s (address: %s):\n", driver.name, driver.address);
    for (const auto &r : kRules) {
        if (!Has(r, driver)) continue;
        std::fprintf(to, "  %-12s %s\n               %s", r.name, AccessText(r),
                     Wrapped(r.values, 85, 15).c_str());
        if (*r.fallback) std::fprintf(to, "\n               after the open: %s", r.fallback);
        std::fputc('\n', to);
    }
    std::fprintf(to, "Names and words are matched regardless of case.\n");
}

}  // namespace xvrcli
