"""An open device: writes, reads, queries and IEEE 488.2 blocks."""
import ctypes
import threading
from ctypes import c_char, c_int32, c_uint32
from typing import Optional, Tuple, Union

from ._library import Library, encode, library
from .control import Control
from .errors import BlockFormatError, Error
from .params import Params, decode_delimiter
from .status import XVR_ERR_BAD_HANDLE, XVR_OK, XVR_READ_BUFFER_FULL, XVR_READ_DELIMITER

READ_STOP_AT_DELIMITER = 1
READ_KEEP_DELIMITER = 2
READ_ZERO_TERMINATE = 4
WRITE_APPEND_DELIMITER = 2

_INT32_MAX = 0x7FFFFFFF
# Most answers fit the first buffer; the library clears the whole buffer on
# every network read, so it stays small and longer messages grow it.
_FIRST_CHUNK = 4096
_LAST_CHUNK = 1 << 20
# Largest block query_block accepts unless told otherwise: an instrument's
# header cannot make the program allocate without bound.
DEFAULT_BLOCK_LIMIT = 256 << 20

Data = Union[str, bytes, bytearray, memoryview]


def _count(value: int, what: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError("%s must be an int" % what)
    if not 0 <= value <= _INT32_MAX:
        raise ValueError("%s must be between 0 and %d" % (what, _INT32_MAX))
    return value


# Transfer flags as the exports take them (see Device.__init__).
_FLAG_RANGE = range(8)
_FLAG_ARGS = tuple(c_uint32(flags) for flags in _FLAG_RANGE)


def _ends_in_delimiter_start(data: bytearray, delimiter: bytes) -> bool:
    """True when data ends with a proper beginning of the delimiter."""
    return any(data.endswith(delimiter[:j]) for j in range(1, len(delimiter)))


class Device(Control):
    """One open of a device.  Use ``open()`` to get one; close it with
    ``close()`` or a ``with`` block.

    Calls on one Device run one at a time (a query's write and read stay
    together); different devices run in parallel.  Instrument control
    (``clear``, ``trigger``, ``read_stb``, ``lock``, ``wait_srq``, ...) comes
    from ``quvxvr.control.Control``.  Text is sent and read in
    ``encoding`` (UTF-8 unless changed); bytes are sent as they are.
    """

    encoding = "utf-8"

    def __init__(self, lib: Library, handle: int, driver: str, address: str) -> None:
        self._lib = lib
        self._handle: Optional[int] = handle
        self.driver = driver
        self.address = address
        self.params = Params(self)
        self._lock = threading.Lock()
        self._storage = bytearray(_FIRST_CHUNK)
        self._buffer = (c_char * _FIRST_CHUNK).from_buffer(self._storage)
        self._view = memoryview(self._storage)
        self._length = c_int32()
        self._length_ptr = ctypes.pointer(self._length)
        # Reads and writes call the exports without declared types, so every
        # argument is built here with its exact type.
        self._handle_arg = c_uint32(handle)
        self._read = lib.read_untyped
        self._write = lib.write_untyped
        self._op_read = "read from %s" % self
        self._op_write = "write to %s" % self

    def __repr__(self) -> str:
        return "<quvxvr.Device %s%s>" % (self, " closed" if self._handle is None else "")

    def __str__(self) -> str:
        return '%s "%s"' % (self.driver, self.address)

    @property
    def handle(self) -> int:
        """The library's device handle."""
        handle = self._handle
        return self._live("handle of %s" % self) if handle is None else handle

    @property
    def closed(self) -> bool:
        return self._handle is None

    def _live(self, operation: str) -> int:
        handle = self._handle
        if handle is None:
            raise Error(XVR_ERR_BAD_HANDLE, "", operation, "the device is closed")
        return handle

    # --- closing -------------------------------------------------------------
    def close(self) -> int:
        """Close this open: 3 when it released the device, 0 while other opens
        of the same device hold it.  A second close raises ``Error``."""
        operation = "close %s" % self
        with self._lock:
            handle = self._live(operation)
            self._handle = None
            return self._lib.check(self._lib.dll.flXVRClose(handle), operation, kind="close")

    def __enter__(self) -> "Device":
        return self

    def __exit__(self, *exc) -> None:
        if self._handle is not None:
            self.close()

    def __del__(self) -> None:
        # A device dropped without close() gives its open back.
        try:
            if self._handle is not None:
                self.close()
        except Exception:
            pass

    # --- single library calls ------------------------------------------------
    def _write_raw(self, data: bytes, flags: int) -> int:
        """One flXVRWrite of data, which must be bytes."""
        length = self._length
        if len(data) > _INT32_MAX:
            raise ValueError("more than %d bytes cannot be written at once" % _INT32_MAX)
        length.value = len(data)
        if self._handle is None:
            self._live(self._op_write)
        flag = _FLAG_ARGS[flags] if flags in _FLAG_RANGE else c_uint32(flags)
        status = self._write(self._handle_arg, data, self._length_ptr, flag)
        if status < 0:
            self._lib.check(status, self._op_write)
        return length.value

    def _scratch(self, capacity: int):
        """A buffer of at least capacity bytes and a view of it.  The
        device's own grows up to the largest chunk and is reused."""
        if len(self._storage) < capacity <= _LAST_CHUNK:
            self._storage = bytearray(capacity)
            self._buffer = (c_char * capacity).from_buffer(self._storage)
            self._view = memoryview(self._storage)
        if capacity <= len(self._storage):
            return self._buffer, self._view
        storage = bytearray(capacity)
        return (c_char * capacity).from_buffer(storage), memoryview(storage)

    def _read_raw(self, buffer, capacity: int, flags: int, so_far: bytes = b"") -> Tuple[int, int]:
        """One flXVRRead into buffer: (bytes delivered, status).  A time-out
        raises ``Timeout`` whose data is so_far and what this read delivered."""
        length = self._length
        length.value = capacity
        if self._handle is None:
            self._live(self._op_read)
        flag = _FLAG_ARGS[flags] if flags in _FLAG_RANGE else c_uint32(flags)
        status = self._read(self._handle_arg, buffer, self._length_ptr, flag)
        if status < 0:
            delivered = max(0, min(length.value, capacity))
            self._lib.check(status, self._op_read, so_far + ctypes.string_at(buffer, delivered))
        return length.value, status

    def transfer_write(self, data: bytes, flags: int = 0) -> int:
        """One flXVRWrite with the library's transfer flags; the count it reports."""
        with self._lock:
            return self._write_raw(bytes(data), flags)

    def transfer_read(self, capacity: int, flags: int = 0) -> Tuple[bytes, int]:
        """One flXVRRead of at most capacity bytes with the library's transfer
        flags: (data, status), the status 0, 1 or 2."""
        if capacity.__class__ is not int or not 0 <= capacity <= _INT32_MAX:
            _count(capacity, "the capacity")
        with self._lock:
            if capacity <= len(self._storage):
                buffer, view = self._buffer, self._view
            else:
                buffer, view = self._scratch(capacity)
            n, status = self._read_raw(buffer, capacity, flags)
            return view[:n].tobytes(), status

    # --- messages --------------------------------------------------------------
    def _encode(self, data: Data) -> bytes:
        return data.encode(self.encoding) if isinstance(data, str) else bytes(data)

    def write(self, data: Data, *, end: bool = True) -> int:
        """Send data, followed by the device's delimiter unless end is False.
        Returns the count the library reports."""
        with self._lock:
            return self._write_raw(self._encode(data), WRITE_APPEND_DELIMITER if end else 0)

    def _delimiter(self) -> bytes:
        return decode_delimiter(self.params.get_locked("DELIMITER"))

    def _read_message(self) -> bytes:
        n, status = self._read_raw(self._buffer, _FIRST_CHUNK, READ_STOP_AT_DELIMITER)
        if status == XVR_READ_DELIMITER:
            return self._view[:n].tobytes()
        data = bytearray(self._view[:n])
        delimiter = None
        size = _FIRST_CHUNK
        while status == XVR_READ_BUFFER_FULL:
            if delimiter is None:
                delimiter = self._delimiter()
            # A full buffer can end with the whole delimiter (the serial
            # driver then reports 1) or with its first bytes, which the next
            # read alone would not recognise: take those byte by byte.
            if delimiter and data.endswith(delimiter):
                del data[-len(delimiter):]
                return bytes(data)
            if _ends_in_delimiter_start(data, delimiter):
                n, status = self._read_raw(self._buffer, 1, 0, bytes(data))
                data += self._view[:n]
                continue
            size = min(size * 4, _LAST_CHUNK)
            chunk = bytearray(size)
            n, status = self._read_raw((c_char * size).from_buffer(chunk), size, READ_STOP_AT_DELIMITER,
                                       bytes(data))
            data += memoryview(chunk)[:n]
        if status == XVR_OK:
            raise Error(status, self._lib.error_text(), self._op_read, "the read ended before the delimiter")
        return bytes(data)

    def read_message(self) -> bytes:
        """Read up to the device's delimiter; the bytes without it."""
        with self._lock:
            return self._read_message()

    def read(self) -> str:
        """Read up to the device's delimiter; the text without it."""
        return self.read_message().decode(self.encoding, "replace")

    def _read_bytes(self, count: int) -> bytes:
        buffer, view = self._scratch(count)
        n, status = self._read_raw(buffer, count, 0)
        if n != count:
            raise Error(status, self._lib.error_text(), self._op_read,
                        "the read ended after %d of %d bytes" % (n, count))
        return view[:n].tobytes()

    def read_bytes(self, count: int) -> bytes:
        """Read exactly count bytes, delimiters included."""
        _count(count, "the count")
        with self._lock:
            return self._read_bytes(count)

    def query(self, command: Data) -> str:
        """Send a command with the delimiter and read the answer."""
        with self._lock:
            self._write_raw(self._encode(command), WRITE_APPEND_DELIMITER)
            return self._read_message().decode(self.encoding, "replace")

    # --- IEEE 488.2 blocks ---------------------------------------------------------
    def _read_block(self, limit: int) -> bytes:
        operation = "read a block from %s" % self
        head = self._read_bytes(2)
        if head[:1] != b"#" or not head[1:].isdigit():
            # Take the rest of the answer, so that the next query reads its own.
            answer = head if head.endswith(self._delimiter()) else head + self._read_message()
            raise BlockFormatError(operation, "the answer is not a block: %r" % answer[:80])
        if head[1:] == b"0":
            # Indefinite form: the data run to the end of the message.
            return self._read_message()
        digits = self._read_bytes(int(head[1:]))
        if not digits.isdigit():
            raise BlockFormatError(operation, "the block length is not a number: %r" % digits)
        count = int(digits)
        if count > limit:
            detail = "the block announces %d bytes, more than the limit of %d" % (count, limit)
            # Read past it, so that the next query reads its own answer.
            try:
                self._discard(count)
            except Error as e:
                raise BlockFormatError(operation, "%s; reading past it failed: %s" % (detail, e.detail)) from e
            raise BlockFormatError(operation, detail)
        data = self._read_bytes(count)
        rest = self._read_message()
        if rest:
            raise BlockFormatError(operation, "%d bytes follow the block before the delimiter" % len(rest))
        return data

    def _discard(self, count: int) -> None:
        """Read count bytes and the message end after them, keeping nothing."""
        while count > 0:
            size = min(count, _LAST_CHUNK)
            buffer, _ = self._scratch(size)
            n, _ = self._read_raw(buffer, size, 0)
            if n <= 0:
                break
            count -= n
        self._read_message()

    def read_block(self, limit: int = DEFAULT_BLOCK_LIMIT) -> bytes:
        """Read one IEEE 488.2 block, definite (``#<n><length><data>``) or
        indefinite (``#0<data>`` up to the delimiter), and the message end
        after it; the data.  Delimiter bytes inside a definite block are data.
        A block longer than limit bytes raises ``BlockFormatError`` once it
        has been read past."""
        _count(limit, "the limit")
        with self._lock:
            return self._read_block(limit)

    def query_block(self, command: Data, limit: int = DEFAULT_BLOCK_LIMIT) -> bytes:
        """Send a command with the delimiter and read the block it answers."""
        _count(limit, "the limit")
        with self._lock:
            self._write_raw(self._encode(command), WRITE_APPEND_DELIMITER)
            return self._read_block(limit)


def open(driver: str, address: str, timeout_ms: Optional[int] = None, *,  # noqa: A001
         connect_timeout_ms: Optional[int] = None) -> Device:
    """Open a device: ``open("TCP/IP", "127.0.0.1:5025", timeout_ms=2000)``.

    driver is "COM", "TCP/IP", "UDP", "KX GPIB", "QUV GPIB", "VXI-11" or
    "HiSLIP"; address is what the driver takes ("COM1" or a device path,
    "host:port", "Dev 5", "host:inst0", "host:hislip0").
    timeout_ms, when given, becomes the device's read time-out (TIMEOUT) and
    bounds the connect of the network drivers, unless connect_timeout_ms
    says otherwise.  Without either the connect blocks, and the time-out
    stays as it is (1000 ms for a device not open yet).
    """
    for value, what in ((timeout_ms, "timeout_ms"), (connect_timeout_ms, "connect_timeout_ms")):
        if value is not None and _count(value, what) == 0:
            raise ValueError("%s must be at least 1" % what)
    if connect_timeout_ms is None:
        connect_timeout_ms = timeout_ms
    lib = library()
    module = lib.module()
    operation = 'open %s "%s"' % (driver, address)
    name = encode(driver, "the driver name")
    where = encode(address, "the address")
    handle = c_uint32()
    if connect_timeout_ms is None:
        status = lib.dll.flXVROpen(module, ctypes.byref(handle), name, where)
    else:
        status = lib.dll.flXVROpenWithTimeout(module, ctypes.byref(handle), name, where, connect_timeout_ms)
    lib.check(status, operation, kind="open")
    device = Device(lib, handle.value, driver, address)
    if timeout_ms is not None:
        try:
            device.params["TIMEOUT"] = timeout_ms
        except BaseException:
            device.close()
            raise
    return device
