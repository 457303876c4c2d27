#include "status.h"

#include <quvxvr.h>

namespace xvrcli {

const char *StatusName(int32_t status) {
#define XVR_NAME(s) \
    case s: return #s
    switch (status) {
        XVR_NAME(XVR_OK);
        XVR_NAME(XVR_READ_BUFFER_FULL);
        XVR_NAME(XVR_READ_DELIMITER);
        XVR_NAME(XVR_CLOSE_RELEASED);
        XVR_NAME(XVR_ERR_VERSION_TOO_OLD);
        XVR_NAME(XVR_ERR_VERSION_TOO_NEW);
        XVR_NAME(XVR_ERR_BAD_HANDLE);
        XVR_NAME(XVR_ERR_OPEN_FAILED);
        XVR_NAME(XVR_ERR_TRANSFER);
        XVR_NAME(XVR_ERR_DRIVER_INDEX);
        XVR_NAME(XVR_ERR_UNKNOWN_DRIVER);
        XVR_NAME(XVR_ERR_ENUM_INDEX);
        XVR_NAME(XVR_ERR_UNKNOWN_PARAM);
        XVR_NAME(XVR_ERR_VALUE_TOO_LONG);
        XVR_NAME(XVR_ERR_BAD_ADDRESS);
        XVR_NAME(XVR_ERR_RETIRED);
        XVR_NAME(XVR_ERR_BAD_VALUE);
        XVR_NAME(XVR_ERR_NAME_TOO_LONG);
        XVR_NAME(XVR_ERR_NOT_FOUND);
        XVR_NAME(XVR_ERR_LOCKED);
        XVR_NAME(XVR_ERR_CONNECTION_LOST);
        XVR_NAME(XVR_ERR_REFUSED);
        XVR_NAME(XVR_ERR_COM_TIMEOUTS);
        XVR_NAME(XVR_ERR_COM_GET_SETTINGS);
        XVR_NAME(XVR_ERR_COM_SET_SETTINGS);
        XVR_NAME(XVR_ERR_COM_WRITE);
    default: return "";
    }
#undef XVR_NAME
}

std::string StatusMeaning(int32_t status, Call call) {
    switch (status) {
    case XVR_ERR_VERSION_TOO_OLD:
    case XVR_ERR_VERSION_TOO_NEW:
        return "the library does not implement the interface version this program was built for";
    case XVR_ERR_BAD_HANDLE:
        return call == Call::Init || call == Call::Catalogue
                   ? "the library is not initialised or the module handle is wrong"
                   : "the device is not open (wrong or stale handle)";
    case XVR_ERR_OPEN_FAILED:
        return "the device, its connection or its bus library could not be opened";
    case XVR_ERR_TRANSFER:
        return call == Call::Write ? "the data could not be sent completely"
                                   : "nothing (or not everything) was received";
    case XVR_ERR_DRIVER_INDEX: return "there is no driver with that number";
    case XVR_ERR_UNKNOWN_DRIVER: return "the library has no driver of that name";
    case XVR_ERR_ENUM_INDEX: return "the driver's list of addresses has no entry with that number";
    case XVR_ERR_UNKNOWN_PARAM: return "the driver has no parameter of that name";
    case XVR_ERR_VALUE_TOO_LONG:
        return call == Call::Open ? "the GPIB bus interface did not initialise (is its driver installed?)"
                                  : "the value is longer than the buffer for it";
    case XVR_ERR_BAD_ADDRESS:
        return call == Call::Close ? "the device was already closed"
                                   : "the address is not of the form this driver takes";
    case XVR_ERR_RETIRED: return "the library no longer offers this function";
    case XVR_ERR_BAD_VALUE: return "the port does not take this parameter value";
    case XVR_ERR_NAME_TOO_LONG: return "the text is longer than the buffer for it";
    case XVR_ERR_NOT_FOUND: return "the host or the port was not found or could not be opened";
    case XVR_ERR_LOCKED: return "another client holds a lock on the instrument";
    case XVR_ERR_CONNECTION_LOST: return "the server closed or reset the connection";
    case XVR_ERR_REFUSED: return "the instrument or server refused the request";
    case XVR_ERR_COM_TIMEOUTS: return "the serial port refused its time-outs";
    case XVR_ERR_COM_GET_SETTINGS: return "the serial port's line settings could not be read";
    case XVR_ERR_COM_SET_SETTINGS: return "the serial port refused the line settings";
    case XVR_ERR_COM_WRITE: return "writing to the serial port failed";
    default: return "a status this program does not know";
    }
}

}  // namespace xvrcli
