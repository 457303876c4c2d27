"""Every parameter of every driver: Generated from resources/parameters.txt by cmake/GenerateTables.cmake; do not edit."""
from typing import NamedTuple, Tuple


class Parameter(NamedTuple):
    name: str
    drivers: Tuple[str, ...]
    access: Tuple[str, ...]  # "get", "set"; "wait": a get that waits for an event
    rule: str                # what a set takes: "ms MIN", "number MIN MAX", "words ...", "delimiter", "any", "-"
    values: str              # for people
    default: str             # after the open, where there is one


DRIVERS = ("COM", "TCP/IP", "UDP", "VXI-11", "HiSLIP", "KX GPIB", "QUV GPIB", )

PARAMETERS = (
    Parameter("BAUDRATE", ("COM", ), ("get", "set",), "number 1 2147483647",
              "bits per second, any whole number the port takes",
              "9600"),
    Parameter("DATABITS", ("COM", ), ("get", "set",), "number 6 8",
              "6, 7 or 8 (4 and 5 are taken but run as 8)",
              "8"),
    Parameter("PARITY", ("COM", ), ("get", "set",), "words NONE ODD EVEN MARK SPACE",
              "NONE, ODD, EVEN, MARK, SPACE",
              "NONE"),
    Parameter("STOPBITS", ("COM", ), ("get", "set",), "number 1 2",
              "1 or 2",
              "1"),
    Parameter("HANDSHAKE", ("COM", ), ("get", "set",), "words NONE XON/XOFF RTS/CTS",
              "NONE, XON/XOFF, RTS/CTS",
              "NONE"),
    Parameter("TIMEOUT", ("COM", ), ("get", "set",), "ms 1",
              "milliseconds: the wait for each next byte (0 means 1000)",
              "1000"),
    Parameter("TIMEOUT", ("TCP/IP", "UDP", "VXI-11", "HiSLIP", ), ("get", "set",), "ms 1",
              "milliseconds: the wait for a read or write (0 means 1000)",
              "1000"),
    Parameter("TIMEOUT", ("KX GPIB", "QUV GPIB", ), ("set",), "ms 1",
              "milliseconds: the wait for a read or write (0 means 1000)",
              "1000"),
    Parameter("DELIMITER", ("COM", "KX GPIB", "QUV GPIB", ), ("get", "set",), "delimiter",
              "bytes that end a message: printable characters as themselves, others as \\XX with two hex digits (\\0D\\0A); at most 100 bytes; empty: none",
              "\\0D"),
    Parameter("DELIMITER", ("TCP/IP", "UDP", "VXI-11", "HiSLIP", ), ("get", "set",), "delimiter",
              "bytes that end a message: printable characters as themselves, others as \\XX with two hex digits (\\0D\\0A); at most 100 bytes; empty: none",
              "\\0A"),
    Parameter("BUFFER", ("TCP/IP", "UDP", ), ("get",), "-",
              "bytes received and not yet read",
              ""),
    Parameter("LOCK_TIMEOUT", ("VXI-11", "HiSLIP", ), ("get", "set",), "ms 0",
              "milliseconds an operation waits for a lock that another client holds",
              "0"),
    Parameter("MAXRECV", ("VXI-11", "HiSLIP", ), ("get",), "-",
              "the largest message the server takes, in bytes (VXI-11 maxRecvSize, HiSLIP MaximumMessageSize)",
              ""),
    Parameter("MODE", ("HiSLIP", ), ("get", "set",), "words SYNCHRONIZED OVERLAPPED",
              "SYNCHRONIZED or OVERLAPPED; a set switches through a device clear",
              "SYNCHRONIZED"),
    Parameter("CLEAR", ("TCP/IP", "UDP", "COM", "VXI-11", "HiSLIP", ), ("set",), "any",
              "any value: clears the device (TCP/IP, UDP, COM: discards what is buffered)",
              ""),
    Parameter("TRIGGER", ("KX GPIB", "QUV GPIB", "VXI-11", "HiSLIP", ), ("set",), "any",
              "any value: triggers the device",
              ""),
    Parameter("STB", ("VXI-11", "HiSLIP", ), ("get",), "-",
              "the status byte, 0 to 255",
              ""),
    Parameter("LOCK", ("VXI-11", ), ("get", "set",), "words EXCLUSIVE NONE",
              "EXCLUSIVE or NONE; a get tells what this device holds",
              "NONE"),
    Parameter("LOCK", ("HiSLIP", ), ("get", "set",), "words EXCLUSIVE SHARED:<key> NONE",
              "EXCLUSIVE, SHARED:<key> or NONE; a get tells what this device holds",
              "NONE"),
    Parameter("SRQ", ("VXI-11", "HiSLIP", ), ("wait", "set",), "words ENABLE DISABLE",
              "set: ENABLE or DISABLE delivery of service requests; get: waits up to TIMEOUT for one and answers the status byte",
              ""),
    Parameter("REMOTE", ("VXI-11", "HiSLIP", ), ("set",), "words REMOTE LOCAL LOCKOUT",
              "REMOTE, LOCAL or LOCKOUT (VXI-11 refuses LOCKOUT)",
              ""),
)
