// Which class serves a driver name.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "drivers/driver.h"

namespace xvr {

using DriverMaker = std::function<std::unique_ptr<iXVR_Functions>()>;

// A new driver object for an upper-cased, trimmed driver name; nullptr when
// the name is unknown.
std::unique_ptr<iXVR_Functions> CreateDriver(const std::u16string &preparedName);

// Adds or replaces a driver name (tests register drivers of their own).
void RegisterDriver(const std::u16string &preparedName, DriverMaker maker);

}  // namespace xvr
