#!/usr/bin/env python3
"""Ask one instrument who it is, through the library and ctypes.

    identify.py [DRIVER [ADDRESS]]      default: TCP/IP 127.0.0.1:5025

The library is found by the name in XVR_LIBRARY, else by its usual name on
the loader's search path (libquvxvr.so.1, or QUVXVR.DLL on Windows).
"""
import ctypes
import os
import sys

if sys.platform == "win32":
    lib = ctypes.WinDLL(os.environ.get("XVR_LIBRARY", "QUVXVR.DLL"))
else:
    lib = ctypes.CDLL(os.environ.get("XVR_LIBRARY", "libquvxvr.so.1"))

# Texts are in the process's ANSI code page on Windows, UTF-8 elsewhere.
TEXT_ENCODING = "mbcs" if sys.platform == "win32" else "utf-8"
u32, i32 = ctypes.c_uint32, ctypes.c_int32
P = ctypes.POINTER
lib.flXVRInit.argtypes = [ctypes.c_void_p, P(u32), i32, i32]
lib.flXVRDeInit.argtypes = [u32]
lib.flXVROpenWithTimeout.argtypes = [u32, P(u32), ctypes.c_char_p, ctypes.c_char_p, i32]
lib.flXVRClose.argtypes = [u32]
lib.flXVRWrite.argtypes = [u32, ctypes.c_char_p, P(i32), u32]
lib.flXVRRead.argtypes = [u32, ctypes.c_char_p, P(i32), u32]
lib.flXVRErrorTextGet.argtypes = [u32, ctypes.c_char_p, i32]
for f in (lib.flXVRInit, lib.flXVRDeInit, lib.flXVROpenWithTimeout, lib.flXVRClose,
          lib.flXVRWrite, lib.flXVRRead, lib.flXVRErrorTextGet):
    f.restype = i32

WRITE_APPEND_DELIMITER = 2
READ_STOP_AT_DELIMITER = 1


class XvrError(Exception):
    pass


def check(status, what):
    if status < 0:
        text = ctypes.create_string_buffer(512)
        lib.flXVRErrorTextGet(0, text, len(text))
        raise XvrError("%s failed with status %d: %s" % (what, status, text.value.decode(TEXT_ENCODING, "replace")))
    return status


def query(device, command):
    data = command.encode()
    length = i32(len(data))
    check(lib.flXVRWrite(device, data, ctypes.byref(length), WRITE_APPEND_DELIMITER), "write")
    buffer = ctypes.create_string_buffer(4096)
    length = i32(len(buffer))
    check(lib.flXVRRead(device, buffer, ctypes.byref(length), READ_STOP_AT_DELIMITER), "read")
    return buffer.raw[:length.value].decode("utf-8", "replace")


def main():
    driver = sys.argv[1] if len(sys.argv) > 1 else "TCP/IP"
    address = sys.argv[2] if len(sys.argv) > 2 else "127.0.0.1:5025"
    module, device = u32(), u32()
    check(lib.flXVRInit(None, ctypes.byref(module), 100, 100), "init")
    try:
        check(lib.flXVROpenWithTimeout(module, ctypes.byref(device), driver.encode(),
                                       address.encode(), 2000), "open")
        try:
            print(query(device, "*IDN?"))
        finally:
            lib.flXVRClose(device)
    except XvrError as e:
        print(e, file=sys.stderr)
        return 1
    finally:
        lib.flXVRDeInit(module)
    return 0


if __name__ == "__main__":
    sys.exit(main())
