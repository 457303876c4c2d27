#!/usr/bin/env python3
"""xvr-sim's VXI-11 server and the library's VXI-11 client against programs
we did not write, inside a network namespace of their own (they need the
portmapper on port 111):

    vxi11_external.py BIN_DIR INSTRUMENT_FILE

- lxi-tools: `lxi scpi -a 127.0.0.1 '*IDN?'` answers;
- pyvisa-py (/usr/bin/python3): query, read_stb, clear, assert_trigger, lock;
- tshark: a capture of the VXI-11 host tests (our client) decodes as VXI-11
  with no malformed packet and no expert mark of warning or worse (TCP's
  sequence analysis off: its flow marks are not about VXI-11).

Exits 77 (a skip) with the reason when no namespace can be made or a tool
is missing; every step is bounded.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import with_sim  # noqa: E402

SKIP = 77

PYVISA_CHECK = r"""
import pyvisa
rm = pyvisa.ResourceManager('@py')
inst = rm.open_resource('TCPIP::127.0.0.1::inst0::INSTR', open_timeout=3000)
inst.timeout = 3000
assert inst.query('*IDN?').startswith('XVR-SIM,'), 'query'
inst.write('*IDN?')
assert inst.read_stb() & 0x10, 'MAV after a query'
inst.clear()
assert not inst.read_stb() & 0x10, 'device clear drops the answer'
inst.assert_trigger()
inst.lock_excl()
assert inst.query('*IDN?').startswith('XVR-SIM,'), 'query under a lock'
inst.unlock()
inst.close()
print('pyvisa-py ok')
"""


def run(args, timeout=60, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          timeout=timeout, **kw)


def outside():
    for prefix in (["unshare", "-n"], ["unshare", "-rn"]):
        try:
            if run([*prefix, "true"], timeout=10).returncode == 0:
                return subprocess.run([*prefix, sys.executable, *sys.argv, "--inside"], timeout=280).returncode
        except (OSError, subprocess.TimeoutExpired):
            pass
    print("skipped: no network namespace can be made here (unshare -n / -rn refused)")
    return SKIP


def capture_host_tests(bin_dir, instrument, work):
    """Our client under tshark; returns a list of faults."""
    pcap = os.path.join(work, "vxi11.pcap")
    log = open(os.path.join(work, "tshark.log"), "w+")
    tshark = subprocess.Popen(["tshark", "-i", "lo", "-w", pcap], stdout=log, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        log.seek(0)
        if "Capture started" in log.read() or tshark.poll() is not None:
            break
        time.sleep(0.1)
    sim, ports = with_sim.start_sim(bin_dir, work, ["--instrument", instrument, "--portmapper", "111"])
    try:
        env = dict(os.environ, XVR_SIM_PORTMAPPER="111", LD_LIBRARY_PATH=bin_dir)
        tests = run([os.path.join(bin_dir, "xvr_vxi11_host_tests")], timeout=120, env=env)
        core = ports["VXI-11"].rsplit(":", 1)[1]
    finally:
        with_sim.stop_sim(sim)
        time.sleep(1)
        tshark.terminate()
        tshark.wait(10)
    faults = []
    if tests.returncode != 0:
        faults.append("host tests failed under capture:\n" + tests.stdout[-3000:])
    # TCP's own flow marks ("window full" while a large block streams) say
    # nothing about the protocol under test: sequence analysis is off.
    decode = ["tshark", "-r", pcap, "-d", "tcp.port==%s,rpc" % core, "-o", "tcp.analyze_sequence_numbers:FALSE"]
    listing = subprocess.run(decode, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, timeout=60).stdout
    if "VXI-11 Core" not in listing or "DEVICE_READ" not in listing:
        faults.append("the capture does not decode as VXI-11:\n" + listing[-3000:])
    marked = subprocess.run(decode + ["-Y", "_ws.malformed || _ws.expert.severity >= warning"],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=60)
    if marked.returncode != 0:
        faults.append("tshark -r failed: " + marked.stderr[-2000:])
    marked = marked.stdout.strip()
    if marked:
        faults.append("malformed or warned packets:\n" + marked[-3000:])
    return faults


def inside(bin_dir, instrument):
    if run(["ip", "link", "set", "lo", "up"]).returncode != 0:
        print("skipped: cannot bring up the namespace's loopback")
        return SKIP
    missing = [tool for tool in ("lxi", "tshark") if not shutil.which(tool)]
    if missing:
        print("skipped: not installed: " + ", ".join(missing))
        return SKIP
    faults = []
    with tempfile.TemporaryDirectory() as work:
        sim, _ = with_sim.start_sim(bin_dir, work, ["--instrument", instrument, "--portmapper", "111"])
        try:
            lxi = run(["lxi", "scpi", "-a", "127.0.0.1", "*IDN?"], timeout=30)
            if "XVR-SIM," not in lxi.stdout:
                faults.append("lxi scpi: " + lxi.stdout)
            visa = run(["/usr/bin/python3", "-c", PYVISA_CHECK], timeout=60)
            if "pyvisa-py ok" not in visa.stdout:
                faults.append("pyvisa-py: " + visa.stdout[-3000:])
        finally:
            with_sim.stop_sim(sim)
        with tempfile.TemporaryDirectory() as work2:
            faults += capture_host_tests(bin_dir, instrument, work2)
    for fault in faults:
        print("FAULT: " + fault)
    print("lxi-tools, pyvisa-py and tshark: " + ("ok" if not faults else "%d faults" % len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    if sys.argv[-1] == "--inside":
        sys.exit(inside(sys.argv[1], sys.argv[2]))
    sys.exit(outside())
