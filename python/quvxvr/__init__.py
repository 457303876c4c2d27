"""QUVXVR from Python: instruments on serial ports, TCP/UDP sockets and GPIB.

    import quvxvr
    with quvxvr.open("TCP/IP", "127.0.0.1:5025", timeout_ms=2000) as dev:
        print(dev.query("*IDN?"))
        dev.params["DELIMITER"] = r"\\0A"
        data = dev.query_block("CURV?")

The library is found through $QUVXVR_LIBRARY (a file path), else beside the
installed package, else by the system's library search (libquvxvr.so.1,
QUVXVR.DLL).  Failures raise ``quvxvr.Error`` (``.status``, ``.text``); a
time-out raises ``quvxvr.Timeout``, which is also a ``TimeoutError``.
"""
from ._library import LIBRARY_FILE, Library, library
from .catalogue import Driver, drivers
from .device import (DEFAULT_BLOCK_LIMIT, READ_KEEP_DELIMITER, READ_STOP_AT_DELIMITER,
                     READ_ZERO_TERMINATE, WRITE_APPEND_DELIMITER, Device, open)
from .errors import BlockFormatError, Error, LibraryNotFound, Timeout, UnknownParameter
from .params import Params
from .settings import com_mappings, parameter_directory, serial_ports
from .status import (  # the header's status names
    XVR_OK, XVR_READ_BUFFER_FULL, XVR_READ_DELIMITER, XVR_CLOSE_RELEASED, XVR_ERR_VERSION_TOO_OLD,
    XVR_ERR_VERSION_TOO_NEW, XVR_ERR_BAD_HANDLE, XVR_ERR_OPEN_FAILED, XVR_ERR_TRANSFER,
    XVR_ERR_DRIVER_INDEX, XVR_ERR_UNKNOWN_DRIVER, XVR_ERR_ENUM_INDEX, XVR_ERR_UNKNOWN_PARAM,
    XVR_ERR_VALUE_TOO_LONG, XVR_ERR_BAD_ADDRESS, XVR_ERR_RETIRED, XVR_ERR_BAD_VALUE,
    XVR_ERR_NAME_TOO_LONG, XVR_ERR_NOT_FOUND, XVR_ERR_LOCKED, XVR_ERR_CONNECTION_LOST, XVR_ERR_REFUSED,
    XVR_ERR_COM_TIMEOUTS, XVR_ERR_COM_GET_SETTINGS, XVR_ERR_COM_SET_SETTINGS, XVR_ERR_COM_WRITE,
)
from .status import status_meaning, status_name

__version__ = "1.0.0"
__all__ = [
    "BlockFormatError", "DEFAULT_BLOCK_LIMIT", "Device", "Driver", "Error", "LIBRARY_FILE", "Library",
    "LibraryNotFound", "Params", "READ_KEEP_DELIMITER", "READ_STOP_AT_DELIMITER", "READ_ZERO_TERMINATE",
    "Timeout", "UnknownParameter", "WRITE_APPEND_DELIMITER", "com_mappings", "drivers", "library", "open",
    "parameter_directory", "serial_ports", "status_meaning", "status_name",
    "XVR_OK", "XVR_READ_BUFFER_FULL", "XVR_READ_DELIMITER", "XVR_CLOSE_RELEASED",
    "XVR_ERR_VERSION_TOO_OLD", "XVR_ERR_VERSION_TOO_NEW", "XVR_ERR_BAD_HANDLE",
    "XVR_ERR_OPEN_FAILED", "XVR_ERR_TRANSFER", "XVR_ERR_DRIVER_INDEX", "XVR_ERR_UNKNOWN_DRIVER",
    "XVR_ERR_ENUM_INDEX", "XVR_ERR_UNKNOWN_PARAM", "XVR_ERR_VALUE_TOO_LONG", "XVR_ERR_BAD_ADDRESS",
    "XVR_ERR_RETIRED", "XVR_ERR_BAD_VALUE", "XVR_ERR_NAME_TOO_LONG", "XVR_ERR_NOT_FOUND",
    "XVR_ERR_LOCKED", "XVR_ERR_CONNECTION_LOST", "XVR_ERR_REFUSED",
    "XVR_ERR_COM_TIMEOUTS", "XVR_ERR_COM_GET_SETTINGS", "XVR_ERR_COM_SET_SETTINGS",
    "XVR_ERR_COM_WRITE",
]
