"""Finding and loading the library, and the exact prototypes of its exports.

ctypes converts every argument by the declared type, so a wrong call raises
``ctypes.ArgumentError`` in Python instead of handing the library a bad
pointer.
"""
import ctypes
import os
import sys
import threading
from ctypes import POINTER, c_char, c_char_p, c_int32, c_uint32, c_void_p
from typing import Iterator, List, Optional, Tuple

from .errors import Error, LibraryNotFound, Timeout
from .status import XVR_ERR_TRANSFER, status_meaning

INTERFACE_VERSION = 100
WINDOWS = sys.platform == "win32"
LIBRARY_FILE = "QUVXVR.DLL" if WINDOWS else "libquvxvr.so.1"
# Strings cross the interface in the ANSI code page on Windows and as UTF-8
# on Linux, where bytes that are not UTF-8 pass through unchanged.
ENCODING = "mbcs" if WINDOWS else "utf-8"
ERRORS = "replace" if WINDOWS else "surrogateescape"

_BYTES_OUT = POINTER(c_char)
_U32_OUT = POINTER(c_uint32)
PROTOTYPES = {
    "flXVRInit": [c_void_p, _U32_OUT, c_int32, c_int32],
    "flXVRDeInit": [c_uint32],
    "flXVROpen": [c_uint32, _U32_OUT, c_char_p, c_char_p],
    "flXVROpenWithTimeout": [c_uint32, _U32_OUT, c_char_p, c_char_p, c_int32],
    "flXVRClose": [c_uint32],
    "flXVRRead": [c_uint32, _BYTES_OUT, POINTER(c_int32), c_uint32],
    "flXVRWrite": [c_uint32, c_char_p, POINTER(c_int32), c_uint32],
    "flXVRParamGet": [c_uint32, c_char_p, _BYTES_OUT, c_int32],
    "flXVRParamSet": [c_uint32, c_char_p, c_char_p],
    "flXVRErrorTextGet": [c_uint32, _BYTES_OUT, c_int32],
    "flXVRDriverCountGet": [c_uint32, _U32_OUT],
    "flXVRDriverNameGet": [c_uint32, c_uint32, _BYTES_OUT, c_uint32],
    "flXVRDriverParamGet": [c_uint32, c_char_p, _BYTES_OUT, c_uint32, _U32_OUT, _U32_OUT, _U32_OUT],
    "flXVREnumGet": [c_uint32, c_char_p, c_int32, _BYTES_OUT, c_uint32],
    "flXVRDeviceConfig": [],
    "flXVRParamSave": [],
    "flXVRParamLoad": [],
}


def encode(text, what: str) -> bytes:
    """A host string as the library takes it; a NUL inside would cut it short."""
    data = text if isinstance(text, bytes) else str(text).encode(ENCODING, ERRORS)
    if b"\0" in data:
        raise ValueError("%s must not contain a NUL character" % what)
    return data


def decode(data: bytes) -> str:
    return data.decode(ENCODING, ERRORS)


def _candidates() -> Iterator[Tuple[str, str]]:
    """(where, path) pairs in the order they are tried."""
    chosen = os.environ.get("QUVXVR_LIBRARY")
    if chosen:
        # A library named explicitly is the only one tried: a silent
        # fallback would run a program against another build.
        yield "QUVXVR_LIBRARY", chosen
        return
    here = os.path.dirname(os.path.abspath(__file__))
    try:
        from ._installed import LIBRARY_RELATIVE_PATH
    except ImportError:
        pass
    else:
        yield "installed beside the package", os.path.normpath(os.path.join(here, LIBRARY_RELATIVE_PATH))
    yield "in the package directory", os.path.join(here, LIBRARY_FILE)
    yield "the system's library search", LIBRARY_FILE


def _load() -> Tuple[ctypes.CDLL, str]:
    loader = ctypes.WinDLL if WINDOWS else ctypes.CDLL  # type: ignore[attr-defined]
    tried: List[str] = []
    for where, path in _candidates():
        if os.sep in path and not os.path.exists(path):
            tried.append("%s: %s (no such file)" % (where, path))
            continue
        try:
            return loader(path), path
        except OSError as e:
            tried.append("%s: %s (%s)" % (where, path, e))
    raise LibraryNotFound("it is in none of the places tried:\n  " + "\n  ".join(tried))


def declare(dll) -> None:
    for name, argtypes in PROTOTYPES.items():
        function = getattr(dll, name)
        function.argtypes = argtypes
        function.restype = c_int32


class Library:
    """The loaded library, initialised once per process on first use.

    The package never calls flXVRDeInit: the last one would destroy devices
    that other parts of the program still hold, and it would start the call
    log afresh at the next use.
    """

    def __init__(self, dll, path: str) -> None:
        declare(dll)
        self.dll = dll
        self.path = path
        self._module: Optional[int] = None
        self._init_lock = threading.Lock()

    def module(self) -> int:
        """The module handle, calling flXVRInit the first time."""
        if self._module is None:
            with self._init_lock:
                if self._module is None:
                    handle = c_uint32()
                    status = self.dll.flXVRInit(None, ctypes.byref(handle), INTERFACE_VERSION,
                                                INTERFACE_VERSION)
                    self.check(status, "initialising the library")
                    self._module = handle.value
        return self._module

    def error_text(self) -> str:
        buffer = ctypes.create_string_buffer(4096)
        self.dll.flXVRErrorTextGet(0, buffer, len(buffer))
        return buffer.value.decode(ENCODING, "replace")

    def check(self, status: int, operation: str, data: bytes = b"", kind: str = "") -> int:
        """The status when it is a success; else the exception for it, with the
        library's text fetched on this thread right after the failing call.
        kind ("open", "close") tells statuses of two meanings apart."""
        if status >= 0:
            return status
        text = self.error_text()
        if status == XVR_ERR_TRANSFER and not text:
            raise Timeout(operation, data)
        raise Error(status, text, operation, status_meaning(status, kind))


_library: Optional[Library] = None
_load_lock = threading.Lock()


def library() -> Library:
    """The process's library, loaded on first use."""
    global _library
    if _library is None:
        with _load_lock:
            if _library is None:
                dll, path = _load()
                _library = Library(dll, path)
    return _library
