#!/usr/bin/env python3
"""Captures our HiSLIP client talking to xvr-sim and has tshark judge it.

    hislip_capture.py BIN_DIR INSTRUMENT_FILE CLIENT [ARGS...]

Runs in a network namespace of its own (unshare -n, or -rn without root;
loopback only), starts xvr-sim with INSTRUMENT_FILE and tshark on lo, runs
CLIENT with XVR_HISLIP_SIM set, then decodes the capture as HiSLIP on the
simulator's port.  Fails on any malformed packet or protocol warning, or
when either channel is missing.  Exits 77 (skipped) where namespaces or
tshark are not available.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from with_sim import start_sim, stop_sim  # noqa: E402

SKIP = 77


def in_namespace(argv):
    for unshare in (["unshare", "-n"], ["unshare", "-rn"]):
        probe = subprocess.run([*unshare, "true"], capture_output=True)
        if probe.returncode == 0:
            env = dict(os.environ, XVR_CAPTURE_INSIDE="1")
            return subprocess.run([*unshare, sys.executable, *argv], env=env).returncode
    print("skipped: no network namespace can be made here (unshare -n / -rn refused)")
    return SKIP


def tshark(*args):
    return subprocess.run(["tshark", *args], capture_output=True, text=True, timeout=120)


def main():
    if not shutil.which("tshark") or not shutil.which("ip"):
        print("skipped: tshark or ip (iproute2) not installed")
        return SKIP
    if os.environ.get("XVR_CAPTURE_INSIDE") != "1":
        return in_namespace(sys.argv)
    bin_dir, instrument, client = sys.argv[1], sys.argv[2], sys.argv[3:]
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    with tempfile.TemporaryDirectory() as work:
        sim, ports = start_sim(bin_dir, work, ["--instrument", instrument])
        capture = os.path.join(work, "hislip.pcapng")
        try:
            port = ports["HiSLIP"].rsplit(":", 1)[1]
            log = open(os.path.join(work, "tshark.log"), "w+")
            cap = subprocess.Popen(["tshark", "-i", "lo", "-B", "256", "-f", "tcp port " + port, "-w", capture],
                                   stdout=log, stderr=subprocess.STDOUT)
            deadline = time.monotonic() + 20
            while time.monotonic() < deadline:
                log.seek(0)
                if "Capturing on" in log.read():
                    break
                time.sleep(0.05)
            # "Capturing on" can come before the first packet is taken on a
            # busy machine: give it time, and run the client twice (below).
            time.sleep(2)
            env = dict(os.environ, XVR_HISLIP_SIM=ports["HiSLIP"])
            rc = subprocess.run(client + ["--gtest_repeat=2"], env=env, timeout=240).returncode
            time.sleep(0.5)
            cap.terminate()
            cap.wait(20)
        finally:
            stop_sim(sim)
        if rc != 0:
            print("client failed:", rc)
            return 1
        decode = ["-r", capture, "-d", "tcp.port==" + port + ",hislip"]
        bad = tshark(*decode, "-Y", '_ws.malformed || (hislip && _ws.expert.severity >= "Warning")')
        types = tshark(*decode, "-Y", "hislip", "-T", "fields", "-e", "hislip.messagetype")
        seen = {int(t, 16) for line in types.stdout.split() for t in line.split(",") if t}
        print("HiSLIP message types seen:", sorted(seen))
        if bad.returncode != 0 or types.returncode != 0:
            print(bad.stderr, types.stderr)
            return 1
        if bad.stdout.strip():
            print("tshark marks these packets:\n" + bad.stdout)
            return 1
        needed = {0, 1, 17, 18, 15, 16, 7, 19, 23, 8, 9, 21, 22, 4, 5, 24, 25, 10, 11, 12}
        if not needed <= seen:
            print("missing message types:", sorted(needed - seen))
            return 1
    print("capture clean: both channels decoded with no malformed packet or warning")
    return 0


if __name__ == "__main__":
    sys.exit(main())
