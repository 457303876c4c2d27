// What xvr knows about the drivers before the library sees anything: their
// names, address forms and parameters with the values that make sense, so
// that a mistyped command line is refused (exit 2) without touching the
// library, whose first initialisation would empty the call log.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace xvrcli {

// Serial and GPIB addresses are left to the library; a network address needs
// a port, a LAN instrument's a host.
enum class Transport { Serial, Network, Instrument, Gpib };

struct DriverInfo {
    const char *name;     // as the library lists it
    Transport transport;
    const char *address;  // the address form, for help texts
};

const std::vector<DriverInfo> &Drivers();
// The driver of `name` (blanks around it and case do not matter); throws
// UsageError naming the known drivers.
const DriverInfo &FindDriver(const std::string &name);
// Throws UsageError when the address cannot be right for the driver.
void CheckAddress(const DriverInfo &driver, const std::string &address);

// A parameter or driver name as the library matches it: blanks around it
// removed, upper case.
std::string NormalizedName(const std::string &name);

// The value a set of `name` passes to the library: the user's value, or its
// plain form (TIMEOUT 2s -> 2000, PARITY even -> EVEN).  Throws UsageError
// for an unknown name, a read-only parameter or a value the library would
// take but not as meant.
std::string CheckSetValue(const DriverInfo &driver, const std::string &name, const std::string &value);
// Throws UsageError for an unknown name or a parameter that cannot be read.
void CheckGetName(const DriverInfo &driver, const std::string &name);
// True when the driver has a parameter of that name that can be read.
bool Readable(const DriverInfo &driver, const std::string &name);
// A DELIMITER value: printable bytes and \XX escapes of two hex digits, at
// most 100 bytes.  Throws UsageError naming the fault.
void CheckDelimiter(const std::string &value);

// The parameter table of one driver (from resources/parameters.txt), for
// 'xvr params'.
void PrintParams(const DriverInfo &driver, std::FILE *to);

}  // namespace xvrcli
