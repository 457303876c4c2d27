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
    r = subprocess.run(command, input=stdin.encode() if stdin else None, capture_output=True,
                       timeout=timeout, env=xvr_env(xvr_dir))
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
        names = re.findall(r"^  (\w+) ", r.stdout, re.M)
        self.assertEqual(names, ["drivers", "params", "ports", "query", "write", "read", "get", "set",
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
        ]
        for args in cases:
            r = xvr(*args)
            self.assertEqual(r.returncode, 2, args)
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


class Library(unittest.TestCase):
    def test_drivers_lists_the_catalogue(self):
        r = xvr("drivers")
        self.assertEqual(r.returncode, 0, r.stderr)
        lines = r.stdout.splitlines()
        self.assertEqual([l[:9].strip() for l in lines], ["COM", "TCP/IP", "UDP", "KX GPIB", "QUV GPIB", "VXI-11"])
        self.assertIn("COM1 .. COM255 (255 values)", lines[0])
        self.assertIn("HOST[:DEVICE]", lines[5])
        self.assertIn("(listed by the catalogue with Catalogue=all)", lines[5])
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
        r = xvr("log", os.path.join(d, "missing.log"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("cannot read", r.stderr)

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
        self.assertEqual(complete("set", "COM", "COM1", "HA"), ["HANDSHAKE"])
        self.assertEqual(complete("get", "KX\\ GPIB", "Dev 5", "T"), ["TIMEOUT", "TRIGGER"])
        self.assertEqual(complete("set", "hislip", "h", "lock", "s"), ["SHARED:"])
        self.assertEqual(complete("query", "--bl"), ["--block"])


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
