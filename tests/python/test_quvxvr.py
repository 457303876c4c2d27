"""The quvxvr package against xvr-sim, the simulated GPIB bus and a
scripted loopback instrument."""
import ctypes
import os
import re
import threading
import time

import pytest
import quvxvr
from conftest import BUILD, SOURCE


def test_status_names_and_flags_mirror_the_header():
    header = open(os.path.join(BUILD, "generated", "include", "quvxvr.h")).read()
    defined = {name: int(value) for name, value in
               re.findall(r"^#define (XVR_\w+)\s+\(?(-?\d+)u?\)?", header, re.M)}
    statuses = {k: v for k, v in defined.items() if k.startswith(("XVR_OK", "XVR_READ_BUFFER", "XVR_READ_DELIM",
                                                                 "XVR_CLOSE", "XVR_ERR_"))}
    assert len(statuses) == 26
    for name, value in statuses.items():
        assert getattr(quvxvr, name) == value, name
        assert quvxvr.status_name(value) == name
    for name in ("READ_STOP_AT_DELIMITER", "READ_KEEP_DELIMITER", "READ_ZERO_TERMINATE",
                 "WRITE_APPEND_DELIMITER"):
        assert getattr(quvxvr, name) == defined["XVR_" + name], name


def test_every_export_is_declared_and_checks_its_arguments():
    exports = open(os.path.join(SOURCE, "resources", "exports.txt")).read().split()
    dll = quvxvr.library().dll
    assert sorted(exports) == sorted(quvxvr._library.PROTOTYPES)
    for name in exports:
        assert getattr(dll, name).argtypes is not None, name
    module = quvxvr.library().module()
    with pytest.raises(ctypes.ArgumentError):
        dll.flXVROpen(module, 5, b"TCP/IP", b"127.0.0.1:1")   # an int where the handle goes
    with pytest.raises(ctypes.ArgumentError):
        dll.flXVRRead(0x01010001, "text", None, 0)             # a str as the buffer
    assert dll.flXVRDeviceConfig() == quvxvr.XVR_ERR_RETIRED


@pytest.mark.parametrize("transport", ["TCP/IP", "UDP", "COM", "KX GPIB"])
def test_query_on_every_transport_whatever_the_answers_length(sim, transport):
    address = {"TCP/IP": sim.tcp, "UDP": sim.udp, "COM": "COM7", "KX GPIB": "Dev 5"}[transport]
    # 4095 bytes and the delimiter fill the first buffer exactly: the serial
    # driver then reports a full buffer with the delimiter at its end.
    sizes = {"UDP": (), "COM": (4095, 4096, 4097, 20000)}.get(transport, (4095, 4096, 4097, 300000))
    with quvxvr.open(transport, address, timeout_ms=5000) as dev:
        for size in sizes:
            answer = dev.query("DATA? %d" % size)
            assert len(answer) == size and answer.startswith("ABC"), size
        # Nothing left over from the long answers.
        assert dev.query("*IDN?").startswith("XVR-SIMBUS,DEV5" if transport == "KX GPIB" else "XVR-SIM,")
        params = dict(dev.params)
        assert set(params) == set(quvxvr.params.READABLE[transport])
        assert params["DELIMITER"] in ("\\0A", "\\0D")
    assert dev.closed


@pytest.mark.parametrize("filler", [4094, 4095, 4096])
def test_a_two_byte_delimiter_split_across_reads_still_ends_the_message(scripted, filler):
    text = b"A" * filler
    instrument = scripted({b"LONG?": text + b"\r\nNEXT\r\n"})
    with quvxvr.open("TCP/IP", instrument.address, timeout_ms=2000) as dev:
        dev.params["DELIMITER"] = r"\0D\0A"
        dev.write("LONG?", end=False)
        dev.write(b"\n", end=False)
        assert dev.read_message() == text
        assert dev.read() == "NEXT"


def test_blocks_definite_indefinite_and_malformed(scripted):
    payload = bytes(range(256)) * 3  # holds the delimiter byte three times
    instrument = scripted({
        b"CURV?": b"#3768" + payload + b"\n",
        b"OPEN?": b"#0raw data\n",
        b"TEXT?": b"1.5\n",
        b"LONG?": b"#15abcdeXYZ\n",
        b"HUGE?": b"#9999999999",
    })
    with quvxvr.open("TCP/IP", instrument.address, timeout_ms=1000) as dev:
        assert dev.query_block("CURV?") == payload
        assert dev.query_block("OPEN?") == b"raw data"
        with pytest.raises(quvxvr.BlockFormatError, match="not a block: b'1.5'"):
            dev.query_block("TEXT?")
        with pytest.raises(quvxvr.BlockFormatError, match="3 bytes follow"):
            dev.query_block("LONG?")
        with pytest.raises(quvxvr.BlockFormatError, match="limit"):
            dev.query_block("HUGE?", limit=1 << 20)
        assert dev.query("TEXT?") == "1.5"


def test_a_time_out_is_a_timeout_error_with_what_arrived(scripted):
    instrument = scripted({b"HALF?": b"partial"})
    with quvxvr.open("TCP/IP", instrument.address, timeout_ms=200) as dev:
        start = time.monotonic()
        with pytest.raises(TimeoutError, match="timed out") as caught:
            dev.query("HALF?")
        assert time.monotonic() - start < 2
        error = caught.value
        assert isinstance(error, quvxvr.Timeout) and isinstance(error, quvxvr.Error)
        assert (error.status, error.text, error.data) == (quvxvr.XVR_ERR_TRANSFER, "", b"partial")


def test_failures_carry_status_text_and_english(sim):
    with pytest.raises(quvxvr.Error) as caught:
        quvxvr.open("NOSUCH", "x")
    assert caught.value.status == quvxvr.XVR_ERR_UNKNOWN_DRIVER
    assert "NOSUCH" in caught.value.text and "has no driver of that name" in str(caught.value)
    with pytest.raises(quvxvr.Error, match="not of the form this driver takes") as caught:
        quvxvr.open("TCP/IP", "no port here")
    assert caught.value.name == "XVR_ERR_BAD_ADDRESS"
    with pytest.raises(ValueError):
        quvxvr.open("TCP/IP", sim.tcp + "\0ignored")
    with quvxvr.open("TCP/IP", sim.tcp) as dev:
        with pytest.raises(quvxvr.UnknownParameter) as caught:
            dev.params["BAUDRATE"]
        assert isinstance(caught.value, KeyError) and caught.value.status == quvxvr.XVR_ERR_UNKNOWN_PARAM
        assert "BAUDRATE" not in dev.params and dev.params.get("FOO") is None
        dev.params[" timeout "] = 250
        assert dev.params["TIMEOUT"] == "250"
        with pytest.raises(ValueError):
            dev.read_bytes(-1)


def test_closing_twice_or_using_a_closed_device_raises(sim):
    first = quvxvr.open("TCP/IP", sim.tcp)
    second = quvxvr.open("TCP/IP", sim.tcp)   # shares the connection
    assert first.handle == second.handle
    assert first.close() == 0
    for use in (first.close, lambda: first.query("*IDN?"), lambda: first.params["TIMEOUT"]):
        with pytest.raises(quvxvr.Error) as caught:
            use()
        assert caught.value.status == quvxvr.XVR_ERR_BAD_HANDLE
    # The second close of the first open did not take the second's open.
    assert second.query("*IDN?").startswith("XVR-SIM")
    assert second.close() == quvxvr.XVR_CLOSE_RELEASED


def test_threads_sharing_a_device_each_get_their_own_answers(sim):
    with quvxvr.open("KX GPIB", "Dev 7", timeout_ms=2000) as dev:
        wrong = []

        def ask(tag):
            for i in range(200):
                command = "%s%d?" % (tag, i)
                answer = dev.query(command)
                if answer.strip() != command:
                    wrong.append((command, answer))
        threads = [threading.Thread(target=ask, args=(tag,)) for tag in "AB"]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(60)
        assert not wrong


def test_drivers_come_from_the_catalogue():
    drivers = {d.name: d for d in quvxvr.drivers()}
    assert list(drivers) == ["COM", "TCP/IP", "UDP", "KX GPIB"]
    assert drivers["COM"].values[0] == "COM1" and len(drivers["COM"].values) == 255
    assert drivers["KX GPIB"].values[0] == "Dev 1" and drivers["KX GPIB"].values[-1] == "Dev31"
    assert drivers["TCP/IP"].param_name == "IP Address" and drivers["TCP/IP"].values == ()


def test_com_mappings_read_like_the_library_and_never_block(tmp_path, monkeypatch):
    monkeypatch.setenv("XVR_DIR", str(tmp_path))
    (tmp_path / "XVR.XVR").write_bytes("\ufeff[XVR]\r\nCOM9=/dev/wrong\r\n[com]\r\n; note\r\n"
                                       " COM3 = '/dev/ttyUSB0' \r\nCOM3=/dev/later\r\n"
                                       "[COM]\r\nCOM4=/dev/second\r\n".encode("utf-16-le"))
    assert quvxvr.com_mappings() == {"COM3": "/dev/ttyUSB0"}
    (tmp_path / "XVR.XVR").unlink()
    os.mkfifo(tmp_path / "XVR.XVR")
    assert quvxvr.com_mappings() == {}
