"""Fixtures: the built library, one xvr-sim for the whole run, and a
scripted loopback instrument for answers the simulator does not give.

Run by ctest (tests/extra/python.cmake), which sets XVR_BIN_DIR,
QUVXVR_LIBRARY and LD_LIBRARY_PATH (the GPIB driver finds the simulated bus
library through it).
"""
import os
import re
import sys
import tempfile

import pytest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SOURCE, "python"))
sys.path.insert(0, os.path.join(SOURCE, "tests", "tools"))
BIN = os.environ.get("XVR_BIN_DIR", os.path.join(SOURCE, "build", "native", "bin"))
BUILD = os.environ.get("XVR_BUILD_DIR", os.path.join(SOURCE, "build", "native"))
os.environ.setdefault("QUVXVR_LIBRARY", os.path.join(BIN, "libquvxvr.so.1"))

import with_sim  # noqa: E402
from scripted_instrument import ScriptedInstrument  # noqa: E402


class Sim:
    def __init__(self, ports, com_path):
        self.tcp, self.udp, self.com_path = ports["TCP"], ports["UDP"], com_path
        self.tcp_port = int(self.tcp.rsplit(":", 1)[1])


@pytest.fixture(scope="session")
def sim():
    with tempfile.TemporaryDirectory() as xvr_dir:
        process, ports = with_sim.start_sim(BIN, xvr_dir)
        process.output_file.seek(0)
        com_path = re.search(r"^COM COM7 -> (\S+)$", process.output_file.read(), re.M).group(1)
        # The library reads XVR_DIR at each call that needs it.
        os.environ["XVR_DIR"] = xvr_dir
        try:
            yield Sim(ports, com_path)
        finally:
            with_sim.stop_sim(process)


@pytest.fixture
def scripted():
    instruments = []

    def make(answers):
        instruments.append(ScriptedInstrument(answers))
        return instruments[-1]
    yield make
    for instrument in instruments:
        instrument.close()
