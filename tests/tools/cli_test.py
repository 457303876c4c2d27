#!/usr/bin/env python3
"""The xvr command line through its real binary: exit statuses, output, bad
arguments.  GPIB cases use the simulated bus library next to the library and
run on both platforms; TCP, UDP and serial cases need xvr-sim (Linux).

    cli_test.py --xvr PATH [--emulator ARG]... [--sim PATH]
"""
import argparse
import os
import re
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import with_sim  # noqa: E402

ARGS = None
GPIB = ["KX GPIB", "Dev 5"]
SIMBUS_IDN = "XVR-SIMBUS,DEV5,0,1.0"


def xvr_env(xvr_dir=None):
    env = dict(os.environ)
    env["LD_LIBRARY_PATH"] = os.path.dirname(ARGS.xvr) + os.pathsep + env.get("LD_LIBRARY_PATH", "")
    env["XVR_DIR"] = xvr_dir or env.get("XVR_DIR") or ARGS.xvr_dir
    return env


def xvr(*args, stdin=None, timeout=60, xvr_dir=None, binary=False):
    command = list(ARGS.emulator or []) + [ARGS.xvr] + list(args)
    r = subprocess.run(command, input=stdin.encode() if stdin else None, capture_output=True,
                       timeout=timeout, env=xvr_env(xvr_dir))
    if binary:
        return r
    r.stdout = r.stdout.decode("utf-8", "replace")
    r.stderr = r.stderr.decode("utf-8", "replace")
    if ARGS.emulator:
        # Text written by a Windows program ends its lines with CR LF.
        r.stdout = r.stdout.replace("\r\n", "\n")
        r.stderr = r.stderr.replace("\r\n", "\n")
    return r


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def native_only(test):
    def run(self):
        if ARGS.emulator:
            self.skipTest("drives the Linux binary directly")
        test(self)
    return run


def logging_dir(extra=""):
    """A parameter directory with the call log switched on."""
    d = tempfile.mkdtemp()
    with open(os.path.join(d, "XVR.XVR"), "w") as f:
        f.write("[XVR]\nLogFunctions=Yes\nLogData=Yes\n" + extra)
    return d


class Peer:
    """A loopback TCP instrument answering each line from a table, for
    answers the simulators do not give."""

    def __init__(self, answers):
        self.answers = answers
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(4)
        self.server.settimeout(0.2)
        self.address = "127.0.0.1:%d" % self.server.getsockname()[1]
        self.running = True
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while self.running:
            try:
                conn, _ = self.server.accept()
            except socket.timeout:
                continue
            with conn:
                conn.settimeout(10)
                pending = b""
                try:
                    while self.running:
                        data = conn.recv(4096)
                        if not data:
                            break
                        pending += data
                        while b"\n" in pending:
                            line, pending = pending.split(b"\n", 1)
                            conn.sendall(self.answers.get(line.strip(), b""))
                except OSError:
                    pass

    def close(self):
        self.running = False
        self.thread.join(5)
        self.server.close()


class Usage(unittest.TestCase):
    def test_help_explains_every_command(self):
        r = xvr("--help")
        self.assertEqual(r.returncode, 0)
        names = re.findall(r"^  (\w+) ", r.stdout, re.M)
        self.assertEqual(names, ["drivers", "params", "ports", "query", "write", "read", "get", "set",
                                 "shell", "run", "bench", "log", "completion"])
        self.assertIn("--version", r.stdout)
        self.assertIn("-v, --verbose", r.stdout)
        for name in names:
            r = xvr(name, "--help")
            self.assertEqual(r.returncode, 0, name)
            self.assertTrue(r.stdout.startswith("Usage: xvr " + name), r.stdout)
            self.assertEqual(r.stderr, "")
        self.assertIn("--hex-in", xvr("query", "--help").stdout)
        self.assertIn(":sleep MS", xvr("run", "--help").stdout)
        r = xvr("--version")
        self.assertEqual(r.returncode, 0)
        self.assertRegex(r.stdout, r"^xvr \d+\.\d+\.\d+ \(library interface version 100\)\n$")

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
            ["--frob", "drivers"],
            # Bad hex data is refused before anything is sent.
            ["write", *GPIB, "4X", "--hex"],
            ["query", *GPIB, "2A4", "--hex-in"],
            ["read", *GPIB, "--hex-in"],
            # Drivers, addresses and values the library would take but not as
            # meant (the checks at their limits: cli_parts_test.cpp).
            ["query", "NOPE", "x", "*IDN?"],
            ["query", "TCP/IP", "127.0.0.1:70000", "*IDN?"],
            ["get", *GPIB, "BOGUS"],
            ["get", *GPIB, "TRIGGER"],
            ["set", "TCP/IP", "127.0.0.1:1", "BUFFER", "10"],
            ["set", *GPIB, "TIMEOUT", "abc"],
            ["set", "COM", "COM1", "BAUDRATE", "fast"],
            ["query", *GPIB, "*IDN?", "--delimiter", "\\ZZ"],
            ["query", *GPIB, "*IDN?", "-o", "out.bin"],
            ["run", *GPIB, "/nonexistent/script"],
            ["-v", "params", "COM"],
            ["completion", "zsh"],
            ["log", "a", "b"],
        ]
        for args in cases:
            r = xvr(*args)
            self.assertEqual(r.returncode, 2, args)
            self.assertEqual(r.stdout, "", args)
            self.assertNotEqual(r.stderr, "", args)


    def test_rejected_command_line_keeps_the_call_log(self):
        d = logging_dir()
        try:
            self.assertEqual(xvr("query", *GPIB, "*IDN?", xvr_dir=d).returncode, 0)
            log = read_bytes(os.path.join(d, "XVR.log"))
            self.assertIn("flXVRRead".encode("utf-16-le"), log)
            script = os.path.join(d, "bad.txt")
            with open(script, "w") as f:
                f.write("*IDN?\n:set TIMEOUT soon\n")
            for args in (["set", *GPIB, "TIMEOUT", "abc"], ["query", "TCP/IP", "127.0.0.1:0", "x"],
                         ["run", *GPIB, script]):
                r = xvr(*args, xvr_dir=d)
                self.assertEqual(r.returncode, 2, args)
                self.assertEqual(read_bytes(os.path.join(d, "XVR.log")), log, args)
            # A script is refused whole, naming its bad line.
            self.assertIn("bad.txt:2: TIMEOUT must be", r.stderr)
        finally:
            shutil.rmtree(d)


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

    def test_device_failure_gives_status_name_text_and_meaning(self):
        r = xvr("query", "TCP/IP", "127.0.0.1:1", "*IDN?", "--timeout", "500")
        self.assertEqual((r.returncode, r.stdout), (1, ""))
        lines = r.stderr.splitlines()
        self.assertEqual(lines[0], "xvr query: cannot open TCP/IP 127.0.0.1:1: status -4 (XVR_ERR_OPEN_FAILED)")
        # The library's German text, then what the status means in English.
        self.assertTrue(lines[1].startswith("  Die Verbindung zum Host"), lines)
        self.assertEqual(lines[-1], "  In English: the device, its connection or its bus library "
                                    "could not be opened.")

    def test_time_out_says_how_long_and_what_for(self):
        start = time.monotonic()
        r = xvr("read", *GPIB, "--timeout", "300ms")
        self.assertEqual(r.returncode, 1)
        self.assertIn("xvr read: read from KX GPIB Dev 5: timed out after 300 ms waiting for a message "
                      "(delimiter \\0D; 0 bytes came) (status -6, XVR_ERR_TRANSFER)", r.stderr)
        self.assertLess(time.monotonic() - start, 30)
        # A time-out set on the way is the one reported.
        r = xvr("run", *GPIB, "-", stdin=":set TIMEOUT 1s\n:read 4\n")
        self.assertIn("timed out after 1000 ms waiting for 4 bytes (0 of 4 bytes came)", r.stderr)


class Gpib(unittest.TestCase):
    def test_query_text_and_hex(self):
        r = xvr("query", *GPIB, "*IDN?")
        self.assertEqual((r.returncode, r.stdout), (0, SIMBUS_IDN + "\n"), r.stderr)
        idn_hex = " ".join("%02X" % ord(c) for c in SIMBUS_IDN) + "\n"
        for args, out in ((["2A 49444E3F", "--hex"], idn_hex), (["*IDN?", "--hex-out"], idn_hex),
                          (["2a49444e3f", "--hex-in"], SIMBUS_IDN + "\n")):
            r = xvr("query", *GPIB, *args)
            self.assertEqual((r.returncode, r.stdout), (0, out), r.stderr)

    def test_parameters_follow_the_options(self):
        self.assertEqual(xvr("get", *GPIB, "DELIMITER").stdout, "\\0D\n")
        self.assertEqual(xvr("get", *GPIB, "DELIMITER", "--delimiter", "\\0D\\0A").stdout, "\\0D\\0A\n")
        self.assertEqual(xvr("set", *GPIB, "DELIMITER", "END").returncode, 0)

    def test_shell_runs_queries_and_parameter_lines(self):
        script = ("*IDN?\n:set DELIMITER \\0A\n:get delimiter\n:get NOPE\n:frob\n\n# a comment?\n"
                  "*IDN?\n:quit\nnever sent?\n")
        r = xvr("shell", *GPIB, stdin=script)
        # Failed lines are reported and the session goes on; the status keeps them.
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stdout.splitlines(), [SIMBUS_IDN, "\\0A", SIMBUS_IDN])
        self.assertIn("has no parameter 'NOPE'", r.stderr)
        self.assertIn(":frob", r.stderr)

    @native_only
    def test_shell_on_a_terminal_keeps_history_and_survives_ctrl_c(self):
        import pty
        home = tempfile.mkdtemp()
        pid, fd = pty.fork()
        if pid == 0:
            env = dict(xvr_env(), HOME=home, TERM="dumb")
            os.execve(ARGS.xvr, [ARGS.xvr, "shell", *GPIB], env)
        out = b""

        def wait_for(text):
            nonlocal out
            deadline = time.monotonic() + 20
            while text not in out and time.monotonic() < deadline:
                if select.select([fd], [], [], 0.5)[0]:
                    try:
                        out += os.read(fd, 4096)
                    except OSError:
                        break
            found = text in out
            out = out[out.find(text) + len(text):] if found else out
            return found

        try:
            self.assertTrue(wait_for(b"xvr> "), out)
            os.write(fd, b"never sent?")
            os.write(fd, b"\x03")  # Ctrl-C: the line is dropped, the shell goes on
            self.assertTrue(wait_for(b"xvr> "), out)
            os.write(fd, b"*IDN?\r")
            self.assertTrue(wait_for(SIMBUS_IDN.encode()), out)
            os.write(fd, b":quit\r")
            _, status = os.waitpid(pid, 0)
            pid = 0
            self.assertEqual(os.waitstatus_to_exitcode(status), 0)
            with open(os.path.join(home, ".xvr_history")) as f:
                history = f.read()
            self.assertIn("*IDN?", history)
            self.assertNotIn("never sent", history)
        finally:
            if pid:
                os.kill(pid, 9)
                os.waitpid(pid, 0)
            os.close(fd)
            shutil.rmtree(home)

    def test_run_stops_at_the_first_failure_unless_told_to_keep_going(self):
        d = tempfile.mkdtemp()
        try:
            script = os.path.join(d, "script.txt")
            with open(script, "w") as f:
                f.write("# identify\n\n*IDN?\n  :set timeout 200ms\n:get DELIMITER\n"
                        "*TRG\n:sleep 10ms\n:read\nsay what?\n:read 3\n")
            r = xvr("run", *GPIB, script)
            self.assertEqual(r.returncode, 1)
            # *TRG is only sent; the :read after it gets nothing: line 8.
            self.assertEqual(r.stdout.splitlines(), [SIMBUS_IDN, "\\0D"])
            self.assertIn("script.txt:8: read from KX GPIB Dev 5: timed out after 200 ms", r.stderr)
            self.assertIn("stopped at line 8", r.stderr)
            r = xvr("run", *GPIB, script, "--keep-going", "--echo", "--hex-out")
            self.assertEqual(r.returncode, 1)
            out = r.stdout.splitlines()
            self.assertEqual(out[0:2], ["> *IDN?", " ".join("%02X" % ord(c) for c in SIMBUS_IDN)])
            self.assertIn("> :read 3", out)
            # Only sent, as its first word has no '?'; the instrument echoes it.
            self.assertEqual(out[-2:], ["> :read 3", "73 61 79"])
            self.assertIn("script.txt:8:", r.stderr)
        finally:
            shutil.rmtree(d)

    def test_run_reads_a_script_from_stdin(self):
        r = xvr("run", *GPIB, "-", stdin="*IDN?\r\n:quit\n*IDN?\n")
        self.assertEqual((r.returncode, r.stdout, r.stderr), (0, SIMBUS_IDN + "\n", ""))

    def test_bench_reports_percentiles(self):
        r = xvr("bench", *GPIB, "*IDN?", "-n", "20")
        self.assertEqual(r.returncode, 0, r.stderr)
        for key in ("queries     20", "p50 ", "p99 ", "max ", "queries/s"):
            self.assertIn(key, r.stdout)


class CallLog(unittest.TestCase):
    def test_log_shows_a_real_log_readably(self):
        d = logging_dir()
        try:
            self.assertEqual(xvr("query", *GPIB, "DATA? 40", xvr_dir=d).returncode, 0)
            for args in ([], [os.path.join(d, "XVR.log")]):
                r = xvr("log", *args, xvr_dir=d)
                self.assertEqual((r.returncode, r.stderr), (0, ""))
                lines = r.stdout.splitlines()
                self.assertEqual(lines[0], "XVRInit: ActVersion = 100, MinVersion = 100")
                self.assertEqual(lines[-1], "XVRDeInit")
                self.assertIn("  Data: 44 41 54 41 3F 20 34 30" + " " * 26 + "|DATA? 40|", lines)
                # 40 bytes: rows of 16 with the ASCII beside them.
                start = lines.index("  Data: 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50  |ABCDEFGHIJKLMNOP|")
                self.assertEqual(lines[start + 1], "        51 52 53 54 55 56 57 58 59 5A 41 42 43 44 45 46  |QRSTUVWXYZABCDEF|")
                self.assertEqual(lines[start + 2], "        47 48 49 4A 4B 4C 4D 4E" + " " * 26 + "|GHIJKLMN|")
            r = xvr("log", os.path.join(d, "missing.log"))
            self.assertEqual(r.returncode, 1)
            self.assertIn("cannot read", r.stderr)
        finally:
            shutil.rmtree(d)

    def test_verbose_logs_one_command_without_touching_the_users_files(self):
        d = tempfile.mkdtemp()
        try:
            user_file = os.path.join(d, "XVR.XVR")
            # UTF-16 as Windows editors write it, logging off.
            content = "\ufeff[XVR]\r\nLogFunctions=No\r\n[COM]\r\nCOM3=/dev/ttyUSB9\r\n".encode("utf-16-le")
            with open(user_file, "wb") as f:
                f.write(content)
            r = xvr("-v", "query", *GPIB, "*IDN?", xvr_dir=d)
            self.assertEqual((r.returncode, r.stdout), (0, SIMBUS_IDN + "\n"), r.stderr)
            self.assertIn("flXVROpenWithTimeout(0x1000000, ", r.stderr)
            self.assertIn("|XVR-SIMBUS,DEV5,|", r.stderr)
            self.assertTrue(r.stderr.rstrip().endswith("--- end of call log ---"), r.stderr)
            self.assertEqual(os.listdir(d), ["XVR.XVR"])
            self.assertEqual(read_bytes(user_file), content)
            # A failure is reported after the log of the calls that led to it.
            r = xvr("-v", "get", "TCP/IP", "127.0.0.1:1", "TIMEOUT", "--timeout", "300", xvr_dir=d)
            self.assertEqual(r.returncode, 1)
            self.assertLess(r.stderr.index("status = -4"), r.stderr.index("XVR_ERR_OPEN_FAILED"))
        finally:
            shutil.rmtree(d)

    @native_only
    def test_follow_prints_new_entries_and_a_restarted_log(self):
        d = logging_dir()
        follower = subprocess.Popen([ARGS.xvr, "log", "-f"], env=xvr_env(d), stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE)
        try:
            out = b""

            def wait_for(text):
                nonlocal out
                deadline = time.monotonic() + 20
                while text not in out and time.monotonic() < deadline:
                    ready, _, _ = select.select([follower.stdout], [], [], 0.5)
                    if ready:
                        out += os.read(follower.stdout.fileno(), 65536)
                return text in out

            xvr("query", *GPIB, "*IDN?", xvr_dir=d)
            self.assertTrue(wait_for(b"XVRDeInit"), out)
            self.assertIn(b"|XVR-SIMBUS,DEV5,|", out)
            # The next run starts the log afresh, shorter than it was.
            xvr("write", *GPIB, "*TRG", xvr_dir=d)
            self.assertTrue(wait_for(b"|*TRG|"), out)
            self.assertIn(b"--- the log was started afresh ---\nXVRInit", out)
        finally:
            follower.terminate()
            follower.wait(10)
            shutil.rmtree(d)


class Discovery(unittest.TestCase):
    def test_ports_lists_system_ports_and_com_names(self):
        d = tempfile.mkdtemp()
        try:
            with open(os.path.join(d, "XVR.XVR"), "w") as f:
                f.write("[COM]\nCOM3 = /dev/ttyUSB9 ; the adapter\n[Other]\nCOM4=/dev/nothing\n")
            r = xvr("ports", xvr_dir=d)
            self.assertEqual((r.returncode, r.stderr), (0, ""))
            if not ARGS.emulator:
                self.assertIn("Serial ports (/sys/class/tty):", r.stdout)
                self.assertIn("  COM3     -> /dev/ttyUSB9\n", r.stdout)
                self.assertNotIn("COM4", r.stdout)
        finally:
            shutil.rmtree(d)

    def test_params_lists_each_drivers_parameters(self):
        names = {}
        for driver in ("COM", "tcp/ip", " kx gpib "):
            r = xvr("params", driver)
            self.assertEqual((r.returncode, r.stderr), (0, ""), driver)
            names[driver] = re.findall(r"^  ([A-Z]+) +(.*)$", r.stdout, re.M)
        self.assertEqual([n for n, _ in names["COM"]],
                         ["BAUDRATE", "DATABITS", "PARITY", "STOPBITS", "HANDSHAKE", "TIMEOUT", "DELIMITER"])
        self.assertEqual(dict(names["tcp/ip"])["BUFFER"], "get only")
        self.assertEqual(dict(names[" kx gpib "]), {"TIMEOUT": "set only", "DELIMITER": "get, set",
                                                    "TRIGGER": "set only"})
        self.assertIn("NONE, XON/XOFF, RTS/CTS", xvr("params", "COM").stdout)

    @native_only
    @unittest.skipUnless(shutil.which("bash"), "needs bash")
    def test_bash_completion(self):
        r = xvr("completion", "bash")
        self.assertEqual(r.returncode, 0)
        self.assertIn("complete -F _xvr xvr", r.stdout)
        source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "xvr", "xvr.bash")
        self.assertEqual(r.stdout, read_bytes(source).decode())

        def complete(*words):
            script = ('source <("$XVR" completion bash); COMP_WORDS=("$XVR" "$@"); '
                      'COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 )); _xvr; printf "%s\\n" "${COMPREPLY[@]}"')
            env = dict(xvr_env(), XVR=ARGS.xvr)
            out = subprocess.run(["bash", "-c", script, "bash", *words], capture_output=True, env=env,
                                 timeout=30).stdout.decode()
            return sorted(filter(None, out.splitlines()))

        self.assertEqual(complete("qu"), ["query"])
        self.assertEqual(complete("-v", "pa"), ["params"])
        self.assertEqual(complete("query", "K"), ["KX\\ GPIB"])
        self.assertEqual(complete("shell", ""), ["COM", "KX\\ GPIB", "QUV\\ GPIB", "TCP/IP", "UDP"])
        self.assertEqual(complete("set", "COM", "COM1", "HA"), ["HANDSHAKE"])
        self.assertEqual(complete("query", "--bl"), ["--block"])


class Blocks(unittest.TestCase):
    """query --block against a loopback peer whose blocks hold the delimiter."""

    @classmethod
    def setUpClass(cls):
        cls.peer = Peer({b"CURV?": b"#15ab\ncd\n", b"BIG?": b"#41000" + bytes(range(250)) * 4 + b"\n",
                         b"OPEN?": b"#0x\ny\n", b"ERR?": b"-113,Undefined header\n",
                         b"SHORT?": b"#210abc\n"})
        cls.dir = tempfile.mkdtemp()

    @classmethod
    def tearDownClass(cls):
        cls.peer.close()
        shutil.rmtree(cls.dir)

    def query(self, command, *args):
        return xvr("query", "TCP/IP", self.peer.address, command, "--block", "--timeout", "1000", *args,
                   binary=True)

    def test_block_is_read_whole_whatever_its_bytes(self):
        out = os.path.join(self.dir, "curve.bin")
        for command, data in ((b"CURV?", b"ab\ncd"), (b"BIG?", bytes(range(250)) * 4)):
            r = self.query(command.decode(), "-o", out)
            self.assertEqual((r.returncode, r.stdout, r.stderr), (0, b"", b""), command)
            self.assertEqual(read_bytes(out), data)
            # Into a pipe the data goes raw.
            r = self.query(command.decode())
            self.assertEqual((r.returncode, r.stdout), (0, data), r.stderr)
        r = self.query("CURV?", "--hex-out")
        self.assertEqual(r.stdout.replace(b"\r\n", b"\n"), b"61 62 0A 63 64\n")
        # An indefinite block ends at the delimiter.
        r = self.query("OPEN?", "--hex-out")
        self.assertEqual(r.stdout.replace(b"\r\n", b"\n"), b"78\n")

    def test_answers_that_are_not_whole_blocks_fail(self):
        r = self.query("ERR?")
        self.assertEqual((r.returncode, r.stdout), (1, b""))
        self.assertIn(b"is not a block (#<n><length><data>): '-113,Undefined header'", r.stderr)
        r = self.query("SHORT?", "-o", os.path.join(self.dir, "short.bin"))
        self.assertEqual(r.returncode, 1)
        self.assertIn(b"timed out after 1000 ms waiting for the 10 data bytes of the block "
                      b"(4 of 10 bytes came)", r.stderr)


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
        data = read_bytes(out)
        self.assertEqual(len(data), 70001)
        self.assertEqual(data[:28], b"ABCDEFGHIJKLMNOPQRSTUVWXYZAB")
        self.assertEqual(data[-1:], b"\r")
        # Asking for more than comes: a failure that says how much arrived.
        xvr("write", "COM", "COM7", "DATA? 10")
        r = xvr("read", "COM", "COM7", "-n", "20", "--timeout", "300")
        self.assertEqual(r.returncode, 1)
        self.assertIn("11 of 20 bytes", r.stderr)
        self.assertEqual(r.stdout, "ABCDEFGHIJ\r")


@unittest.skipUnless(os.environ.get("XVR_CLI_SIM"), "needs xvr-sim (Linux)")
class SimulatorBlock(unittest.TestCase):
    """query --block against the simulator's own block answer, whose data
    holds the delimiter (LF) and CR: only the count can end it."""

    def test_block_answer_of_the_simulator_is_read_whole(self):
        with tempfile.TemporaryDirectory() as d:
            model = os.path.join(d, "model.txt")
            with open(model, "w") as f:
                f.write("name XVR-SIM,Block\nblock CURV? 1000\n")
            sim, ports = with_sim.start_sim(os.environ["XVR_CLI_SIM"], d, extra=["--instrument", model])
            try:
                out = os.path.join(d, "curve.bin")
                for driver, address in (("TCP/IP", ports["TCP"]), ("COM", "COM7")):
                    r = xvr("query", driver, address, "CURV?", "--block", "-o", out, "--timeout", "2000",
                            xvr_dir=d)
                    self.assertEqual(r.returncode, 0, (driver, r.stderr))
                    data = read_bytes(out)
                    self.assertEqual(len(data), 1000, driver)
                    self.assertEqual(data, bytes((i + 10) % 256 for i in range(1000)), driver)
            finally:
                with_sim.stop_sim(sim)


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
