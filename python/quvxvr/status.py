"""The library's statuses under the names of its public header, with an
English sentence for each (the library's own texts are German)."""

XVR_OK = 0
XVR_READ_BUFFER_FULL = 1
XVR_READ_DELIMITER = 2
XVR_CLOSE_RELEASED = 3
XVR_ERR_VERSION_TOO_OLD = -1
XVR_ERR_VERSION_TOO_NEW = -2
XVR_ERR_BAD_HANDLE = -3
XVR_ERR_OPEN_FAILED = -4
XVR_ERR_TRANSFER = -6
XVR_ERR_DRIVER_INDEX = -8
XVR_ERR_UNKNOWN_DRIVER = -9
XVR_ERR_ENUM_INDEX = -10
XVR_ERR_UNKNOWN_PARAM = -11
XVR_ERR_VALUE_TOO_LONG = -12
XVR_ERR_BAD_ADDRESS = -16
XVR_ERR_RETIRED = -17
XVR_ERR_BAD_VALUE = -18
XVR_ERR_NAME_TOO_LONG = -19
XVR_ERR_NOT_FOUND = -20
XVR_ERR_LOCKED = -21
XVR_ERR_CONNECTION_LOST = -22
XVR_ERR_REFUSED = -23
XVR_ERR_COM_TIMEOUTS = -1001
XVR_ERR_COM_GET_SETTINGS = -1002
XVR_ERR_COM_SET_SETTINGS = -1003
XVR_ERR_COM_WRITE = -1004

# Some values carry two meanings; the sentence names both, the operation in
# the exception's message tells them apart.
_MEANINGS = {
    XVR_OK: "success",
    XVR_READ_BUFFER_FULL: "the read filled the buffer",
    XVR_READ_DELIMITER: "the read ended on the delimiter",
    XVR_CLOSE_RELEASED: "the close released the device",
    XVR_ERR_VERSION_TOO_OLD: "the host's interface version is older than the library's",
    XVR_ERR_VERSION_TOO_NEW: "the host asks for a newer interface version than the library has",
    XVR_ERR_BAD_HANDLE: "the handle is not valid or the device is not open",
    XVR_ERR_OPEN_FAILED: "the device, its connection or its bus library could not be opened",
    XVR_ERR_TRANSFER: "the transfer failed or timed out",
    XVR_ERR_DRIVER_INDEX: "the driver index is out of range",
    XVR_ERR_UNKNOWN_DRIVER: "the driver name is unknown",
    XVR_ERR_ENUM_INDEX: "the value index is out of range",
    XVR_ERR_UNKNOWN_PARAM: "the driver has no such parameter",
    XVR_ERR_VALUE_TOO_LONG: "the value does not fit the buffer, or the GPIB interface did not initialise",
    XVR_ERR_BAD_ADDRESS: "the address is not of the driver's form, or the device was already closed",
    XVR_ERR_RETIRED: "the function is retired",
    XVR_ERR_BAD_VALUE: "the port cannot take this parameter value",
    XVR_ERR_NAME_TOO_LONG: "the text does not fit the buffer",
    XVR_ERR_NOT_FOUND: "the host or the serial port was not found",
    XVR_ERR_LOCKED: "another client holds a lock on the instrument",
    XVR_ERR_CONNECTION_LOST: "the server closed or reset the connection",
    XVR_ERR_REFUSED: "the instrument or server refused the request",
    XVR_ERR_COM_TIMEOUTS: "setting the serial port's time-outs failed",
    XVR_ERR_COM_GET_SETTINGS: "reading the serial line settings failed",
    XVR_ERR_COM_SET_SETTINGS: "the serial line cannot run these settings",
    XVR_ERR_COM_WRITE: "writing to the serial port failed",
}

# Where the operation tells the two meanings apart.
_MEANINGS_IN = {
    ("open", XVR_ERR_VALUE_TOO_LONG): "the GPIB bus interface did not initialise",
    ("open", XVR_ERR_BAD_ADDRESS): "the address is not of the driver's form",
    ("close", XVR_ERR_BAD_ADDRESS): "the device was already closed",
}

_NAMES = {value: name for name, value in globals().items() if name.startswith("XVR_")}


def status_name(status: int) -> str:
    """The header's name of a status ("XVR_ERR_TRANSFER"), or the number as text."""
    return _NAMES.get(status, str(status))


def status_meaning(status: int, operation: str = "") -> str:
    """An English sentence for a status; operation ("open", "close") picks
    the meaning of a status that has two."""
    return _MEANINGS_IN.get((operation, status)) or _MEANINGS.get(status, "unknown status")
