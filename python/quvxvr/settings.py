"""What the machine offers outside the library: the parameter file's
directory, its [COM] port names, and the serial ports the system has."""
import os
import stat
import sys
from typing import Dict, List, Optional

PARAMETER_FILE = "XVR.XVR"
# The library reads at most this much of the parameter file; so does this.
_MAX_FILE_BYTES = 1 << 20


def parameter_directory() -> str:
    """Where the library looks for XVR.XVR and writes XVR.log (Linux rules;
    on Windows only $XVR_DIR is known here)."""
    own = os.environ.get("XVR_DIR")
    if own:
        return own
    if sys.platform == "win32":
        return "c:\\XVR\\"
    xdg = os.environ.get("XDG_CONFIG_HOME", "")
    if xdg.startswith("/"):
        return os.path.join(xdg, "xvr")
    home = os.environ.get("HOME")
    if home:
        return os.path.join(home, ".config", "xvr")
    return "/etc/xvr"


def _read_text(path: str) -> Optional[str]:
    # Without blocking, and only a regular file: a FIFO or a device in its
    # place must not hang or flood the caller.
    try:
        fd = os.open(path, os.O_RDONLY | getattr(os, "O_NONBLOCK", 0))
    except OSError:
        return None
    try:
        with os.fdopen(fd, "rb") as f:
            if not stat.S_ISREG(os.fstat(f.fileno()).st_mode):
                return None
            data = f.read(_MAX_FILE_BYTES + 1)
    except OSError:
        return None
    if len(data) > _MAX_FILE_BYTES:
        return None
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le", "replace")
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    return data.decode("utf-8", "surrogateescape")


def section(path: str, name: str) -> Dict[str, str]:
    """Keys and values of the first section of that name (names compared
    without case), as the library reads them."""
    text = _read_text(path)
    if text is None:
        return {}
    result: Dict[str, str] = {}
    inside = seen = False
    for raw in text.splitlines():
        line = raw.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("["):
            if inside:
                break
            title = line[1:].split("]", 1)[0].strip()
            inside = not seen and title.upper() == name.upper()
            seen = seen or inside
            continue
        if inside:
            key, _, value = line.partition("=")
            value = value.strip()
            if len(value) >= 2 and value[0] in "\"'" and value[-1] == value[0]:
                value = value[1:-1]
            # The first occurrence of a key wins.
            result.setdefault(key.strip(), value)
    return result


def com_mappings() -> Dict[str, str]:
    """Port names of section [COM] of the parameter file and the device
    paths they stand for (``{"COM7": "/dev/pts/3"}``)."""
    return section(os.path.join(parameter_directory(), PARAMETER_FILE), "COM")


def serial_ports(sys_class_tty: str = "/sys/class/tty") -> List[str]:
    """Device paths of the serial ports the system has (Linux), without the
    legacy ttyS entries that no hardware stands behind."""
    try:
        names = sorted(os.listdir(sys_class_tty))
    except OSError:
        return []
    ports = []
    for name in names:
        device = os.path.join(sys_class_tty, name, "device")
        if not os.path.exists(device):
            continue
        subsystem = os.path.basename(os.path.realpath(os.path.join(device, "subsystem")))
        if subsystem == "platform":
            continue
        ports.append("/dev/" + name)
    return ports
