"""A device's parameters as a mapping of names to value texts."""
import ctypes
import threading
from collections.abc import MutableMapping
from typing import Iterator, Protocol

from ._library import ENCODING, ERRORS, Library, decode, encode
from .errors import Error, UnknownParameter
from .param_table import DRIVERS, PARAMETERS
from .status import XVR_ERR_UNKNOWN_PARAM, XVR_ERR_VALUE_TOO_LONG

# The names each driver can read without waiting, upper case; iteration
# offers these.  Some parameters can only be set (GPIB's TIMEOUT, TRIGGER).
READABLE = {driver.upper(): tuple(p.name for p in PARAMETERS if driver in p.drivers and "get" in p.access)
            for driver in DRIVERS}


class _Owner(Protocol):
    """What the parameters need of their device (quvxvr.Device)."""
    driver: str
    _lib: Library
    _lock: threading.Lock

    def _live(self, operation: str) -> int: ...


def decode_delimiter(text: str) -> bytes:
    """The bytes of a DELIMITER value as the library writes it: printable
    characters as themselves, other bytes as a backslash and two hex digits."""
    raw = text.encode(ENCODING, ERRORS)
    out = bytearray()
    i = 0
    while i < len(raw):
        escape = raw[i + 1:i + 3]
        if raw[i] == 0x5C and len(escape) == 2 and all(c in b"0123456789ABCDEFabcdef" for c in escape):
            out.append(int(escape, 16))
            i += 3
        else:
            out.append(raw[i])
            i += 1
    return bytes(out)


class Params(MutableMapping):
    """``device.params["TIMEOUT"] = 500``, ``device.params["DELIMITER"]``.

    Names are matched by the library (case and surrounding blanks do not
    matter); values are texts, and any value given is passed as ``str(value)``.
    An unknown name raises ``UnknownParameter``, a ``KeyError``.  Two opens
    that share one connection or port share its parameters, as in the library.
    """

    def __init__(self, device: _Owner) -> None:
        self._device = device

    def __getitem__(self, name: str) -> str:
        with self._device._lock:
            return self.get_locked(name)

    def get_locked(self, name: str) -> str:
        """The value, for a caller that holds the device's lock already."""
        device = self._device
        operation = "get parameter %s of %s" % (name, device)
        key = encode(name, "a parameter name")
        size = 512
        while True:
            value = ctypes.create_string_buffer(size)
            status = device._lib.dll.flXVRParamGet(device._live(operation), key, value, size)
            if status != XVR_ERR_VALUE_TOO_LONG or size >= 65536:
                _check(device, status, operation)
                return decode(value.value)
            size *= 16

    def __setitem__(self, name: str, value) -> None:
        device = self._device
        operation = "set parameter %s of %s to %r" % (name, device, value)
        key = encode(name, "a parameter name")
        text = encode(value, "a parameter value")
        with device._lock:
            _check(device, device._lib.dll.flXVRParamSet(device._live(operation), key, text), operation)

    def __delitem__(self, name: str) -> None:
        raise TypeError("device parameters cannot be deleted")

    def __iter__(self) -> Iterator[str]:
        return iter(READABLE.get(self._device.driver.strip().upper(), ()))

    def __len__(self) -> int:
        return len(READABLE.get(self._device.driver.strip().upper(), ()))

    def __repr__(self) -> str:
        return "<parameters of %s>" % self._device


def _check(device: _Owner, status: int, operation: str) -> None:
    try:
        device._lib.check(status, operation)
    except Error as e:
        if e.status == XVR_ERR_UNKNOWN_PARAM:
            raise UnknownParameter(e.status, e.text, e.operation) from None
        raise
