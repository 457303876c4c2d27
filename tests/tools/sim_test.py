#!/usr/bin/env python3
"""xvr-sim as a process: what it refuses, the order of delayed answers,
datagrams, and a clean stop.

    sim_test.py BIN_DIR
"""
import os
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


def address(text):
    host, port = text.rsplit(":", 1)
    return host, int(port)


class Simulator(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def start(self, instrument=None):
        extra = []
        if instrument is not None:
            path = os.path.join(self.dir.name, "instrument.txt")
            with open(path, "w") as f:
                f.write(instrument)
            extra = ["--instrument", path]
        sim, ports = with_sim.start_sim(BIN, self.dir.name, extra)
        self.addCleanup(with_sim.stop_sim, sim)
        return sim, ports

    def test_refuses_what_it_must_not_touch(self):
        foreign = os.path.join(self.dir.name, "XVR.XVR")
        with open(foreign, "w") as f:
            f.write("[XVR]\nLogFunctions=yes\n")
        r = subprocess.run([os.path.join(BIN, "xvr-sim"), "--xvr-dir", self.dir.name],
                           capture_output=True, text=True, timeout=20)
        self.assertEqual(r.returncode, 1)
        self.assertIn("not written by xvr-sim", r.stderr)
        self.assertEqual(open(foreign).read(), "[XVR]\nLogFunctions=yes\n")
        for args, expected in ((["--tcp", "70000"], "port"), (["--bogus"], "unknown option")):
            r = subprocess.run([os.path.join(BIN, "xvr-sim"), *args], capture_output=True, text=True,
                               timeout=20)
            self.assertEqual(r.returncode, 2, args)
            self.assertIn(expected, r.stderr)
        path = os.path.join(self.dir.name, "bad.txt")
        with open(path, "w") as f:
            f.write("A? -> 1\ndelay soon A?\n")
        r = subprocess.run([os.path.join(BIN, "xvr-sim"), "--instrument", path], capture_output=True,
                           text=True, timeout=20)
        self.assertEqual(r.returncode, 2)
        self.assertIn("line 2", r.stderr)

    def test_delayed_answers_keep_the_order_of_the_commands(self):
        _, ports = self.start("SLOW? -> slow\nFAST? -> fast\ndelay 300 SLOW?\n")
        with socket.create_connection(address(ports["TCP"]), timeout=5) as s:
            start = time.monotonic()
            s.sendall(b"SLOW?\nFAST?\n")
            data = b""
            while data.count(b"\n") < 2:
                chunk = s.recv(100)
                self.assertTrue(chunk)
                data += chunk
            self.assertEqual(data, b"slow\nfast\n")
            self.assertGreaterEqual(time.monotonic() - start, 0.25)

    def test_datagrams_stand_alone_and_reach_their_sender(self):
        _, ports = self.start()
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as a, \
                socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as b:
            a.settimeout(5)
            b.settimeout(5)
            a.sendto(b"*IDN?", address(ports["UDP"]))  # no line end
            b.sendto(b"SYST:ERR?\n", address(ports["UDP"]))
            self.assertTrue(a.recvfrom(1000)[0].startswith(b"XVR-SIM,"))
            self.assertEqual(b.recvfrom(1000)[0], b'0,"No error"\n')

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
