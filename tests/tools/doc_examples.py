#!/usr/bin/env python3
"""The examples of README.md and docs/*.md, taken from the pages and run, so
that none can rot.

A fenced block is an example when its info string names it after the
language, as in "```c example=host.c".  C, C++ and Python blocks must be
examples; other blocks (build steps, output, tables) may be prose.

    doc_examples.py extract OUT_DIR PAGE...   writes every example into OUT_DIR,
                                              prints their names, one a line
    doc_examples.py run BIN_DIR OUT_DIR NAME [PROGRAM]

Each run starts xvr-sim serving the instrument file example
supply.instrument, and replaces 127.0.0.1:5025 and 127.0.0.1:5026 in the
example with the simulator's TCP and UDP addresses.  How an example runs
follows its name's ending:

  .c           PROGRAM, built from it by tests/extra/doc_examples.cmake, with
               the TCP and UDP addresses as its arguments
  .py          the Python that sees Debian's packages, with python/ on its path
  .sh          sh -e in an empty directory, with the built tools on PATH
  .instrument  xvr-sim serves it (instead of supply.instrument); xvr asks *IDN?
  .ini         the parameter file: xvr ports lists its [COM] names, and a
               query through it writes the call log

A run passes when it exits 0 within 120 s and prints "XVR-SIM,".
"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import with_sim  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
FENCE = re.compile(r"^```([^\n`]*)\n(.*?)^```[ \t]*$", re.M | re.S)
MUST_RUN = {"c", "cpp", "c++", "python", "py"}
SYSTEM_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable


def examples(page):
    """(name, code) of every example on the page; refuses a C, C++ or
    Python block that is not one."""
    text = open(page, encoding="utf-8").read()
    found = []
    for match in FENCE.finditer(text):
        words = match.group(1).split()
        names = [w[len("example="):] for w in words if w.startswith("example=")]
        if names:
            found.append((names[0], match.group(2)))
        elif words and words[0] in MUST_RUN:
            line = text.count("\n", 0, match.start()) + 1
            raise SystemExit("%s:%d: a %s block without example=NAME is never run" % (page, line, words[0]))
    return found


def extract(out_dir, pages):
    os.makedirs(out_dir, exist_ok=True)
    seen = {}
    for page in pages:
        for name, code in examples(page):
            if not re.fullmatch(r"[A-Za-z0-9_-]+\.(c|py|sh|instrument|ini)", name):
                raise SystemExit("%s: example name %r needs a plain name ending in .c .py .sh .instrument .ini"
                                 % (page, name))
            if name in seen:
                raise SystemExit("%s: example %s is already on %s" % (page, name, seen[name]))
            seen[name] = page
            path = os.path.join(out_dir, name)
            # Unchanged files keep their time stamp, so nothing rebuilds.
            if not os.path.exists(path) or open(path, encoding="utf-8").read() != code:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(code)
            print(name)
    if "supply.instrument" not in seen:
        raise SystemExit("no page has the instrument file example supply.instrument")


def run(bin_dir, out_dir, name, program=None):
    path = os.path.join(out_dir, name)
    code = open(path, encoding="utf-8").read()
    instrument = path if name.endswith(".instrument") else os.path.join(out_dir, "supply.instrument")
    with tempfile.TemporaryDirectory() as work:
        xvr_dir = os.path.join(work, "xvr")
        cwd = os.path.join(work, "cwd")
        os.makedirs(xvr_dir)
        os.makedirs(cwd)
        sim, ports = with_sim.start_sim(bin_dir, xvr_dir, ["--instrument", instrument])
        try:
            tcp, udp = ports["TCP"], ports["UDP"]
            code = code.replace("127.0.0.1:5025", tcp).replace("127.0.0.1:5026", udp)
            code = code.replace("127.0.0.1::5025", tcp.replace(":", "::"))
            library_path = [ports.get("LD_LIBRARY_PATH"), bin_dir, os.environ.get("LD_LIBRARY_PATH")]
            env = dict(os.environ, XVR_DIR=xvr_dir,
                       LD_LIBRARY_PATH=os.pathsep.join(filter(None, library_path)),
                       PATH=bin_dir + os.pathsep + os.environ.get("PATH", ""),
                       QUVXVR_LIBRARY=os.path.join(bin_dir, "libquvxvr.so.1"),
                       PYTHONPATH=os.path.join(SOURCE, "python"), PYTHONDONTWRITEBYTECODE="1")
            if name.endswith(".c"):
                commands = [[program, tcp, udp]]
            elif name.endswith(".py"):
                commands = [[SYSTEM_PYTHON, "-c", code]]
            elif name.endswith(".sh"):
                commands = [["sh", "-ec", code]]
            elif name.endswith(".instrument"):
                commands = [["xvr", "query", "TCP/IP", tcp, "*IDN?"]]
            else:  # .ini: a parameter file of its own, beside the simulator's
                env["XVR_DIR"] = os.path.join(work, "ini")
                os.makedirs(env["XVR_DIR"])
                with open(os.path.join(env["XVR_DIR"], "XVR.XVR"), "w") as f:
                    f.write(code)
                names = re.findall(r"^(COM\d+)=", code, re.M)
                commands = [["xvr", "ports"], ["xvr", "query", "TCP/IP", tcp, "*IDN?"]]
            output = ""
            for command in commands:
                r = subprocess.run(command, cwd=cwd, env=env, timeout=120, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, universal_newlines=True, errors="replace")
                output += r.stdout
                sys.stdout.write(r.stdout)
                if r.returncode != 0:
                    print("%s: %s exited with %d" % (name, command[0], r.returncode))
                    return 1
            if name.endswith(".ini"):
                log = os.path.join(env["XVR_DIR"], "XVR.log")
                if not names or any(n not in output for n in names) or not os.path.exists(log) or not os.path.getsize(log):
                    print("%s: xvr ports did not list %s, or the call log stayed empty" % (name, names))
                    return 1
        finally:
            with_sim.stop_sim(sim)
    if "XVR-SIM," not in output:
        print("%s: no answer of the simulator in the output" % name)
        return 1
    return 0


def main():
    if len(sys.argv) >= 4 and sys.argv[1] == "extract":
        extract(sys.argv[2], sys.argv[3:])
        return 0
    if len(sys.argv) in (5, 6) and sys.argv[1] == "run":
        return run(*sys.argv[2:])
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main())
