"""The driver catalogue: which drivers exist and what their addresses are."""
import ctypes
from ctypes import c_uint32
from typing import List, NamedTuple, Tuple

from ._library import decode, library
from .status import XVR_ERR_ENUM_INDEX

PARAM_LISTED = 2  # the open parameter's values are listed by flXVREnumGet


class Driver(NamedTuple):
    name: str            # "COM", "TCP/IP", ...
    param_name: str      # what the address is called: "COM Port", "IP Address", ...
    param_type: int      # 1 free text, 2 one of values
    param1: int
    param2: int
    values: Tuple[str, ...]  # the addresses on offer when param_type is 2


def drivers() -> List[Driver]:
    """The drivers of the library's catalogue, with their address values."""
    lib = library()
    dll, module = lib.dll, lib.module()
    count = c_uint32()
    lib.check(dll.flXVRDriverCountGet(module, ctypes.byref(count)), "count the drivers")
    text = ctypes.create_string_buffer(256)
    result = []
    for index in range(count.value):
        lib.check(dll.flXVRDriverNameGet(module, index, text, len(text)), "name driver %d" % index)
        name = text.value
        kind, param1, param2 = c_uint32(), c_uint32(), c_uint32()
        lib.check(dll.flXVRDriverParamGet(module, name, text, len(text), ctypes.byref(kind),
                                          ctypes.byref(param1), ctypes.byref(param2)),
                  "describe driver %s" % decode(name))
        param_name = decode(text.value)
        values: List[str] = []
        if kind.value == PARAM_LISTED:
            # The list ends where the library says the index is out of range
            # (param1 is not the count: the GPIB list has 31 entries for 30).
            while len(values) <= 0xFFFF:
                status = dll.flXVREnumGet(module, name, len(values), text, len(text))
                if status == XVR_ERR_ENUM_INDEX:
                    break
                lib.check(status, "list the addresses of driver %s" % decode(name))
                values.append(decode(text.value))
        result.append(Driver(decode(name), param_name, kind.value, param1.value, param2.value, tuple(values)))
    return result
