// Every status the library returns, under one name each.  The values are the
// public ones of quvxvr.h and never change; where a value means two things,
// the public header says which.
#pragma once

#include <cstdint>

#include "quvxvr.h"

namespace xvr {

enum Status : int32_t {
    kStatusOk = XVR_OK,
    kStatusBufferFull = XVR_READ_BUFFER_FULL,
    kStatusDelimiter = XVR_READ_DELIMITER,
    kStatusReleased = XVR_CLOSE_RELEASED,
    kStatusVersionTooOld = XVR_ERR_VERSION_TOO_OLD,
    kStatusVersionTooNew = XVR_ERR_VERSION_TOO_NEW,
    kStatusBadHandle = XVR_ERR_BAD_HANDLE,
    kStatusOpenFailed = XVR_ERR_OPEN_FAILED,  // also any internal failure
    kStatusTransfer = XVR_ERR_TRANSFER,
    kStatusDriverIndex = XVR_ERR_DRIVER_INDEX,
    kStatusUnknownDriver = XVR_ERR_UNKNOWN_DRIVER,
    kStatusEnumIndex = XVR_ERR_ENUM_INDEX,
    kStatusUnknownParam = XVR_ERR_UNKNOWN_PARAM,
    kStatusValueTooLong = XVR_ERR_VALUE_TOO_LONG,  // also: GPIB bus did not initialise
    kStatusBadAddress = XVR_ERR_BAD_ADDRESS,       // also: close of a device not open
    kStatusRetired = XVR_ERR_RETIRED,
    kStatusBadValue = XVR_ERR_BAD_VALUE,
    kStatusNameTooLong = XVR_ERR_NAME_TOO_LONG,
    kStatusNotFound = XVR_ERR_NOT_FOUND,  // host not found, or serial port not opened
    kStatusLocked = XVR_ERR_LOCKED,
    kStatusConnectionLost = XVR_ERR_CONNECTION_LOST,
    kStatusRefused = XVR_ERR_REFUSED,
    kStatusComTimeouts = XVR_ERR_COM_TIMEOUTS,
    kStatusComGetSettings = XVR_ERR_COM_GET_SETTINGS,
    kStatusComSetSettings = XVR_ERR_COM_SET_SETTINGS,
    kStatusComWrite = XVR_ERR_COM_WRITE,
};

}  // namespace xvr
