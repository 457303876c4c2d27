"""The @xvr PyVISA backend: resource names, attributes, errors, and one
script that gives the same results over @py (pyvisa-py) and @xvr."""
import time

import pytest

pyvisa = pytest.importorskip("pyvisa")
from pyvisa import constants  # noqa: E402
from pyvisa.constants import StatusCode  # noqa: E402
from pyvisa.errors import VisaIOError  # noqa: E402
from pyvisa_xvr.resource_names import Unsupported, target  # noqa: E402


@pytest.fixture
def rm(sim):
    manager = pyvisa.ResourceManager("@xvr")
    yield manager
    manager.close()


def test_resource_names_map_onto_drivers():
    cases = {
        "TCPIP::127.0.0.1::5025::SOCKET": ("TCP/IP", "127.0.0.1:5025"),
        "TCPIP1::scope.lab::0080::SOCKET": ("TCP/IP", "scope.lab:80"),
        "ASRL3::INSTR": ("COM", "COM3"),
        "ASRL/dev/ttyUSB0::INSTR": ("COM", "/dev/ttyUSB0"),
        "ASRLCOM7::INSTR": ("COM", "COM7"),
        "GPIB0::5::INSTR": ("KX GPIB", "Dev 5"),
        "GPIB::1::0::INSTR": ("KX GPIB", "Dev 1"),
        "GPIB::1::1::INSTR": ("KX GPIB", "Dev 1,97"),
        "GPIB0::30::30::INSTR": ("KX GPIB", "Dev 30,126"),
    }
    for name, expected in cases.items():
        assert target(name)[4:6] == expected, name
    for name in ("GPIB0::31::INSTR", "GPIB0::5::31::INSTR", "TCPIP::h::0::SOCKET",
                 "TCPIP::h::65536::SOCKET", "NOT A RESOURCE"):
        with pytest.raises(pyvisa.rname.InvalidResourceName):
            target(name)
    for name in ("USB0::1::2::3::INSTR", "TCPIP::10.0.0.1::inst0::INSTR"):
        with pytest.raises(Unsupported):
            target(name)


def test_unknown_and_unserved_resources_fail_the_pyvisa_way(rm):
    for name, code in (("USB0::1::2::3::INSTR", StatusCode.error_resource_not_found),
                       ("GPIB0::40::INSTR", StatusCode.error_invalid_resource_name),
                       ("TCPIP::127.0.0.1::1::SOCKET", StatusCode.error_resource_not_found)):
        with pytest.raises(VisaIOError) as caught:
            rm.open_resource(name)
        assert caught.value.error_code == code, name


def test_list_resources_offers_the_com_mappings(rm):
    assert "ASRLCOM7::INSTR" in rm.list_resources()


def test_timeouts_are_per_session_although_the_connection_is_shared(rm, sim):
    name = "TCPIP::127.0.0.1::%d::SOCKET" % sim.tcp_port
    patient = rm.open_resource(name, read_termination="\n", timeout=5000)
    hasty = rm.open_resource(name, read_termination="\n", timeout=200)
    assert patient.query("*IDN?").startswith("XVR-SIM")
    start = time.monotonic()
    with pytest.raises(VisaIOError) as caught:
        hasty.read()
    assert caught.value.error_code == StatusCode.error_timeout
    assert time.monotonic() - start < 2
    assert patient.timeout == 5000 and hasty.timeout == 200
    hasty.timeout = 0          # immediate: the shortest wait, not the library's default
    start = time.monotonic()
    with pytest.raises(VisaIOError):
        hasty.read()
    assert time.monotonic() - start < 0.5
    patient.close()
    assert hasty.query("*IDN?").startswith("XVR-SIM")
    hasty.close()


def test_serial_attributes_reach_the_port(rm, sim):
    port = rm.open_resource("ASRLCOM7::INSTR", read_termination="\r", write_termination="\r")
    assert (port.baud_rate, port.data_bits) == (9600, 8)
    port.baud_rate = 115200
    port.stop_bits = constants.StopBits.two
    port.flow_control = constants.ControlFlow.rts_cts
    assert (port.baud_rate, port.stop_bits, port.flow_control) == (
        115200, constants.StopBits.two, constants.ControlFlow.rts_cts)
    port.flow_control = constants.ControlFlow.none
    with pytest.raises(VisaIOError) as caught:
        port.stop_bits = constants.StopBits.one_and_a_half
    assert caught.value.error_code == StatusCode.error_nonsupported_attribute_state
    assert port.query("*IDN?").startswith("XVR-SIM")
    port.close()


def test_gpib_addresses_and_trigger(rm, sim):
    plain = rm.open_resource("GPIB0::9::INSTR", read_termination="\n", write_termination="\n")
    assert plain.query("*IDN?") == "XVR-SIMBUS,DEV9,0,1.0"
    plain.assert_trigger()
    assert plain.query("TRIGGERS?") == "1"
    secondary = rm.open_resource("GPIB0::9::2::INSTR", read_termination="\n", write_termination="\n")
    assert secondary.query("*IDN?") == "XVR-SIMBUS,DEV9,98,1.0"
    assert (secondary.primary_address, secondary.secondary_address) == (9, 2)
    # The echoing instrument answers a block: PyVISA's block parser on top.
    assert secondary.query_binary_values("#14AB?C", datatype="B") == [65, 66, 63, 67]
    plain.close()
    secondary.close()


def run_script(rm, sim, instrument):
    """The same calls over either backend; returns what they gave."""
    seen = []
    tcp = rm.open_resource("TCPIP::127.0.0.1::%d::SOCKET" % sim.tcp_port,
                           read_termination="\n", write_termination="\n", timeout=2000)
    seen.append(tcp.query("*IDN?"))
    seen.append(tcp.query_ascii_values("MEAS:VOLT?"))
    tcp.write("DATA? 50000")
    seen.append(len(tcp.read()))
    tcp.write("DATA? 10")
    seen.append(tcp.read_bytes(4))
    seen.append(tcp.read_raw())
    tcp.timeout = 200
    try:
        tcp.read()
    except VisaIOError as e:
        seen.append(e.error_code)
    tcp.close()
    block = rm.open_resource("TCPIP::127.0.0.1::%d::SOCKET" % instrument.port,
                             read_termination="\n", write_termination="\n", timeout=2000)
    seen.append(block.query_binary_values("CURV?", datatype="B"))
    seen.append(block.query_binary_values("CURV?", datatype="h", is_big_endian=True))
    block.close()
    serial = rm.open_resource("ASRL%s::INSTR" % sim.com_path, read_termination="\r",
                              write_termination="\r", timeout=2000)
    seen.append(serial.query("*IDN?"))
    serial.baud_rate = 19200
    seen.append(serial.baud_rate)
    seen.append(serial.query("MEAS:VOLT?"))
    serial.close()
    return seen


def test_one_script_gives_the_same_results_over_pyvisa_py_and_xvr(sim, scripted):
    pytest.importorskip("pyvisa_py")
    pytest.importorskip("serial")
    data = bytes([10, 0, 13, 10, 255, 10])  # line feeds inside the block
    instrument = scripted({b"CURV?": b"#16" + data + b"\n"})
    results = {}
    for backend in ("@py", "@xvr"):
        manager = pyvisa.ResourceManager(backend)
        try:
            results[backend] = run_script(manager, sim, instrument)
        finally:
            manager.close()
    assert results["@xvr"] == results["@py"]
    assert results["@xvr"][0].startswith("XVR-SIM") and results["@xvr"][6] == list(data)
