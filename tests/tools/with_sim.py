#!/usr/bin/env python3
"""Runs one command next to a running xvr-sim, for the CTest definitions.

    with_sim.py BIN_DIR [--instrument FILE] COMMAND [ARGS...]

Starts BIN_DIR/xvr-sim with a temporary --xvr-dir, waits (at most 10 s) for
it to be ready, replaces {tcp}, {udp}, {hislip} and {bin} in the arguments,
runs the command (at most 120 s) with XVR_DIR and LD_LIBRARY_PATH set as the
simulator announces them (and XVR_SIM_PORTMAPPER, the port of its VXI-11
portmapper), stops the simulator and exits with the command's status.
Exits 77 (a skip) when BIN_DIR holds no xvr-sim.
"""
import os
import re
import subprocess
import sys
import tempfile
import time


def start_sim(bin_dir, xvr_dir, extra=(), prefix=()):
    """Starts xvr-sim (after the prefix command, such as taskset, if given)."""
    out = open(os.path.join(xvr_dir, "sim.out"), "w+")
    sim = subprocess.Popen([*prefix, os.path.join(bin_dir, "xvr-sim"), "--xvr-dir", xvr_dir, *extra],
                           stdout=out, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        out.seek(0)
        text = out.read()
        if "READY" in text:
            ports = dict(re.findall(r"^(TCP|UDP|HiSLIP) (\S+)$", text, re.M))
            vxi11 = re.search(r"^VXI-11 (\S+) portmapper (\d+)$", text, re.M)
            if vxi11:
                ports["VXI-11"], ports["PORTMAPPER"] = vxi11.group(1), vxi11.group(2)
            bus = re.search(r"^LD_LIBRARY_PATH (.+) \(set it", text, re.M)
            if bus:
                ports["LD_LIBRARY_PATH"] = bus.group(1)
            sim.output_file = out
            return sim, ports
        if sim.poll() is not None:
            break
        time.sleep(0.05)
    stop_sim(sim)
    out.seek(0)
    text = out.read()
    out.close()
    raise RuntimeError("xvr-sim did not start: " + text)


def stop_sim(sim):
    if sim.poll() is None:
        sim.terminate()
        try:
            sim.wait(5)
        except subprocess.TimeoutExpired:
            sim.kill()
            sim.wait(5)
    if getattr(sim, "output_file", None):
        sim.output_file.close()
    return sim.returncode


def replace_all(text, values):
    for key, value in values.items():
        text = text.replace("{" + key + "}", value)
    return text


def main():
    bin_dir, command = sys.argv[1], sys.argv[2:]
    extra = []
    if command[:1] == ["--instrument"]:
        extra, command = command[:2], command[2:]
    if not os.path.exists(os.path.join(bin_dir, "xvr-sim")):
        print("skipped: no xvr-sim in " + bin_dir)
        return 77
    with tempfile.TemporaryDirectory() as xvr_dir:
        sim, ports = start_sim(bin_dir, xvr_dir, extra)
        try:
            values = {"tcp": ports["TCP"], "udp": ports["UDP"], "hislip": ports.get("HiSLIP", ""), "bin": bin_dir}
            args = [replace_all(a, values) for a in command]
            library_path = [ports.get("LD_LIBRARY_PATH"), os.environ.get("LD_LIBRARY_PATH")]
            env = dict(os.environ, XVR_DIR=xvr_dir, LD_LIBRARY_PATH=os.pathsep.join(filter(None, library_path)))
            if "PORTMAPPER" in ports:
                env["XVR_SIM_PORTMAPPER"] = ports["PORTMAPPER"]
            rc = subprocess.run(args, env=env, timeout=120).returncode
        finally:
            stop_sim(sim)
    return rc


if __name__ == "__main__":
    sys.exit(main())
