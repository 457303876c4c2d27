"""The library addresses of xvr-sim's LAN instrument servers, from what the
simulator announces: "VXI-11 HOST:PORT portmapper PORT" and "HiSLIP
HOST:PORT".  The VXI-11 driver asks the portmapper named in XVR.XVR
(section [VXI-11], key Portmapper), which is added there when missing."""
import os
import re


def lan_addresses(sim, xvr_dir):
    """{"VXI-11": "127.0.0.1:inst0", "HiSLIP": "127.0.0.1:hislip0,PORT"} for
    the servers this simulator has; sim is the process start_sim returned."""
    sim.output_file.seek(0)
    text = sim.output_file.read()
    found = {}
    vxi11 = re.search(r"^VXI-11 ([^:\s]+)\S* portmapper (\d+)$", text, re.M)
    if vxi11:
        found["VXI-11"] = vxi11.group(1) + ":inst0"
        path = os.path.join(xvr_dir, "XVR.XVR")
        current = open(path).read() if os.path.exists(path) else ""
        if not re.search(r"^\[VXI-11\]", current, re.M | re.I):
            with open(path, "a") as f:
                f.write("[VXI-11]\nPortmapper=%s\n" % vxi11.group(2))
    hislip = re.search(r"^HiSLIP ([^:\s]+):(\d+)$", text, re.M)
    if hislip:
        found["HiSLIP"] = "%s:hislip0,%s" % hislip.groups()
    return found
