"""A PyVISA backend over the QUVXVR library.

    import pyvisa
    rm = pyvisa.ResourceManager("@xvr")
    inst = rm.open_resource("TCPIP::127.0.0.1::5025::SOCKET", read_termination="\\n")
    print(inst.query("*IDN?"))

TCPIP[n]::host::port::SOCKET opens "TCP/IP" host:port; ASRL<n or path or
name>::INSTR opens "COM" (COMn, a device path, or a port name of [COM] in
XVR.XVR); GPIB[n]::primary[::secondary]::INSTR opens "KX GPIB" "Dev p[,s]"
(secondary 0-30 as 96-126 on the bus).  Other resources are not found.
"""
from .highlevel import XvrVisaLibrary, list_serial_resources

WRAPPER_CLASS = XvrVisaLibrary

__all__ = ["WRAPPER_CLASS", "XvrVisaLibrary", "list_serial_resources"]
