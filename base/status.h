// Every status the library returns, under one name each: the public ones of
// quvxvr.h, made like it from resources/statuses.txt.  The values never
// change; where a value means two things, the table says which.
#pragma once

#include <cstdint>

#include "quvxvr.h"
#include "status_table.inc"

namespace xvr {

enum Status : int32_t {
#define XVR_STATUS_ENUM(value, name, internal, meaning) internal = name,
    XVR_STATUS_MAP(XVR_STATUS_ENUM)
#undef XVR_STATUS_ENUM
};

}  // namespace xvr
