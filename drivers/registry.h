// The one table of drivers: which class serves a driver name, and what the
// catalogue tells hosts about it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "drivers/driver.h"

namespace xvr {

struct DriverEntry {
    const char *name;  // as a host names it (opens compare it upper-cased)
    std::unique_ptr<iXVR_Functions> (*make)();
    bool listed;  // counted and named by the catalogue ("QUV GPIB" is not)
    // Listed only when the parameter file asks for the whole catalogue
    // (section "XVR", Catalogue=all): hosts written for the first four
    // drivers never see more by surprise.
    bool onRequest;
    // The open parameter: its name, its type (1 text, 2 a list of
    // enumCount texts made from enumFormat with 1, 2, ...) and its largest value.
    const char *paramName;
    uint32_t paramType;
    uint32_t paramMax;
    const char *enumFormat;
    uint32_t enumCount;
};

// The table, in catalogue order.
const DriverEntry *DriverTable(size_t *count);
// The entry of a driver name compared exactly, or nullptr.
const DriverEntry *FindDriver(const char *name);

// A new driver object for an upper-cased, trimmed driver name; nullptr when
// the name is unknown.
std::unique_ptr<iXVR_Functions> CreateDriver(const std::u16string &preparedName);

// Adds a driver that only its tests know; the catalogue never lists it.
using DriverMaker = std::function<std::unique_ptr<iXVR_Functions>()>;
void RegisterDriver(const std::u16string &preparedName, DriverMaker maker);

}  // namespace xvr
