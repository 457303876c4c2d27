#!/usr/bin/env python3
"""xvr-sim as a process: what it refuses, the order of delayed answers,
datagrams, a clean stop, and the instrument file's settable properties,
blocks and shared state on every transport, the simulated GPIB bus included.

    sim_test.py BIN_DIR
"""
import os
import re
import select
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import with_sim  # noqa: E402

BIN = None
SUPPLY = "name Bench supply\nprop VOLT 1.0 min 0 max 30\nblock CURV? 1000\n"


def address(text):
    host, port = text.rsplit(":", 1)
    return host, int(port)


def run_sim(*args):
    return subprocess.run([os.path.join(BIN, "xvr-sim"), *args], capture_output=True, text=True, timeout=20)


def read_until(receive, count=None, end=b"\n"):
    """Bytes from receive() up to end, or exactly count bytes; bounded by the
    sockets' and select's time-outs."""
    data = b""
    while (len(data) < count) if count is not None else not data.endswith(end):
        chunk = receive()
        if not chunk:
            raise AssertionError("no more data after %r" % data[-40:])
        data += chunk
    return data


class Connection:
    """One line-oriented peer of the simulator: TCP, UDP or the serial port."""

    def __init__(self, kind, ports, sim_output):
        self.kind = kind
        self.end = b"\r" if kind == "COM" else b"\n"
        if kind == "COM":
            pty = re.search(r"^COM \S+ -> (\S+)$", sim_output, re.M).group(1)
            self.fd = os.open(pty, os.O_RDWR | os.O_NOCTTY)
        else:
            self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM if kind == "TCP" else socket.SOCK_DGRAM)
            self.sock.settimeout(5)
            self.sock.connect(address(ports[kind]))

    def receive(self):
        if self.kind != "COM":
            return self.sock.recv(70000)
        if not select.select([self.fd], [], [], 5)[0]:
            return b""
        return os.read(self.fd, 70000)

    def send(self, line):
        data = line.encode() + self.end
        if self.kind == "COM":
            os.write(self.fd, data)
        else:
            self.sock.send(data)

    def query(self, line):
        self.send(line)
        return read_until(self.receive, end=self.end)[:-1].decode()

    def close(self):
        if self.kind == "COM":
            os.close(self.fd)
        else:
            self.sock.close()


class Simulator(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def write_file(self, text, name="instrument.txt"):
        path = os.path.join(self.dir.name, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def start(self, instrument=None):
        extra = [] if instrument is None else ["--instrument", self.write_file(instrument)]
        sim, ports = with_sim.start_sim(BIN, self.dir.name, extra)
        self.addCleanup(with_sim.stop_sim, sim)
        return sim, ports

    def connect(self, kind, sim, ports):
        sim.output_file.seek(0)
        connection = Connection(kind, ports, sim.output_file.read())
        self.addCleanup(connection.close)
        return connection

    def test_help_shows_an_instrument_file_that_works(self):
        r = run_sim("--help")
        self.assertEqual(r.returncode, 0)
        for directive in ("prop NAME VALUE [min X] [max Y]", "block QUERY LENGTH", "state shared|per-transport",
                          "instrument FILE", "LD_LIBRARY_PATH DIR"):
            self.assertIn(directive, r.stdout)
        example = r.stdout.split("Example:\n", 1)[1]
        sim, ports = self.start(re.sub(r"^  ", "", example, flags=re.M))
        self.assertEqual(self.connect("TCP", sim, ports).query("VOLT?"), "1.0")

    def test_properties_and_blocks(self):
        sim, ports = self.start(SUPPLY)
        tcp = self.connect("TCP", sim, ports)
        self.assertEqual(tcp.query("volt?"), "1.0")
        tcp.send("VOLT 2.5")
        self.assertEqual(tcp.query("VOLT?"), "2.5")
        # The block's data holds the line end; only its length tells where it ends.
        for kind in ("TCP", "COM"):
            peer = self.connect(kind, sim, ports)
            peer.send("CURV?")
            block = read_until(peer.receive, count=6 + 1000 + 1)
            self.assertEqual(block[:6], b"#41000")
            self.assertIn(b"\n", block[6:-1])
            self.assertEqual(block[-1:], peer.end)
            self.assertEqual(peer.query("SYST:ERR?"), '0,"No error"', kind)  # nothing left over

    def test_state_shared_or_per_transport(self):
        for state, expected in (("shared", "7"), ("per-transport", "1.0")):
            sim, ports = self.start("state %s\nprop VOLT 1.0\n" % state)
            tcp = self.connect("TCP", sim, ports)
            tcp.send("VOLT 7")
            self.assertEqual(tcp.query("VOLT?"), "7")
            for kind in ("UDP", "COM"):
                self.assertEqual(self.connect(kind, sim, ports).query("VOLT?"), expected, (state, kind))
            with_sim.stop_sim(sim)

    def test_gpib_instruments_take_the_same_file(self):
        control = self.write_file("instrument %s\n" % self.write_file(SUPPLY), "control.txt")
        env = dict(os.environ, XVR_SIMBUS_CONFIG=control, XVR_DIR=self.dir.name, LD_LIBRARY_PATH=BIN)

        def shell(script):
            return subprocess.run([os.path.join(BIN, "xvr"), "shell", "KX GPIB", "Dev 5"], input=script,
                                  capture_output=True, text=True, timeout=60, env=env)
        r = shell("VOLT?\nVOLT 2.5\nVOLT?\nVOLT -1\nSYST:ERR?\n*IDN?\n")
        self.assertEqual(r.stdout.splitlines(), ["1.0", "2.5", '-222,"Data out of range"'], r.stderr)
        self.assertIn("status -6", r.stderr)  # *IDN? is not in the file: no answer
        # A file that does not parse fails the open and says why.
        self.write_file("prop VOLT\n")
        r = shell("VOLT?\n")
        self.assertEqual(r.returncode, 1)
        self.assertIn("instrument.txt: line 1: prop needs a name and a value", r.stderr)

    def test_refuses_what_it_must_not_touch(self):
        foreign = self.write_file("[XVR]\nLogFunctions=yes\n", "XVR.XVR")
        r = run_sim("--xvr-dir", self.dir.name)
        self.assertEqual(r.returncode, 1)
        self.assertIn("not written by xvr-sim", r.stderr)
        self.assertEqual(open(foreign).read(), "[XVR]\nLogFunctions=yes\n")
        bad_file = self.write_file("A? -> 1\ndelay soon A?\n")
        for args, expected in ((["--tcp", "70000"], "port"), (["--bogus"], "unknown option"),
                               (["--instrument", bad_file], "line 2")):
            r = run_sim(*args)
            self.assertEqual(r.returncode, 2, args)
            self.assertIn(expected, r.stderr)

    def test_delayed_answers_keep_the_order_of_the_commands(self):
        _, ports = self.start("SLOW? -> slow\nFAST? -> fast\ndelay 300 SLOW?\n")
        with socket.create_connection(address(ports["TCP"]), timeout=5) as s:
            start = time.monotonic()
            s.sendall(b"SLOW?\nFAST?\n")
            self.assertEqual(read_until(lambda: s.recv(100), count=10), b"slow\nfast\n")
            self.assertGreaterEqual(time.monotonic() - start, 0.25)

    def test_datagrams_stand_alone_and_reach_their_sender(self):
        sim, ports = self.start()
        a, b = self.connect("UDP", sim, ports), self.connect("UDP", sim, ports)
        a.sock.send(b"*IDN?")  # no line end
        b.send("SYST:ERR?")
        self.assertTrue(a.receive().startswith(b"XVR-SIM,"))
        self.assertEqual(b.receive(), b'0,"No error"\n')

    def test_stops_cleanly_on_a_signal(self):
        for sig in (signal.SIGINT, signal.SIGTERM):
            sim, ports = self.start()
            # A connected client does not hold the simulator up.
            with socket.create_connection(address(ports["TCP"]), timeout=5):
                sim.send_signal(sig)
                self.assertEqual(sim.wait(10), 0)
            sim.output_file.seek(0)
            self.assertTrue(sim.output_file.read().rstrip().endswith("xvr-sim: stopped"))


if __name__ == "__main__":
    BIN = sys.argv.pop(1)
    unittest.main(verbosity=2)
