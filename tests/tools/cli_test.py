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
import subprocess
import sys
import tempfile
import time
import unittest

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import with_sim  # noqa: E402
from lan_sim import lan_addresses  # noqa: E402
from scripted_instrument import ScriptedInstrument  # noqa: E402

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
    for attempt in (1, 2):
        r = subprocess.run(command, input=stdin.encode() if stdin else None, capture_output=True,
                           timeout=timeout, env=xvr_env(xvr_dir))
        # Once in a few thousand starts on a busy machine, wine fails a
        # program before it runs (exit 1, and no word of xvr's); start it again.
        if not ARGS.emulator or r.returncode != 1 or b"xvr" in r.stderr + r.stdout:
            break
        print("wine did not run xvr (exit 1): %r; again" % r.stderr[-300:], file=sys.stderr)
    for name in () if binary else ("stdout", "stderr"):
        text = getattr(r, name).decode("utf-8", "replace")
        # Text written by a Windows program ends its lines with CR LF.
        setattr(r, name, text.replace("\r\n", "\n") if ARGS.emulator else text)
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


def wait_for(fd, text, seen):
    """Reads fd (at most 20 s) until text comes; seen[0] keeps what is after it."""
    deadline = time.monotonic() + 20
    while text not in seen[0] and time.monotonic() < deadline:
        if select.select([fd], [], [], 0.5)[0]:
            try:
                seen[0] += os.read(fd, 65536)
            except OSError:
                break
    found = text in seen[0]
    if found:
        seen[0] = seen[0][seen[0].index(text) + len(text):]
    return found


def temp_dir(test):
    d = tempfile.mkdtemp()
    test.addCleanup(shutil.rmtree, d)
    return d


def logging_dir(test):
    """A parameter directory with the call log switched on."""
    d = temp_dir(test)
    with open(os.path.join(d, "XVR.XVR"), "w") as f:
        f.write("[XVR]\nLogFunctions=Yes\nLogData=Yes\n")
    return d


class Usage(unittest.TestCase):
    def test_help_explains_every_command(self):
        r = xvr("--help")
        self.assertEqual(r.returncode, 0)
        names = re.findall(r"^  (\w[\w-]*) ", r.stdout, re.M)
        self.assertEqual(names, ["drivers", "params", "ports", "query", "write", "read", "get", "set",
                                 "clear", "trigger", "stb", "wait-srq", "lock", "remote",
                                 "shell", "run", "bench", "log", "completion"])
        for name in names:
            r = xvr(name, "--help")
            self.assertEqual(r.returncode, 0, name)
            self.assertTrue(r.stdout.startswith("Usage: xvr " + name), r.stdout)
            self.assertEqual(r.stderr, "")
        r = xvr("--version")
        self.assertEqual(r.returncode, 0)
        self.assertRegex(r.stdout, r"^xvr \d+\.\d+\.\d+ \(library interface version 100\)\n$")

    def test_bad_command_lines_exit_2_without_output(self):
        cases = [
            [], ["frobnicate"], ["--frob", "drivers"], ["drivers", "--hex"], ["-v", "params", "COM"],
            ["completion", "zsh"], ["log", "a", "b"], ["run", *GPIB, "/nonexistent/script"],
            ["query", "TCP/IP", "127.0.0.1:1"], ["query", "TCP/IP", "127.0.0.1:1", "*IDN?", "extra"],
            ["query", *GPIB, "*IDN?", "--bogus"], ["query", *GPIB, "*IDN?", "--timeout"],
            ["query", *GPIB, "*IDN?", "--timeout", "soon"], ["query", *GPIB, "*IDN?", "--hex=yes"],
            ["read", *GPIB, "-n", "-3"], ["query", *GPIB, "*IDN?", "-o", "out.bin"],
            # Bad hex data is refused before anything is sent.
            ["write", *GPIB, "4X", "--hex"], ["read", *GPIB, "--hex-in"],
            # Drivers, addresses and values the library would take but not as
            # meant (the checks at their limits: cli_parts_test.cpp).
            ["query", "NOPE", "x", "*IDN?"], ["query", "TCP/IP", "127.0.0.1:70000", "*IDN?"],
            ["get", *GPIB, "BOGUS"], ["set", "TCP/IP", "127.0.0.1:1", "BUFFER", "10"],
            ["set", *GPIB, "TIMEOUT", "abc"], ["query", *GPIB, "*IDN?", "--delimiter", "\\ZZ"],
            ["get", "KX GPIB", "Dev31", "DELIMITER"], ["get", "QUV GPIB", "Dev 32", "DELIMITER"],
            ["run", *GPIB, tempfile.gettempdir()], ["set", *GPIB, "TIMEOUT", "-1"],
        ]
        for args in cases:
            r = xvr(*args)
            self.assertEqual(r.returncode, 2, (args, r.stderr))
            self.assertEqual(r.stdout, "", args)
            self.assertNotEqual(r.stderr, "", args)

    def test_rejected_command_line_keeps_the_call_log(self):
        d = logging_dir(self)
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


    def test_refusals_say_what_and_why(self):
        silent = ScriptedInstrument({})
        self.addCleanup(silent.close)
        d = temp_dir(self)
        binary, not_a_log = os.path.join(d, "binary"), os.path.join(d, "notes.txt")
        with open(binary, "wb") as f:
            f.write(b"*IDN?\x00junk\n\x7fELF\x02\x01\n")
        with open(not_a_log, "w") as f:
            f.write("hello\n")
        cases = [
            (["query", *GPIB, "MEAS:VOLT?", "DC"], 2, "quote it, as in 'MEAS:VOLT? DC'"),
            (["query", *GPIB, "*IDN?", "-d", ""], 2, "an empty delimiter cannot end a message"),
            (["read", *GPIB, "--delimiter="], 2, "an empty delimiter cannot end a message"),
            (["get", *GPIB[:1], "Dev 32", "DELIMITER"], 2, "address is Dev 0 to Dev30"),
            (["set", *GPIB, "TIMEOUT", "-1"], 2, "TIMEOUT must be a whole number"),
            (["run", *GPIB, binary], 2, "binary:1: the line holds the control byte \\00"),
            (["run", *GPIB, d], 2, "cannot read %s: it is a directory" % d),
            (["log", d], 1, "cannot read %s: it is a directory" % d),
            (["log", not_a_log], 1, "is not a call log of the library"),
            (["log", os.path.join(d, "missing.log")], 1, "missing.log: No such file or directory"),
            (["query", "TCP/IP", silent.address, "x" * 20000, "-t", "100"], 1, "... (20000 bytes)"),
            (["read", "TCP/IP", silent.address, "-t", "100"], 1, "each xvr run is a new connection"),
        ]
        for args, code, text in cases:
            r = xvr(*args)
            self.assertEqual((r.returncode, r.stdout), (code, ""), args[:3])
            self.assertIn(text, r.stderr, args[:3])
            self.assertNotIn("basic_string", r.stderr)
            self.assertLess(len(r.stderr), 2000, args[:3])

    def test_options_stand_anywhere_and_take_attached_values(self):
        d = logging_dir(self)
        r = xvr("query", *GPIB, "*IDN?", "-v", "-t300", xvr_dir=d)
        self.assertEqual((r.returncode, r.stdout), (0, SIMBUS_IDN + "\n"), r.stderr)
        self.assertIn("flXVRParamSet(0x", r.stderr)
        self.assertIn("TIMEOUT, 300)", r.stderr)


class Library(unittest.TestCase):
    def test_drivers_lists_the_catalogue(self):
        r = xvr("drivers")
        self.assertEqual(r.returncode, 0, r.stderr)
        lines = r.stdout.splitlines()
        self.assertEqual([l[:9].strip() for l in lines], ["COM", "TCP/IP", "UDP", "KX GPIB", "QUV GPIB", "VXI-11", "HiSLIP"])
        self.assertIn("COM1 .. COM255 (255 values)", lines[0])
        # The addresses the open takes, which the catalogue counts one off.
        self.assertIn("Dev 0 .. Dev30 (31 values) (the catalogue lists Dev 1 .. Dev31)", lines[3])
        self.assertIn("HOST[:DEVICE]", lines[5])
        self.assertIn("(listed by the catalogue with Catalogue=all)", lines[5])
        full = xvr("drivers", "--all").stdout.splitlines()
        self.assertIn("  COM255", full)
        self.assertIn("  Dev 0", full)
        self.assertIn("  Dev30", full)

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
        home = temp_dir(self)
        pid, fd = pty.fork()
        if pid == 0:
            env = dict(xvr_env(), HOME=home, TERM="dumb")
            os.execve(ARGS.xvr, [ARGS.xvr, "shell", *GPIB], env)
        out = [b""]
        try:
            self.assertTrue(wait_for(fd, b"xvr> ", out), out)
            os.write(fd, b"never sent?\x03")  # Ctrl-C: the line is dropped, the shell goes on
            self.assertTrue(wait_for(fd, b"xvr> ", out), out)
            os.write(fd, b"*IDN?\r")
            self.assertTrue(wait_for(fd, SIMBUS_IDN.encode(), out), out)
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

    @native_only
    def test_ctrl_c_abandons_a_pending_read_and_keeps_the_shell(self):
        import pty
        peer = ScriptedInstrument({b"*IDN?": b"ID\r\n", b"CURV?": b"#13a\x1bb\r\n"})
        self.addCleanup(peer.close)
        pid, fd = pty.fork()
        if pid == 0:
            env = dict(xvr_env(), HOME=temp_dir(self), TERM="dumb")
            os.execve(ARGS.xvr, [ARGS.xvr, "shell", "TCP/IP", peer.address, "-t", "30s", "-d", "\\0D\\0A"], env)
        out = [b""]
        try:
            self.assertTrue(wait_for(fd, b"xvr> ", out), out)
            start = time.monotonic()
            os.write(fd, b"SLOW?\r")  # never answered
            time.sleep(0.5)
            os.write(fd, b"\x03")
            self.assertTrue(wait_for(fd, b"interrupted (Ctrl-C)", out), out)
            self.assertTrue(wait_for(fd, b"xvr> ", out), out)
            self.assertLess(time.monotonic() - start, 10)
            # The two-byte delimiter is found across the read's slices, and
            # the block's ESC reaches the terminal as hex.
            os.write(fd, b"*IDN?\r")
            self.assertTrue(wait_for(fd, b"ID\r\n", out), out)
            os.write(fd, b"CURV?\r")
            self.assertTrue(wait_for(fd, b"61 1B 62\r\n", out), out)
            os.write(fd, b":quit\r")
            _, status = os.waitpid(pid, 0)
            pid = 0
            self.assertEqual(os.waitstatus_to_exitcode(status), 1)  # the interrupted line failed
        finally:
            if pid:
                os.kill(pid, 9)
                os.waitpid(pid, 0)
            os.close(fd)

    def test_run_stops_at_the_first_failure_unless_told_to_keep_going(self):
        d = temp_dir(self)
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
        # Only sent, as its first word has no '?'; the instrument echoes it.
        self.assertEqual(out[-2:], ["> :read 3", "73 61 79"])
        self.assertIn("script.txt:8:", r.stderr)

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
        d = logging_dir(self)
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

    def test_a_log_that_cannot_be_written_is_warned_about(self):
        d = logging_dir(self)
        os.mkdir(os.path.join(d, "XVR.log"))  # unwritable even for root
        r = xvr("query", *GPIB, "*IDN?", xvr_dir=d)
        self.assertEqual((r.returncode, r.stdout), (0, SIMBUS_IDN + "\n"))
        self.assertIn("warning: the call log is switched on in", r.stderr)
        self.assertIn("XVR.log cannot be written", r.stderr)
        self.assertEqual(xvr("query", *GPIB, "*IDN?").stderr, "")  # logging off: no word

    def test_verbose_logs_one_command_without_touching_the_users_files(self):
        d = temp_dir(self)
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

    @native_only
    def test_follow_prints_new_entries_and_a_restarted_log(self):
        d = logging_dir(self)
        follower = subprocess.Popen([ARGS.xvr, "log", "-f"], env=xvr_env(d), stdout=subprocess.PIPE)
        self.addCleanup(follower.wait, 10)
        self.addCleanup(follower.terminate)
        out, fd = [b""], follower.stdout.fileno()
        xvr("query", *GPIB, "*IDN?", xvr_dir=d)
        self.assertTrue(wait_for(fd, b"|XVR-SIMBUS,DEV5,|", out) and wait_for(fd, b"XVRDeInit", out), out)
        # The next run starts the log afresh, shorter than it was.
        xvr("write", *GPIB, "*TRG", xvr_dir=d)
        self.assertTrue(wait_for(fd, b"--- the log was started afresh ---\nXVRInit", out), out)
        self.assertTrue(wait_for(fd, b"|*TRG|", out), out)
        # A new log written over the old in place, never shorter than it was.
        log = os.path.join(d, "XVR.log")
        entry = "XVRInit: ActVersion = 100, MinVersion = 100\r\nflXVRClose(0x1010001)\r\n"
        fresh = b"\xff\xfe" + (entry * (1 + len(read_bytes(log)) // len(entry))).encode("utf-16-le")
        with open(log, "r+b") as f:
            f.write(fresh)
        self.assertTrue(wait_for(fd, b"--- the log was started afresh ---\nXVRInit: ActVersion = 100, "
                                     b"MinVersion = 100\nflXVRClose(0x1010001)\n", out), out)


class Discovery(unittest.TestCase):
    def test_ports_lists_system_ports_and_com_names(self):
        d = temp_dir(self)
        with open(os.path.join(d, "XVR.XVR"), "w") as f:
            f.write("[COM]\nCOM3 = /dev/ttyUSB9 ; the adapter\n[Other]\nCOM4=/dev/nothing\n")
        r = xvr("ports", xvr_dir=d)
        self.assertEqual((r.returncode, r.stderr), (0, ""))
        if not ARGS.emulator:
            self.assertIn("Serial ports (/sys/class/tty):", r.stdout)
            self.assertIn("  COM3     -> /dev/ttyUSB9\n", r.stdout)
            self.assertNotIn("COM4", r.stdout)

    def test_params_lists_each_drivers_parameters(self):
        names = {}
        for driver in ("COM", "tcp/ip", " kx gpib "):
            r = xvr("params", driver)
            self.assertEqual((r.returncode, r.stderr), (0, ""), driver)
            names[driver] = re.findall(r"^  ([A-Z]+) +(.*)$", r.stdout, re.M)
        self.assertEqual([n for n, _ in names["COM"]],
                         ["BAUDRATE", "DATABITS", "PARITY", "STOPBITS", "HANDSHAKE", "TIMEOUT", "DELIMITER",
                          "CLEAR"])
        self.assertEqual(dict(names["tcp/ip"])["BUFFER"], "get only")
        self.assertEqual(dict(names[" kx gpib "]), {"TIMEOUT": "set only", "DELIMITER": "get, set",
                                                    "TRIGGER": "set only"})

    @native_only
    @unittest.skipUnless(shutil.which("bash"), "needs bash")
    def test_bash_completion(self):
        # The script the build made from xvr.bash.in and the parameter table.
        made = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(ARGS.xvr))), "generated", "xvr.bash")
        self.assertEqual(xvr("completion", "bash").stdout, read_bytes(made).decode())

        def complete(*words):
            script = ('source <("$XVR" completion bash); COMP_WORDS=("$XVR" "$@"); '
                      'COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 )); _xvr; printf "%s\\n" "${COMPREPLY[@]}"')
            env = dict(xvr_env(), XVR=ARGS.xvr)
            out = subprocess.run(["bash", "-c", script, "bash", *words], capture_output=True, env=env,
                                 timeout=30).stdout.decode()
            return sorted(filter(None, out.splitlines()))

        self.assertEqual(complete("qu"), ["query"])
        self.assertEqual(complete("query", "K"), ["KX\\ GPIB"])
        self.assertEqual(complete("shell", ""), ["COM", "HiSLIP", "KX\\ GPIB", "QUV\\ GPIB", "TCP/IP", "UDP",
                                                 "VXI-11"])
        self.assertEqual(complete("wait"), ["wait-srq"])
        self.assertEqual(complete("remote", "HiSLIP", "h", "LO"), ["LOCAL", "LOCKOUT"])
        self.assertEqual(complete("set", "COM", "COM1", "HA"), ["HANDSHAKE"])
        self.assertEqual(complete("get", "KX\\ GPIB", "Dev 5", "T"), ["TIMEOUT", "TRIGGER"])
        self.assertEqual(complete("set", "hislip", "h", "lock", "s"), ["SHARED:"])
        self.assertEqual(complete("query", "--bl"), ["--block"])
        # As bash splits them: at ':' too, escaped or quoted blanks inside one word.
        self.assertEqual(complete("get", "TCP/IP", "127.0.0.1", ":", "5025", "TI"), ["TIMEOUT"])
        self.assertEqual(complete("get", "-t", "300", "UDP", "h", ":", "1", "-v", "DE"), ["DELIMITER"])
        self.assertEqual(complete("set", "KX\\ GPIB", "Dev\\ 5", "TR"), ["TRIGGER"])
        self.assertEqual(complete("set", "'KX GPIB'", "'Dev 5'", "TI"), ["TIMEOUT"])
        self.assertEqual(complete("query", '"KX G'), ['"KX GPIB"'])
        self.assertEqual(complete("log", made[:-3]), [made])


class Blocks(unittest.TestCase):
    def test_block_is_read_whole_whatever_its_bytes_and_non_blocks_fail(self):
        # The delimiter inside the block must not end it.
        peer = ScriptedInstrument({b"CURV?": b"#15ab\ncd\n", b"OPEN?": b"#0x\ny\n",
                                   b"ERR?": b"-113,Undefined header\n", b"SHORT?": b"#210abc\n"})
        self.addCleanup(peer.close)
        d = temp_dir(self)

        def query(command, *args):
            r = xvr("query", "TCP/IP", peer.address, command, "--block", "--timeout", "1000", *args, binary=True)
            return r.returncode, (r.stdout.replace(b"\r\n", b"\n") if "--hex-out" in args else r.stdout), r.stderr

        self.assertEqual(query("CURV?", "-o", os.path.join(d, "curve.bin")), (0, b"", b""))
        self.assertEqual(read_bytes(os.path.join(d, "curve.bin")), b"ab\ncd")
        self.assertEqual(query("CURV?")[:2], (0, b"ab\ncd"))  # raw into a pipe
        self.assertEqual(query("CURV?", "--hex-out")[1], b"61 62 0A 63 64\n")
        self.assertEqual(query("OPEN?", "--hex-out")[1], b"78\n")  # an indefinite block ends at the delimiter
        code, out, err = query("ERR?")
        self.assertEqual((code, out), (1, b""))
        self.assertIn(b"is not a block (#<n><length><data>): '-113,Undefined header'", err)
        code, _, err = query("SHORT?", "-o", os.path.join(d, "short.bin"))
        self.assertEqual(code, 1)
        self.assertIn(b"timed out after 1000 ms waiting for the 10 data bytes of the block "
                      b"(4 of 10 bytes came)", err)


class Output(unittest.TestCase):
    def test_failed_capture_keeps_the_earlier_file(self):
        peer = ScriptedInstrument({b"CURV?": b"#15abcde\n", b"SHORT?": b"#210abc\n"})
        self.addCleanup(peer.close)
        d = temp_dir(self)
        keep = os.path.join(d, "keep.bin")
        with open(keep, "wb") as f:
            f.write(b"good capture")
        for address, command in (("127.0.0.1:1", "CURV?"), (peer.address, "SHORT?")):
            for args in (["query", "TCP/IP", address, command, "--block"], ["read", "TCP/IP", address]):
                r = xvr(*args, "-o", keep, "--timeout", "300")
                self.assertEqual(r.returncode, 1, args)
                self.assertEqual(read_bytes(keep), b"good capture", args)
        self.assertEqual(os.listdir(d), ["keep.bin"])  # no temporary file left behind
        self.assertEqual(xvr("query", "TCP/IP", peer.address, "CURV?", "-b", "-o", keep).returncode, 0)
        self.assertEqual(read_bytes(keep), b"abcde")
        r = xvr("read", "TCP/IP", peer.address, "-o", d)
        self.assertEqual(r.returncode, 1)
        self.assertIn("cannot create %s: it is a directory" % d, r.stderr)

    @native_only
    def test_write_errors_fail_with_the_reason(self):
        peer = ScriptedInstrument({b"CURV?": b"#15abcde\n"})
        self.addCleanup(peer.close)
        r = xvr("query", "TCP/IP", peer.address, "CURV?", "--block", "-o", "/dev/full")
        self.assertEqual(r.returncode, 1)
        self.assertIn("cannot write /dev/full: No space left on device", r.stderr)
        for args in (["query", *GPIB, "DATA? 100000"], ["query", *GPIB, "*IDN?"], ["drivers"]):
            with open("/dev/full", "wb") as full:
                r = subprocess.run([ARGS.xvr, *args], stdout=full, stderr=subprocess.PIPE, env=xvr_env(),
                                   timeout=60)
            self.assertEqual(r.returncode, 1, args)
            self.assertIn(b"cannot write standard output: No space left on device", r.stderr, args)


    def test_shell_and_run_read_blocks_whole(self):
        peer = ScriptedInstrument({b"CURV?": b"#15ab\ncd\n", b"LAST?": b"#13ab\n\n", b"*IDN?": b"ID\n",
                                   b"BEL?": b"a\x07b\n"})
        self.addCleanup(peer.close)
        script = "CURV?\n*IDN?\nLAST?\n*IDN?\nBEL?\n"
        for command in ("shell", "run"):
            r = xvr(command, "TCP/IP", peer.address, *(["-"] if command == "run" else []), "-t", "2000",
                    stdin=script, binary=True)
            self.assertEqual((r.returncode, r.stderr), (0, b""), command)
            self.assertEqual(r.stdout.replace(b"\r\n", b"\n"), b"ab\ncd\nID\nab\n\nID\na\x07b\n", command)
        r = xvr("run", "TCP/IP", peer.address, "-", "--hex-out", stdin="CURV?\n")
        self.assertEqual(r.stdout, "61 62 0A 63 64\n")


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

    def test_options_reach_the_device(self):
        tcp = self.ports["TCP"]
        self.assertEqual(xvr("get", "TCP/IP", tcp, "TIMEOUT", "--timeout", "250").stdout, "250\n")
        # The command goes out ended by CR, which the instrument takes; its
        # answer ends with LF, so a read waiting for CR runs into the time-out.
        start = time.monotonic()
        r = xvr("query", "TCP/IP", tcp, "*IDN?", "--delimiter", "\\0D", "--timeout", "300")
        self.assertEqual((r.returncode, r.stdout), (1, ""))
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

    def test_block_answer_of_the_simulator_is_read_whole(self):
        # Its data holds the delimiter (LF) and CR: only the count can end it.
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
                    self.assertEqual(read_bytes(out), bytes((i + 10) % 256 for i in range(1000)), driver)
            finally:
                with_sim.stop_sim(sim)


class Control(unittest.TestCase):
    """clear, trigger, stb, wait-srq, lock, remote and their directives."""

    def test_what_a_driver_lacks_is_refused_before_the_library_starts(self):
        for args, why in ((("stb", "TCP/IP", "127.0.0.1:1"), "driver TCP/IP has no parameter 'STB'"),
                          (("clear", *GPIB), "driver KX GPIB has no parameter 'CLEAR'"),
                          (("lock", "UDP", "127.0.0.1:1", "EXCLUSIVE"), "has no parameter 'LOCK'"),
                          (("lock", "VXI-11", "127.0.0.1", "SHARED:bench"), "LOCK must be one of EXCLUSIVE, NONE"),
                          (("remote", "HiSLIP", "127.0.0.1:hislip0", "away"), "REMOTE must be one of"),
                          (("lock", "HiSLIP", ":hislip0", "NONE"), "starts with the host"),
                          (("wait-srq", "COM", "COM1"), "has no parameter 'SRQ'"),
                          (("trigger", "TCP/IP", "127.0.0.1:1"), "has no parameter 'TRIGGER'")):
            r = xvr(*args)
            self.assertEqual((r.returncode, r.stdout), (2, ""), args)
            self.assertIn(why, r.stderr, args)
        r = xvr("run", *GPIB, "-", stdin=":stb\n")
        self.assertEqual(r.returncode, 2)
        self.assertIn("stdin:1: driver KX GPIB has no parameter 'STB'", r.stderr)

    def test_trigger_as_command_and_directive(self):
        self.assertEqual(xvr("trigger", *GPIB).returncode, 0)
        r = xvr("run", *GPIB, "-", stdin=":trigger\n:trigger\nTRIGGERS?\n")
        self.assertEqual((r.returncode, r.stdout, r.stderr), (0, "2\n", ""))
        self.assertIn(":wait-srq [TIME]", xvr("shell", "--help").stdout)

    @unittest.skipUnless(os.environ.get("XVR_CLI_SIM"), "needs xvr-sim (Linux)")
    def test_clear_drops_a_stale_answer(self):
        with tempfile.TemporaryDirectory() as d:
            sim, ports = with_sim.start_sim(os.environ["XVR_CLI_SIM"], d)
            try:
                # "*IDN?;*OPC" is sent without a read; its answer waits until the clear.
                for driver, address in (("TCP/IP", ports["TCP"]), ("COM", "COM7")):
                    script = "*IDN?;*OPC\n:sleep 200\n:clear\nMEAS:VOLT?\n"
                    r = xvr("run", driver, address, "-", stdin=script, xvr_dir=d)
                    self.assertEqual((r.returncode, r.stdout, r.stderr), (0, "+1.234500E+00\n", ""), driver)
                self.assertEqual(xvr("clear", "UDP", ports["UDP"], xvr_dir=d).returncode, 0)
                # The LAN instruments, where this simulator serves them.
                for kind, address in lan_addresses(sim, d).items():
                    self.lan_control(kind, address, d)
            finally:
                with_sim.stop_sim(sim)

    def lan_control(self, kind, address, d):
        r = xvr("stb", kind, address, xvr_dir=d)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(0 <= int(r.stdout) <= 255)
        for args in (("clear",), ("trigger",), ("lock", "EXCLUSIVE"), ("remote", "LOCAL")):
            r = xvr(args[0], kind, address, *args[1:], xvr_dir=d)
            self.assertEqual((r.returncode, r.stderr), (0, ""), (kind, args))
        # Delivery starts with SRQ ENABLE: a request before it is not kept.
        script = ":set SRQ ENABLE\n*CLS;*SRE 32;*ESE 1;*OPC\n:wait-srq 2s\n:stb\n*CLS;*SRE 0\n:wait-srq 150ms\n"
        r = xvr("run", kind, address, "-", stdin=script, xvr_dir=d)
        self.assertEqual(r.returncode, 1, kind)
        srq, stb = (int(n) for n in r.stdout.split())
        self.assertTrue(srq & 0x40 and stb & 0x20, (kind, srq, stb))
        self.assertIn("timed out after 150 ms waiting for a service request (status -6, XVR_ERR_TRANSFER)",
                      r.stderr)


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
