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
from .status import *  # noqa: F401,F403 (the header's status names, XVR_OK ...)
from .status import __all__ as _status_names
from ._version import __version__  # noqa: F401

__all__ = [
    "BlockFormatError", "DEFAULT_BLOCK_LIMIT", "Device", "Driver", "Error", "LIBRARY_FILE", "Library",
    "LibraryNotFound", "Params", "READ_KEEP_DELIMITER", "READ_STOP_AT_DELIMITER", "READ_ZERO_TERMINATE",
    "Timeout", "UnknownParameter", "WRITE_APPEND_DELIMITER", "com_mappings", "drivers", "library", "open",
    "parameter_directory", "serial_ports", *_status_names,
]
