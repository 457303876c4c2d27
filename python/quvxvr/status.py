"""The library's statuses under the names of its public header, with an
English sentence for each (the library's own texts are German).

Generated from resources/statuses.txt by cmake/GenerateTables.cmake; do not edit.
"""

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

__all__ = [
    "XVR_OK",
    "XVR_READ_BUFFER_FULL",
    "XVR_READ_DELIMITER",
    "XVR_CLOSE_RELEASED",
    "XVR_ERR_VERSION_TOO_OLD",
    "XVR_ERR_VERSION_TOO_NEW",
    "XVR_ERR_BAD_HANDLE",
    "XVR_ERR_OPEN_FAILED",
    "XVR_ERR_TRANSFER",
    "XVR_ERR_DRIVER_INDEX",
    "XVR_ERR_UNKNOWN_DRIVER",
    "XVR_ERR_ENUM_INDEX",
    "XVR_ERR_UNKNOWN_PARAM",
    "XVR_ERR_VALUE_TOO_LONG",
    "XVR_ERR_BAD_ADDRESS",
    "XVR_ERR_RETIRED",
    "XVR_ERR_BAD_VALUE",
    "XVR_ERR_NAME_TOO_LONG",
    "XVR_ERR_NOT_FOUND",
    "XVR_ERR_LOCKED",
    "XVR_ERR_CONNECTION_LOST",
    "XVR_ERR_REFUSED",
    "XVR_ERR_COM_TIMEOUTS",
    "XVR_ERR_COM_GET_SETTINGS",
    "XVR_ERR_COM_SET_SETTINGS",
    "XVR_ERR_COM_WRITE",
    "status_meaning",
    "status_name",
]

_MEANINGS = {
    XVR_OK: "success",
    XVR_READ_BUFFER_FULL: "read: the buffer is full",
    XVR_READ_DELIMITER: "read: the data ended on the delimiter",
    XVR_CLOSE_RELEASED: "close: the last open is gone, the device released",
    XVR_ERR_VERSION_TOO_OLD: "flXVRInit: the host's interface version (ActVersion) is below the library's, 100",
    XVR_ERR_VERSION_TOO_NEW: "flXVRInit: the host asks for a newer interface version (MinVersion) than the library's, 100",
    XVR_ERR_BAD_HANDLE: "wrong module or device handle, or the device is not open; flXVRDeInit without flXVRInit (no text)",
    XVR_ERR_OPEN_FAILED: "the device, its connection or its bus library could not be opened; also any internal failure (memory)",
    XVR_ERR_TRANSFER: "a read timed out or received nothing, a write was incomplete, a transfer failed; a time-out sets no text",
    XVR_ERR_DRIVER_INDEX: "catalogue: there is no driver with that index",
    XVR_ERR_UNKNOWN_DRIVER: "the library has no driver of that name",
    XVR_ERR_ENUM_INDEX: "flXVREnumGet: the driver's list of addresses has no entry with that index",
    XVR_ERR_UNKNOWN_PARAM: "the driver has no parameter of that name",
    XVR_ERR_VALUE_TOO_LONG: "flXVRParamGet: the value does not fit the buffer; GPIB open: the bus interface did not initialise",
    XVR_ERR_BAD_ADDRESS: "open: the address is not of the driver's form; close: the device's open count is already 0",
    XVR_ERR_RETIRED: "the library no longer offers this function (flXVRDeviceConfig, flXVRParamSave, flXVRParamLoad)",
    XVR_ERR_BAD_VALUE: "the device cannot take this parameter value",
    XVR_ERR_NAME_TOO_LONG: "catalogue: the text is longer than the buffer for it",
    XVR_ERR_NOT_FOUND: "network: the host was not found; serial: the port could not be opened",
    XVR_ERR_LOCKED: "another client holds a lock on the instrument (after waiting LOCK_TIMEOUT)",
    XVR_ERR_CONNECTION_LOST: "the server closed or reset the connection",
    XVR_ERR_REFUSED: "the instrument or server refused the request; the text names its reason",
    XVR_ERR_COM_TIMEOUTS: "serial: the port refused its time-outs",
    XVR_ERR_COM_GET_SETTINGS: "serial: the port's line settings could not be read",
    XVR_ERR_COM_SET_SETTINGS: "serial: the port refused the line settings",
    XVR_ERR_COM_WRITE: "serial: writing the data failed",
}

# Where the operation tells two meanings of a status apart.
_MEANINGS_IN = {
    ("init", XVR_ERR_BAD_HANDLE): "the library is not initialised or the module handle is wrong",
    ("open", XVR_ERR_BAD_HANDLE): "the library is not initialised or the module handle is wrong",
    ("catalogue", XVR_ERR_BAD_HANDLE): "the library is not initialised or the module handle is wrong",
    ("close", XVR_ERR_BAD_HANDLE): "the device is not open (wrong or stale handle)",
    ("read", XVR_ERR_BAD_HANDLE): "the device is not open (wrong or stale handle)",
    ("write", XVR_ERR_BAD_HANDLE): "the device is not open (wrong or stale handle)",
    ("get", XVR_ERR_BAD_HANDLE): "the device is not open (wrong or stale handle)",
    ("set", XVR_ERR_BAD_HANDLE): "the device is not open (wrong or stale handle)",
    ("open", XVR_ERR_OPEN_FAILED): "the device, its connection or its bus library could not be opened",
    ("read", XVR_ERR_TRANSFER): "nothing (or not everything) was received",
    ("write", XVR_ERR_TRANSFER): "the data could not be sent completely",
    ("open", XVR_ERR_VALUE_TOO_LONG): "the GPIB bus interface did not initialise (is its driver installed?)",
    ("get", XVR_ERR_VALUE_TOO_LONG): "the value is longer than the buffer for it",
    ("open", XVR_ERR_BAD_ADDRESS): "the address is not of the form this driver takes",
    ("close", XVR_ERR_BAD_ADDRESS): "the device was already closed",
}

_NAMES = {value: name for name, value in globals().items() if name.startswith("XVR_")}


def status_name(status: int) -> str:
    """The header's name of a status ("XVR_ERR_TRANSFER"), or the number as text."""
    return _NAMES.get(status, str(status))


def status_meaning(status: int, operation: str = "") -> str:
    """An English sentence for a status; operation ("open", "close", ...) picks
    the meaning of a status that has two."""
    meaning = _MEANINGS_IN.get((operation, status))
    return meaning if meaning is not None else _MEANINGS.get(status, "unknown status")
