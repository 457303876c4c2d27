"""VISA resource names onto the library's drivers and addresses."""
from typing import NamedTuple, Optional

from pyvisa import constants, rname


class Unsupported(Exception):
    """A well-formed resource name of a kind the library does not serve."""


class Target(NamedTuple):
    resource_name: str        # as the user gave it
    interface_type: constants.InterfaceType
    resource_class: str
    board: str
    driver: str               # the library's driver name
    address: str              # the library's address text
    primary: Optional[int] = None    # GPIB
    secondary: Optional[int] = None  # GPIB, VISA numbering 1-30; None for none
    port: Optional[int] = None       # TCP/IP
    lan_device: Optional[str] = None  # TCPIP INSTR: inst0, gpib0,5, hislip0[,port]


# GPIB secondary addresses go over the bus as 96 + n, which is the number
# the library's address takes.  PyVISA 1.11 writes every GPIB name with a
# secondary address (GPIB0::5::INSTR becomes GPIB0::5::0::INSTR), so 0
# stands for none, as in pyvisa-py; secondary addresses 1-30 are reachable.
GPIB_SECONDARY_BASE = 96


def _address_number(text: str, what: str, resource_name: str) -> int:
    if not text.isdigit() or not 0 <= int(text) <= 30:
        raise rname.InvalidResourceName("Could not parse '%s': the %s must be 0 to 30."
                                        % (resource_name, what))
    return int(text)


def target(resource_name: str) -> Target:
    """What to open for a resource name.  Raises pyvisa's InvalidResourceName
    for a name that does not parse, Unsupported for a kind the library lacks."""
    parsed = rname.parse_resource_name(resource_name)
    kind = (parsed.interface_type, parsed.resource_class)
    if kind == ("TCPIP", "SOCKET"):
        port = parsed.port
        if not port.isdigit() or not 1 <= int(port) <= 65535:
            raise rname.InvalidResourceName("Could not parse '%s': the port must be 1 to 65535."
                                            % resource_name)
        return Target(resource_name, constants.InterfaceType.tcpip, "SOCKET", parsed.board, "TCP/IP",
                      "%s:%s" % (parsed.host_address, int(port)), port=int(port))
    if kind == ("TCPIP", "INSTR"):
        # hislipN[,port] is a HiSLIP server; any other device name (inst0,
        # gpib0,5) a VXI-11 one.  The name goes to the server as written.
        device = parsed.lan_device_name
        driver = "HiSLIP" if device.lower().startswith("hislip") else "VXI-11"
        return Target(resource_name, constants.InterfaceType.tcpip, "INSTR", parsed.board, driver,
                      "%s:%s" % (parsed.host_address, device), lan_device=device)
    if kind == ("ASRL", "INSTR"):
        board = parsed.board
        # ASRL3 is COM3; a path is used as written; any other name is a port
        # name the library looks up in [COM] of the parameter file.
        address = "COM%d" % int(board) if board.isdigit() else board
        return Target(resource_name, constants.InterfaceType.asrl, "INSTR", board, "COM", address)
    if kind == ("GPIB", "INSTR"):
        primary = _address_number(parsed.primary_address, "primary address", resource_name)
        secondary = _address_number(parsed.secondary_address, "secondary address", resource_name) or None
        address = "Dev %d" % primary
        if secondary is not None:
            address += ",%d" % (GPIB_SECONDARY_BASE + secondary)
        return Target(resource_name, constants.InterfaceType.gpib, "INSTR", parsed.board, "KX GPIB",
                      address, primary=primary, secondary=secondary)
    raise Unsupported(resource_name)
