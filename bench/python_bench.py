#!/usr/bin/python3
"""Python query latency against one xvr-sim: a raw socket, the quvxvr
package, PyVISA over @xvr and PyVISA over @py (pyvisa-py).

    /usr/bin/python3 bench/python_bench.py [BUILD_DIR] [-n QUERIES] [-r ROUNDS]

Each round runs QUERIES "*IDN?" queries with every client, in an order that
rotates from round to round; the client runs on one core and the simulator
on another.  The table gives per-query times and, per client, the median of
the per-round ratios to the raw socket with their quartiles (Q1-Q3), and the
client's own CPU time per query, which other load on the machine disturbs
far less than the wall-clock time.

Then each PyVISA backend reads a block of BLOCK_BYTES bytes (a line feed
in every 256) with query_binary_values, with PyVISA's default chunk and with
a chunk of 1 MiB, BLOCK_ROUNDS times in rotating order; the table gives the
median seconds.  A larger chunk should never be slower.
Run it with Debian's interpreter, which sees python3-pyvisa.
"""
import argparse
import os
import socket
import statistics
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, "python"))
sys.path.insert(0, os.path.join(SOURCE, "tests", "tools"))
import with_sim  # noqa: E402

COMMAND = "*IDN?"
BLOCK_BYTES = 1000000
# The simulator's default instrument and a block to read.
INSTRUMENT = """name xvr-sim default instrument
*IDN? -> XVR-SIM,Simulated instrument,0001,1.0
block CURV? %d
""" % BLOCK_BYTES


class RawSocket:
    name = "raw Python socket"

    def __init__(self, host, port):
        self.sock = socket.create_connection((host, port), timeout=5)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.pending = b""

    def query(self):
        self.sock.sendall(b"*IDN?\n")
        while b"\n" not in self.pending:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise ConnectionError("the simulator closed the connection")
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line

    def close(self):
        self.sock.close()


class BareCtypes:
    """The two library calls a query needs, with nothing around them: what
    the package adds is the difference to the next row."""
    name = "bare ctypes calls"

    def __init__(self, host, port):
        import ctypes
        import quvxvr
        self.dev = quvxvr.open("TCP/IP", "%s:%d" % (host, port), timeout_ms=5000)
        dll, handle = quvxvr.library().dll, self.dev.handle
        buffer = ctypes.create_string_buffer(4096)
        length = ctypes.c_int32()
        pointer = ctypes.pointer(length)

        def query():
            length.value = 5
            dll.flXVRWrite(handle, b"*IDN?", pointer, 2)
            length.value = 4096
            dll.flXVRRead(handle, buffer, pointer, 1)
            return buffer.raw[:length.value].decode()
        self.query = query

    def close(self):
        self.dev.close()


class Package:
    name = "quvxvr query"

    def __init__(self, host, port):
        import quvxvr
        self.dev = quvxvr.open("TCP/IP", "%s:%d" % (host, port), timeout_ms=5000)
        self.query = lambda: self.dev.query(COMMAND)

    def close(self):
        self.dev.close()


class Visa:
    def __init__(self, backend, host, port):
        import pyvisa
        self.name = "PyVISA %s" % backend
        self.rm = pyvisa.ResourceManager(backend)
        self.inst = self.rm.open_resource("TCPIP::%s::%d::SOCKET" % (host, port), read_termination="\n",
                                          write_termination="\n", timeout=5000)
        self.query = lambda: self.inst.query(COMMAND)

    def close(self):
        self.inst.close()
        self.rm.close()


def block_times(clients, rounds):
    """Median seconds of one query_binary_values per (backend, chunk)."""
    runs = [(client, chunk) for client in clients if isinstance(client, Visa) for chunk in (None, 1 << 20)]
    times = {(client.name, chunk): [] for client, chunk in runs}
    for round_number in range(rounds):
        shift = round_number % len(runs) if runs else 0
        for client, chunk in runs[shift:] + runs[:shift]:
            start = time.perf_counter()
            data = client.inst.query_binary_values("CURV?", datatype="B", container=bytes, chunk_size=chunk)
            times[(client.name, chunk)].append(time.perf_counter() - start)
            assert len(data) == BLOCK_BYTES, client.name
    return {key: statistics.median(values) for key, values in times.items()}


def quartiles(values):
    q1, median, q3 = statistics.quantiles(values, n=4, method="inclusive")
    return median, q1, q3


def pin(cores):
    """Client on the first core, simulator on the second; a note when the
    machine offers only one."""
    if len(cores) < 2:
        return (), "not pinned (one core available)"
    os.sched_setaffinity(0, {cores[0]})
    return ("taskset", "-c", str(cores[1])), "client on core %d, simulator on core %d" % (cores[0], cores[1])


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", nargs="?", default=os.path.join(SOURCE, "build", "native"))
    parser.add_argument("-n", type=int, default=200, help="queries per client and round (200)")
    parser.add_argument("-r", type=int, default=25, help="rounds (25)")
    parser.add_argument("--block-rounds", type=int, default=3, help="rounds of the block reads (3)")
    args = parser.parse_args()
    bin_dir = os.path.join(args.build, "bin")
    os.environ.setdefault("QUVXVR_LIBRARY", os.path.join(bin_dir, "libquvxvr.so.1"))
    prefix, placement = pin(sorted(os.sched_getaffinity(0)))

    with tempfile.TemporaryDirectory() as xvr_dir:
        instrument = os.path.join(xvr_dir, "instrument.txt")
        with open(instrument, "w") as f:
            f.write(INSTRUMENT)
        sim, ports = with_sim.start_sim(bin_dir, xvr_dir, ["--no-serial", "--instrument", instrument], prefix)
        try:
            host, port = ports["TCP"].rsplit(":", 1)
            makers = [lambda: RawSocket(host, int(port)), lambda: BareCtypes(host, int(port)),
                      lambda: Package(host, int(port)),
                      lambda: Visa("@xvr", host, int(port)), lambda: Visa("@py", host, int(port))]
            clients, missing = [], []
            for make in makers:
                try:
                    clients.append(make())
                except ImportError as e:
                    missing.append(str(e))
            for client in clients:
                assert client.query() in (b"XVR-SIM,Simulated instrument,0001,1.0",
                                          "XVR-SIM,Simulated instrument,0001,1.0"), client.name
                for _ in range(max(10, args.n // 10)):  # warm up
                    client.query()
            times = {client.name: [] for client in clients}
            cpu = {client.name: [] for client in clients}
            for round_number in range(args.r):
                shift = round_number % len(clients)
                for client in clients[shift:] + clients[:shift]:
                    query = client.query
                    start, start_cpu = time.perf_counter(), time.process_time()
                    for _ in range(args.n):
                        query()
                    times[client.name].append((time.perf_counter() - start) / args.n * 1e6)
                    cpu[client.name].append((time.process_time() - start_cpu) / args.n * 1e6)
            blocks = block_times(clients, args.block_rounds)
            for client in clients:
                client.close()
        finally:
            with_sim.stop_sim(sim)

    raw, raw_cpu = times[RawSocket.name], cpu[RawSocket.name]
    print("Python TCP query %r, %d rounds x %d queries, %s" % (COMMAND, args.r, args.n, placement))
    print("%-19s %9s %7s %11s %9s | %9s %9s" % ("client", "us/query", "x raw", "(Q1-Q3)", "+us", "CPU us", "CPU +us"))
    overhead = {}
    for name, values in times.items():
        ratio = quartiles([v / r for v, r in zip(values, raw)])
        extra = quartiles([v - r for v, r in zip(values, raw)])[0]
        extra_cpu = quartiles([v - r for v, r in zip(cpu[name], raw_cpu)])[0]
        overhead[name] = (extra, extra_cpu)
        print("%-19s %9.1f %7.2f %11s %9.1f | %9.1f %9.1f" % (
            name, statistics.median(values), ratio[0], "%.2f-%.2f" % ratio[1:], extra,
            statistics.median(cpu[name]), extra_cpu))
    for note in missing:
        print("left out: %s" % note)
    if "PyVISA @py" in times and "quvxvr query" in times:
        pkg, py = overhead["quvxvr query"], overhead["PyVISA @py"]
        print("quvxvr overhead / pyvisa-py overhead: %.2f wall, %.2f CPU (target <= 0.50)"
              % (pkg[0] / py[0], pkg[1] / py[1]))
    if "PyVISA @py" in times and "PyVISA @xvr" in times:
        ratio = quartiles([x / p for x, p in zip(times["PyVISA @xvr"], times["PyVISA @py"])])
        print("PyVISA @xvr / @py latency: %.2f (Q1-Q3 %.2f-%.2f, target <= 1.00)" % ratio)
        print("PyVISA @xvr / @py CPU overhead: %.2f (target <= 1.00)"
              % (overhead["PyVISA @xvr"][1] / overhead["PyVISA @py"][1]))
    if blocks:
        print("query_binary_values of %d bytes, median of %d rounds:" % (BLOCK_BYTES, args.block_rounds))
        for (name, chunk), seconds in blocks.items():
            print("  %-12s chunk %-8s %7.3f s" % (name, "default" if chunk is None else chunk, seconds))
    return 0


if __name__ == "__main__":
    sys.exit(main())
