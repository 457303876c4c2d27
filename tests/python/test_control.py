"""Instrument control (clear, trigger, status byte, locks, service requests,
remote/local) through quvxvr and the @xvr PyVISA backend.  The transports
of today's xvr-sim run always; the VXI-11 and HiSLIP ones run where xvr-sim
announces them and are skipped otherwise."""
import time

import pytest
import quvxvr

pyvisa = pytest.importorskip("pyvisa")
from pyvisa import constants  # noqa: E402
from pyvisa.constants import EventType, StatusCode  # noqa: E402
from pyvisa.errors import VisaIOError  # noqa: E402
from pyvisa_xvr.resource_names import target  # noqa: E402


def wait_until(condition, ms=2000):
    deadline = time.monotonic() + ms / 1000
    while not condition() and time.monotonic() < deadline:
        time.sleep(0.005)
    return condition()


# --- quvxvr --------------------------------------------------------------------

def test_lan_statuses_raise_their_own_exceptions():
    lib = quvxvr.library()
    for status, kind, also in ((-21, quvxvr.Locked, quvxvr.Error), (-22, quvxvr.ConnectionLost, ConnectionError),
                               (-23, quvxvr.Refused, quvxvr.Error)):
        with pytest.raises(kind) as caught:
            lib.check(status, "op")
        assert isinstance(caught.value, (quvxvr.Error, also)) and caught.value.status == status
        assert quvxvr.status_name(status) in str(caught.value)
    count = quvxvr._library.c_uint32()
    lib.dll.flXVRDriverCountGet(lib.module(), count)  # a call that succeeds empties the text
    with pytest.raises(quvxvr.Timeout):
        lib.check(-6, "op")


@pytest.mark.parametrize("transport", ["TCP/IP", "UDP", "COM"])
def test_clear_drops_a_stale_answer(sim, transport):
    address = {"TCP/IP": sim.tcp, "UDP": sim.udp, "COM": "COM7"}[transport]
    with quvxvr.open(transport, address, timeout_ms=2000) as dev:
        dev.write("*IDN?")
        if transport == "COM":
            time.sleep(0.2)  # a serial port has no count of what waits
        else:
            assert wait_until(lambda: dev.params["BUFFER"] != "0")
        dev.clear()
        if transport != "COM":
            assert dev.params["BUFFER"] == "0"
        assert dev.query("MEAS:VOLT?") == "+1.234500E+00"


def test_control_a_transport_lacks_is_refused_and_leaves_settings_alone(sim):
    with quvxvr.open("TCP/IP", sim.tcp, timeout_ms=700) as dev:
        for call in (dev.read_stb, dev.trigger, dev.lock, dev.unlock, dev.enable_srq, dev.disable_srq,
                     dev.remote, dev.local, lambda: dev.wait_srq(50), lambda: dev.lock("k", timeout_ms=10)):
            with pytest.raises(quvxvr.UnknownParameter):
                call()
        # A wait's own time-out is set back, also after a failure.
        assert dev.params["TIMEOUT"] == "700"
        with pytest.raises(ValueError):
            dev.control_ren("sideways")
        with pytest.raises(ValueError):
            dev.lock("")
    with quvxvr.open("KX GPIB", "Dev 7") as gpib:
        before = int(gpib.query("TRIGGERS?"))
        gpib.trigger()
        assert int(gpib.query("TRIGGERS?")) == before + 1
        for call in (gpib.clear, gpib.read_stb, gpib.lock, gpib.enable_srq, gpib.remote):
            with pytest.raises(quvxvr.UnknownParameter):
                call()


def test_lan_open_helpers_build_the_drivers_addresses(monkeypatch):
    opened = []
    monkeypatch.setattr(quvxvr.device, "open", lambda driver, address, *a, **k: opened.append((driver, address)))
    quvxvr.open_vxi11("10.0.0.5")
    quvxvr.open_vxi11("10.0.0.5", "gpib0,5")
    quvxvr.open_hislip("10.0.0.5")
    quvxvr.open_hislip("10.0.0.5", "hislip1")
    quvxvr.open_hislip("10.0.0.5", port=48800)
    assert opened == [("VXI-11", "10.0.0.5"), ("VXI-11", "10.0.0.5:gpib0,5"), ("HiSLIP", "10.0.0.5"),
                      ("HiSLIP", "10.0.0.5:hislip1"), ("HiSLIP", "10.0.0.5:hislip0,48800")]
    for bad in (0, 65536, "4880"):
        with pytest.raises(ValueError):
            quvxvr.open_hislip("10.0.0.5", port=bad)


def lan_address(sim, kind):
    address = {"VXI-11": sim.vxi11, "HiSLIP": sim.hislip}[kind]
    if not address:
        pytest.skip("xvr-sim serves no %s here" % kind)
    return address


@pytest.mark.parametrize("kind", ["VXI-11", "HiSLIP"])
def test_lan_status_byte_trigger_and_clear(sim, kind):
    with quvxvr.open(kind, lan_address(sim, kind), timeout_ms=2000) as dev:
        dev.write("*CLS")
        assert dev.read_stb() & 0x10 == 0
        dev.write("*IDN?")
        assert wait_until(lambda: dev.read_stb() & 0x10)  # MAV: an answer waits
        assert dev.read().startswith("XVR-SIM,")
        assert dev.read_stb() & 0x10 == 0
        before = int(dev.query("TRIG:COUNT?"))
        dev.trigger()
        assert int(dev.query("TRIG:COUNT?")) == before + 1
        dev.write("*IDN?")
        dev.clear()
        assert dev.query("*OPC?") == "1"  # the stale answer went with the clear


@pytest.mark.parametrize("kind", ["VXI-11", "HiSLIP"])
def test_lan_service_requests(sim, kind):
    with quvxvr.open(kind, lan_address(sim, kind), timeout_ms=2000) as dev:
        dev.write("*CLS;*SRE 0")
        dev.enable_srq()
        dev.write("*SRE 32;*ESE 1;*OPC")
        assert dev.wait_srq(2000) & 0x40
        with pytest.raises(quvxvr.Timeout):
            dev.wait_srq(100)
        dev.disable_srq()
        dev.write("*CLS;*SRE 0")


@pytest.mark.parametrize("kind", ["VXI-11", "HiSLIP"])
def test_lan_locks_between_two_clients(sim, kind):
    address = lan_address(sim, kind)
    # Another host text is another record, so another client of the server.
    other = address.replace("127.0.0.1", "localhost", 1)
    with quvxvr.open(kind, address, timeout_ms=1000) as first, quvxvr.open(kind, other, timeout_ms=1000) as second:
        with first.locked():
            assert first.lock_state() == "EXCLUSIVE"
            with pytest.raises(quvxvr.Locked):
                second.lock(timeout_ms=100)
        assert first.lock_state() == "NONE"
        with second.locked(timeout_ms=500):
            assert second.query("*OPC?") == "1"


def test_vxi11_simulator_keeps_a_bounded_queue_for_a_client_that_never_reads(sim):
    # 8 MB of answers asked for in one message: the simulator keeps about
    # 4 MiB of them, as a full output queue would, and drops the rest.
    with quvxvr.open("VXI-11", lan_address(sim, "VXI-11"), timeout_ms=1000) as dev:
        dev.write("\n".join(["DATA? 100000"] * 80))
        answers = 0
        with pytest.raises(quvxvr.Timeout):
            while answers < 80:
                assert len(dev.read()) == 100000
                answers += 1
        assert 40 <= answers <= 43
        dev.clear()
        assert dev.query("*OPC?") == "1"


# --- PyVISA --------------------------------------------------------------------

def test_tcpip_instr_names_choose_vxi11_or_hislip():
    cases = {
        "TCPIP::10.0.0.5::INSTR": ("VXI-11", "10.0.0.5:inst0"),
        "TCPIP0::10.0.0.5::inst1::INSTR": ("VXI-11", "10.0.0.5:inst1"),
        "TCPIP::10.0.0.5::gpib0,5::INSTR": ("VXI-11", "10.0.0.5:gpib0,5"),
        "TCPIP::10.0.0.5::hislip0::INSTR": ("HiSLIP", "10.0.0.5:hislip0"),
        "TCPIP1::10.0.0.5::HiSLIP2,4881::INSTR": ("HiSLIP", "10.0.0.5:HiSLIP2,4881"),
    }
    for name, expected in cases.items():
        assert target(name)[4:6] == expected, name
        assert target(name).lan_device == expected[1].split(":", 1)[1]


class FakeDevice:
    """What quvxvr.open hands back, with the failures a test asks for."""

    def __init__(self):
        self.handle = 0x01010001
        self.params = {"TIMEOUT": "1000", "DELIMITER": "\\0A"}
        self.calls = []
        self.fail = {}       # method name -> exception
        self.lock_held = "NONE"
        self.stb = 0x10
        self.srq_stb = 0x61

    def _call(self, name, *args):
        self.calls.append((name,) + args)
        if name in self.fail:
            raise self.fail[name]

    def close(self):
        return quvxvr.XVR_CLOSE_RELEASED

    def clear(self):
        self._call("clear")

    def trigger(self):
        self._call("trigger")

    def read_stb(self):
        self._call("read_stb")
        return self.stb

    def lock(self, key=None, timeout_ms=None):
        self._call("lock", key, timeout_ms)
        self.lock_held = "EXCLUSIVE" if key is None else "SHARED:" + key

    def unlock(self):
        self._call("unlock")
        self.lock_held = "NONE"

    def lock_state(self):
        return self.lock_held

    def enable_srq(self):
        self._call("enable_srq")

    def disable_srq(self):
        self._call("disable_srq")

    def wait_srq(self, timeout_ms=None):
        self._call("wait_srq", timeout_ms)
        return self.srq_stb

    def control_ren(self, mode):
        self._call("control_ren", mode)


def error(status):
    return quvxvr.Timeout("op") if status == -6 else quvxvr.errors.BY_STATUS.get(
        status, quvxvr.UnknownParameter if status == -11 else quvxvr.Error)(status, "", "op")


@pytest.fixture
def fake(monkeypatch):
    opened = []
    device = FakeDevice()

    def fake_open(driver, address, *args, **kwargs):
        opened.append((driver, address))
        if device.fail.get("open"):
            raise device.fail["open"]
        return device
    monkeypatch.setattr(quvxvr, "open", fake_open)
    manager = pyvisa.ResourceManager("@xvr")
    device.opened = opened
    yield manager, device
    manager.close()


def visa_code(call):
    with pytest.raises(VisaIOError) as caught:
        call()
    return caught.value.error_code


def test_pyvisa_opens_lan_resources_with_the_library_drivers(fake):
    rm, device = fake
    inst = rm.open_resource("TCPIP::127.0.0.1::INSTR")
    assert device.opened == [("VXI-11", "127.0.0.1:inst0")]
    assert (inst.get_visa_attribute(constants.ResourceAttribute.tcpip_device_name),
            inst.get_visa_attribute(constants.ResourceAttribute.tcpip_address)) == ("inst0", "127.0.0.1")
    inst.close()
    rm.open_resource("TCPIP::127.0.0.1::hislip0::INSTR").close()
    assert device.opened[-1] == ("HiSLIP", "127.0.0.1:hislip0")
    # A server that refuses, or a library without the driver: not found.
    for status in (-23, -9, -4):
        device.fail["open"] = error(status)
        assert visa_code(lambda: rm.open_resource("TCPIP::127.0.0.1::inst0::INSTR")) == \
            StatusCode.error_resource_not_found
    device.fail.clear()
    # An open with a lock takes it, and gives the device back when it cannot.
    rm.open_resource("TCPIP::127.0.0.1::INSTR", access_mode=constants.AccessModes.exclusive_lock,
                     open_timeout=300).close()
    assert ("lock", None, 300) in device.calls
    device.fail["lock"] = error(-21)
    assert visa_code(lambda: rm.open_resource("TCPIP::127.0.0.1::INSTR",
                                              access_mode=constants.AccessModes.exclusive_lock)) == \
        StatusCode.error_resource_locked


def test_pyvisa_control_maps_onto_the_vocabulary_and_statuses(fake):
    rm, device = fake
    inst = rm.open_resource("TCPIP::127.0.0.1::inst0::INSTR")
    assert inst.read_stb() == 0x10
    inst.clear()
    inst.assert_trigger()
    inst.control_ren(constants.RENLineOperation.asrt_address_llo)
    inst.control_ren(constants.RENLineOperation.deassert_gtl)
    assert [c for c in device.calls if c[0] in ("clear", "trigger", "control_ren")] == \
        [("clear",), ("trigger",), ("control_ren", "LOCKOUT"), ("control_ren", "LOCAL")]
    for method, status, code in (("read_stb", -22, StatusCode.error_connection_lost),
                                 ("clear", -21, StatusCode.error_resource_locked),
                                 ("trigger", -11, StatusCode.error_nonsupported_operation),
                                 ("read_stb", -6, StatusCode.error_timeout),
                                 ("clear", -23, StatusCode.error_system_error),
                                 ("control_ren", -18, StatusCode.error_nonsupported_mode)):
        device.fail = {method: error(status)}
        call = {"read_stb": inst.read_stb, "clear": inst.clear, "trigger": inst.assert_trigger,
                "control_ren": lambda: inst.control_ren(constants.RENLineOperation.asrt_llo)}[method]
        assert visa_code(call) == code, (method, status)
    device.fail = {}

    # Locks: the VISA time-out bounds the wait; viLock that waited in vain is a time-out.
    inst.lock_excl(timeout=250)
    assert device.calls[-1] == ("lock", None, 250)
    inst.unlock()
    assert visa_code(inst.unlock) == StatusCode.error_session_not_locked
    key = inst.lock(timeout=10, requested_key="bench")
    assert key == "bench" and device.lock_held == "SHARED:bench"
    inst.unlock()
    assert inst.lock(timeout=10)  # a key is made up when none is asked for
    inst.unlock()
    device.fail = {"lock": error(-21)}
    assert visa_code(lambda: inst.lock_excl(timeout=10)) == StatusCode.error_timeout
    device.fail = {"lock": error(-18)}
    assert visa_code(lambda: inst.lock(timeout=10)) == StatusCode.error_invalid_lock_type
    device.fail = {}
    with inst.lock_context():
        assert device.lock_held == "EXCLUSIVE"
    assert device.lock_held == "NONE"
    inst.close()


def test_pyvisa_service_requests_queue_their_status_byte(fake):
    rm, device = fake
    inst = rm.open_resource("TCPIP::127.0.0.1::inst0::INSTR")
    assert visa_code(lambda: inst.wait_on_event(EventType.service_request, 100)) == StatusCode.error_not_enabled
    inst.enable_event(EventType.service_request, constants.EventMechanism.queue)
    response = inst.wait_on_event(EventType.service_request, 300)
    assert response.event.event_type == EventType.service_request and not response.timed_out
    assert device.calls[-1] == ("wait_srq", 300)
    # The status byte that came with the request, then the instrument's again.
    assert inst.read_stb() == 0x61
    assert inst.read_stb() == 0x10
    del response
    device.fail = {"wait_srq": error(-6)}
    assert inst.wait_on_event(EventType.service_request, 50, capture_timeout=True).timed_out
    device.fail = {}
    inst.discard_events(EventType.service_request, constants.EventMechanism.queue)
    assert device.calls[-2:] == [("disable_srq",), ("enable_srq",)]
    device.fail = {"enable_srq": error(-23)}
    inst.disable_event(EventType.service_request, constants.EventMechanism.queue)
    assert visa_code(lambda: inst.enable_event(EventType.service_request, constants.EventMechanism.queue)) == \
        StatusCode.error_invalid_setup
    device.fail = {}
    inst.enable_event(EventType.service_request, constants.EventMechanism.queue)
    inst.close()  # switches the delivery off
    assert device.calls[-1] == ("disable_srq",)


def test_pyvisa_socket_clear_and_what_a_socket_lacks(sim):
    rm = pyvisa.ResourceManager("@xvr")
    inst = rm.open_resource("TCPIP::127.0.0.1::%d::SOCKET" % sim.tcp_port, read_termination="\n",
                            write_termination="\n", timeout=2000)
    inst.write("*IDN?")
    time.sleep(0.1)
    inst.clear()
    assert inst.query("MEAS:VOLT?") == "+1.234500E+00"
    assert visa_code(inst.read_stb) == StatusCode.error_nonsupported_operation
    assert visa_code(inst.lock_excl) == StatusCode.error_nonsupported_operation
    inst.close()
    rm.close()


@pytest.mark.parametrize("kind", ["VXI-11", "HiSLIP"])
def test_pyvisa_against_the_lan_servers(sim, kind):
    address = lan_address(sim, kind)
    host, _, device = address.partition(":")
    name = "TCPIP::%s::%s::INSTR" % (host, device or ("inst0" if kind == "VXI-11" else "hislip0"))
    rm = pyvisa.ResourceManager("@xvr")
    inst = rm.open_resource(name, timeout=2000, read_termination="\n", write_termination="\n")
    assert inst.query("*IDN?").startswith("XVR-SIM,")
    with inst.lock_context():
        inst.write("*CLS;*SRE 32;*ESE 1")
        inst.enable_event(EventType.service_request, constants.EventMechanism.queue)
        inst.write("*OPC")
        inst.wait_on_event(EventType.service_request, 2000)
        assert inst.read_stb() & 0x40
        inst.disable_event(EventType.service_request, constants.EventMechanism.queue)
    inst.write("*CLS;*SRE 0")
    inst.close()
    rm.close()
