#!/usr/bin/env python3
"""The xvr command line through its real binary: exit statuses, output, bad
arguments.  GPIB cases use the simulated bus library next to the library and
run on both platforms; TCP, UDP and serial cases need xvr-sim (Linux).

    cli_test.py --xvr PATH [--emulator ARG]... [--sim PATH]
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import with_sim  # noqa: E402

ARGS = None
GPIB = ["KX GPIB", "Dev 5"]
SIMBUS_IDN = "XVR-SIMBUS,DEV5,0,1.0"


def xvr(*args, stdin=None, timeout=60):
    command = list(ARGS.emulator or []) + [ARGS.xvr] + list(args)
    env = dict(os.environ)
    env["LD_LIBRARY_PATH"] = os.path.dirname(ARGS.xvr) + os.pathsep + env.get("LD_LIBRARY_PATH", "")
    if "XVR_DIR" not in env:
        env["XVR_DIR"] = ARGS.xvr_dir
    r = subprocess.run(command, input=stdin.encode() if stdin else None, capture_output=True,
                       timeout=timeout, env=env)
    r.stdout = r.stdout.decode("utf-8", "replace")
    r.stderr = r.stderr.decode("utf-8", "replace")
    if ARGS.emulator:
        # Text written by a Windows program ends its lines with CR LF.
        r.stdout = r.stdout.replace("\r\n", "\n")
    return r


class Usage(unittest.TestCase):
    def test_help_explains_every_command(self):
        r = xvr("--help")
        self.assertEqual(r.returncode, 0)
        names = re.findall(r"^  (\w+) ", r.stdout, re.M)
        self.assertEqual(names, ["drivers", "query", "write", "read", "get", "set", "shell", "bench"])
        for name in names:
            r = xvr(name, "--help")
            self.assertEqual(r.returncode, 0, name)
            self.assertTrue(r.stdout.startswith("Usage: xvr " + name), r.stdout)
            self.assertEqual(r.stderr, "")

    def test_bad_command_lines_exit_2_without_output(self):
        cases = [
            [],
            ["frobnicate"],
            ["query", "TCP/IP", "127.0.0.1:1"],
            ["query", "TCP/IP", "127.0.0.1:1", "*IDN?", "extra"],
            ["query", *GPIB, "*IDN?", "--bogus"],
            ["query", *GPIB, "*IDN?", "--timeout"],
            ["query", *GPIB, "*IDN?", "--timeout", "soon"],
            ["query", *GPIB, "*IDN?", "--timeout=0"],
            ["query", *GPIB, "*IDN?", "--hex=yes"],
            ["read", *GPIB, "-n", "-3"],
            ["drivers", "--hex"],
            # Bad hex data is refused before anything is sent.
            ["write", *GPIB, "4X", "--hex"],
            ["query", *GPIB, "2A4", "--hex"],
        ]
        for args in cases:
            r = xvr(*args)
            self.assertEqual(r.returncode, 2, args)
            self.assertEqual(r.stdout, "", args)
            self.assertNotEqual(r.stderr, "", args)


class Library(unittest.TestCase):
    def test_drivers_lists_the_catalogue(self):
        r = xvr("drivers")
        self.assertEqual(r.returncode, 0, r.stderr)
        lines = r.stdout.splitlines()
        self.assertEqual([l[:9].strip() for l in lines], ["COM", "TCP/IP", "UDP", "KX GPIB", "QUV GPIB"])
        self.assertIn("COM1 .. COM255 (255 values)", lines[0])
        self.assertIn("Dev 1 .. Dev31 (31 values)", lines[3])
        full = xvr("drivers", "--all").stdout.splitlines()
        self.assertIn("  COM255", full)
        self.assertIn("  Dev 1", full)

    def test_device_failures_exit_1_with_status_and_text(self):
        cases = [
            (["query", "NOPE", "x", "*IDN?"], "status -9: "),
            (["get", *GPIB, "BOGUS"], "status -11: "),
            (["query", "TCP/IP", "127.0.0.1:1", "*IDN?", "--timeout", "500"], "status -"),
        ]
        for args, expected in cases:
            r = xvr(*args)
            self.assertEqual(r.returncode, 1, args)
            self.assertIn(expected, r.stderr, args)
            self.assertEqual(r.stdout, "", args)

    def test_read_time_out_is_bounded(self):
        start = time.monotonic()
        r = xvr("read", *GPIB, "--timeout", "300")
        self.assertEqual(r.returncode, 1)
        self.assertIn("status -6", r.stderr)
        self.assertLess(time.monotonic() - start, 30)


class Gpib(unittest.TestCase):
    def test_query_text_and_hex(self):
        r = xvr("query", *GPIB, "*IDN?")
        self.assertEqual((r.returncode, r.stdout), (0, SIMBUS_IDN + "\n"), r.stderr)
        r = xvr("query", *GPIB, "2A 49444E3F", "--hex")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, " ".join("%02X" % ord(c) for c in SIMBUS_IDN) + "\n")

    def test_parameters_follow_the_options(self):
        self.assertEqual(xvr("get", *GPIB, "DELIMITER").stdout, "\\0D\n")
        self.assertEqual(xvr("get", *GPIB, "DELIMITER", "--delimiter", "\\0D\\0A").stdout, "\\0D\\0A\n")
        self.assertEqual(xvr("set", *GPIB, "DELIMITER", "END").returncode, 0)

    def test_shell_runs_queries_and_parameter_lines(self):
        script = "*IDN?\n:set DELIMITER \\0A\n:get delimiter\n:get NOPE\n:frob\n\n*IDN?\n:quit\nnever sent?\n"
        r = xvr("shell", *GPIB, stdin=script)
        # Failed lines are reported and the session goes on; the status keeps them.
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stdout.splitlines(), [SIMBUS_IDN, "\\0A", SIMBUS_IDN])
        self.assertIn("status -11", r.stderr)
        self.assertIn(":frob", r.stderr)

    def test_bench_reports_percentiles(self):
        r = xvr("bench", *GPIB, "*IDN?", "-n", "20")
        self.assertEqual(r.returncode, 0, r.stderr)
        for key in ("queries     20", "p50 ", "p99 ", "max ", "queries/s"):
            self.assertIn(key, r.stdout)


@unittest.skipUnless(os.environ.get("XVR_CLI_SIM"), "needs xvr-sim (Linux)")
class Simulator(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.sim, cls.ports = with_sim.start_sim(os.environ["XVR_CLI_SIM"], cls.dir.name)
        os.environ["XVR_DIR"] = cls.dir.name

    @classmethod
    def tearDownClass(cls):
        with_sim.stop_sim(cls.sim)
        del os.environ["XVR_DIR"]
        cls.dir.cleanup()

    def test_query_over_tcp_udp_and_serial(self):
        for driver, address in (("TCP/IP", self.ports["TCP"]), ("UDP", self.ports["UDP"]), ("COM", "COM7")):
            r = xvr("query", driver, address, "*IDN?", "--timeout", "2000")
            self.assertEqual(r.returncode, 0, (driver, r.stderr))
            self.assertTrue(r.stdout.startswith("XVR-SIM,Simulated instrument"), r.stdout)

    def test_options_reach_the_device(self):
        tcp = self.ports["TCP"]
        self.assertEqual(xvr("get", "TCP/IP", tcp, "TIMEOUT", "--timeout", "250").stdout, "250\n")
        self.assertEqual(xvr("get", "TCP/IP", tcp, "DELIMITER", "--delimiter", "\\0D").stdout, "\\0D\n")
        # The command goes out ended by CR, which the instrument takes; its
        # answer ends with LF, so a read waiting for CR runs into the time-out,
        # as does a query that gets no answer at all.
        for command, delimiter in (("*IDN?", "\\0D"), ("NO:ANSWER?", "\\0A")):
            start = time.monotonic()
            r = xvr("query", "TCP/IP", tcp, command, "--delimiter", delimiter, "--timeout", "300")
            self.assertEqual((r.returncode, r.stdout), (1, ""), command)
            self.assertIn("status -6", r.stderr)
            self.assertLess(time.monotonic() - start, 20)

    def test_write_then_read_a_counted_block_to_a_file(self):
        # The pseudo-terminal keeps the answer between the two runs.
        self.assertEqual(xvr("write", "COM", "COM7", "DATA? 70000").returncode, 0)
        out = os.path.join(self.dir.name, "block.bin")
        r = xvr("read", "COM", "COM7", "-n", "70001", "-o", out, "--timeout", "2000")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout + r.stderr, "")  # no progress when not on a terminal
        data = open(out, "rb").read()
        self.assertEqual(len(data), 70001)
        self.assertEqual(data[:28], b"ABCDEFGHIJKLMNOPQRSTUVWXYZAB")
        self.assertEqual(data[-1:], b"\r")
        # Asking for more than comes: a failure that says how much arrived.
        xvr("write", "COM", "COM7", "DATA? 10")
        r = xvr("read", "COM", "COM7", "-n", "20", "--timeout", "300")
        self.assertEqual(r.returncode, 1)
        self.assertIn("11 of 20 bytes", r.stderr)
        self.assertEqual(r.stdout, "ABCDEFGHIJ\r")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--xvr", required=True)
    parser.add_argument("--emulator", action="append")
    ARGS, rest = parser.parse_known_args()
    with tempfile.TemporaryDirectory() as empty_dir:
        # A parameter directory of our own: no call log, no user settings.
        ARGS.xvr_dir = empty_dir
        unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
