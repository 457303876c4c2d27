"""Instrument control beside read and write: device clear, trigger, status
byte, locks, service requests and remote/local.

Each method is one parameter of the library's control vocabulary (CLEAR,
TRIGGER, STB, LOCK, LOCK_TIMEOUT, SRQ, REMOTE).  A driver that cannot honour
one raises ``UnknownParameter`` (status -11): "TCP/IP", "UDP" and "COM" take
only ``clear()``, the GPIB drivers only ``trigger()``; "VXI-11" and "HiSLIP"
take them all.
"""
import contextlib
from typing import TYPE_CHECKING, Iterator, Optional

from ._library import encode

if TYPE_CHECKING:
    from .device import Device

REMOTE_MODES = ("REMOTE", "LOCAL", "LOCKOUT")


def _ms(value: int, what: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError("%s must be an int" % what)
    if not 0 <= value <= 0x7FFFFFFF:
        raise ValueError("%s must be between 0 and %d" % (what, 0x7FFFFFFF))
    return value


def _set_locked(device: "Device", name: str, value) -> None:
    """A parameter set for a caller that holds the device's lock."""
    from .params import _check
    operation = "set parameter %s of %s to %r" % (name, device, value)
    status = device._lib.dll.flXVRParamSet(device._live(operation), encode(name, "a parameter name"),
                                           encode(value, "a parameter value"))
    _check(device, status, operation)


@contextlib.contextmanager
def _for_this_call(device: "Device", name: str, value: Optional[int]) -> Iterator[None]:
    """A parameter set to value for the block and set back after it, for a
    caller that holds the device's lock; nothing when value is None."""
    if value is None:
        yield
        return
    old = device.params.get_locked(name)
    _set_locked(device, name, _ms(value, name))
    try:
        yield
    finally:
        _set_locked(device, name, old)


class Control:
    """Mixed into ``Device``; see the module's description."""

    def clear(self: "Device") -> None:
        """Device clear: the instrument drops a pending answer (VXI-11,
        HiSLIP); on sockets and serial ports what waits unread is dropped."""
        self.params["CLEAR"] = "1"

    def trigger(self: "Device") -> None:
        """A device trigger (GPIB group execute trigger, VXI-11 device_trigger,
        HiSLIP Trigger)."""
        self.params["TRIGGER"] = "1"

    def read_stb(self: "Device") -> int:
        """The IEEE 488.2 status byte, 0-255, read beside the messages."""
        return int(self.params["STB"])

    def lock(self: "Device", key: Optional[str] = None, *, timeout_ms: Optional[int] = None) -> None:
        """An exclusive lock, or with key a shared lock of that key (HiSLIP).
        The request waits for a lock another client holds as long as
        LOCK_TIMEOUT says, or timeout_ms for this request only; then
        ``Locked``."""
        if key is not None and (not isinstance(key, str) or not key):
            raise ValueError("a shared lock needs a non-empty key")
        if timeout_ms is not None:
            _ms(timeout_ms, "timeout_ms")
        with self._lock, _for_this_call(self, "LOCK_TIMEOUT", timeout_ms):
            _set_locked(self, "LOCK", "EXCLUSIVE" if key is None else "SHARED:" + key)

    def unlock(self: "Device") -> None:
        """Gives up the lock this open's record holds (none held: no error)."""
        self.params["LOCK"] = "NONE"

    def lock_state(self: "Device") -> str:
        """"EXCLUSIVE", "SHARED:<key>" or "NONE": what this record holds."""
        return self.params["LOCK"]

    @contextlib.contextmanager
    def locked(self: "Device", key: Optional[str] = None, *,
               timeout_ms: Optional[int] = None) -> Iterator["Device"]:
        """``with dev.locked(): ...`` holds the lock for the block."""
        self.lock(key, timeout_ms=timeout_ms)
        try:
            yield self
        finally:
            if not self.closed:
                self.unlock()

    def enable_srq(self: "Device") -> None:
        """Starts the delivery of service requests; one that arrives while
        nobody waits is kept for the next ``wait_srq``."""
        self.params["SRQ"] = "ENABLE"

    def disable_srq(self: "Device") -> None:
        """Stops the delivery and drops a kept request."""
        self.params["SRQ"] = "DISABLE"

    def wait_srq(self: "Device", timeout_ms: Optional[int] = None) -> int:
        """Waits for a service request and returns the status byte it came
        with.  The wait is the device's TIMEOUT, or timeout_ms for this call
        only (0 takes a kept request or waits 1 ms); when it runs out,
        ``Timeout``."""
        if timeout_ms is not None:
            timeout_ms = max(1, _ms(timeout_ms, "timeout_ms"))  # TIMEOUT 0 would mean 1000 ms
        with self._lock, _for_this_call(self, "TIMEOUT", timeout_ms):
            return int(self.params.get_locked("SRQ"))

    def control_ren(self: "Device", mode: str) -> None:
        """"REMOTE", "LOCAL" or "LOCKOUT" (local lock-out; VXI-11 refuses it)."""
        word = str(mode).strip().upper()
        if word not in REMOTE_MODES:
            raise ValueError("the mode is one of %s" % ", ".join(REMOTE_MODES))
        self.params["REMOTE"] = word

    def remote(self: "Device") -> None:
        self.control_ren("REMOTE")

    def local(self: "Device") -> None:
        self.control_ren("LOCAL")

    def lockout(self: "Device") -> None:
        self.control_ren("LOCKOUT")


def _lan_address(host: str, name: Optional[str], port: Optional[int]) -> str:
    if not isinstance(host, str) or not host.strip():
        raise ValueError("a host is needed")
    address = host if name is None else "%s:%s" % (host, name)
    if port is not None:
        if isinstance(port, bool) or not isinstance(port, int) or not 1 <= port <= 65535:
            raise ValueError("the port is a number from 1 to 65535")
        address += ",%d" % port
    return address


def open_vxi11(host: str, device: Optional[str] = None, timeout_ms: Optional[int] = None, **kwargs) -> "Device":
    """An instrument over VXI-11: ``open_vxi11("10.0.0.5", "inst0")``
    (the device name defaults to inst0 in the library)."""
    from .device import open as open_device
    return open_device("VXI-11", _lan_address(host, device, None), timeout_ms, **kwargs)


def open_hislip(host: str, subaddress: Optional[str] = None, port: Optional[int] = None,
                timeout_ms: Optional[int] = None, **kwargs) -> "Device":
    """An instrument over HiSLIP: ``open_hislip("10.0.0.5", "hislip0")``,
    with port for a server elsewhere than 4880."""
    from .device import open as open_device
    if port is not None and subaddress is None:
        subaddress = "hislip0"
    return open_device("HiSLIP", _lan_address(host, subaddress, port), timeout_ms, **kwargs)
