"""The tables in resources/ and the project version against every form made
from them that the C++ tests do not see: the public header as built and
installed, the Python package, the bash completion, docs/parameters.md, the
Python package's version, the pkg-config file and xvr --version."""
import os
import re
import subprocess

import pytest
import quvxvr
from conftest import BIN, BUILD, SOURCE
from quvxvr import param_table, params, status


def rows(table):
    with open(os.path.join(SOURCE, "resources", table), encoding="utf-8") as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip() and not line.startswith("#")]


def statuses():
    """[(value, name, meaning, {call: meaning})] in the order of the table."""
    out = []
    for row in rows("statuses.txt"):
        if row[0]:
            out.append((int(row[0]), row[1], row[3], {}))
        else:
            out[-1][3].update((call, row[2]) for call in row[1].split())
    return out


def parameters():
    return [(name, drivers.split(","), access.split(), rule, values, default)
            for name, drivers, access, rule, values, default in rows("parameters.txt")]


def drivers():
    seen = []
    for _, on, *_ in parameters():
        seen += [d for d in on if d not in seen]
    return seen


def test_header_defines_each_status_once_with_its_value():
    with open(os.path.join(BUILD, "generated", "include", "quvxvr.h")) as f:
        header = f.read()
    defined = re.findall(r"^#define (XVR_(?:OK|READ_BUFFER_FULL|READ_DELIMITER|CLOSE_RELEASED|ERR_\w+))\s+"
                         r"\(?(-?\d+)\)?", header, re.M)
    assert [(int(v), n) for n, v in defined] == [(v, n) for v, n, _, _ in statuses()]
    assert "@" not in header  # every placeholder filled


def test_python_statuses_names_and_meanings():
    table = statuses()
    assert status.__all__[:len(table)] == [n for _, n, _, _ in table]
    for value, name, meaning, by_call in table:
        assert getattr(quvxvr, name) == value and quvxvr.status_name(value) == name
        assert quvxvr.status_meaning(value) == meaning
        for call in ("init", "open", "close", "read", "write", "get", "set", "catalogue"):
            assert quvxvr.status_meaning(value, call) == by_call.get(call, meaning), (name, call)


def test_python_parameters_and_readable_names():
    assert list(param_table.DRIVERS) == drivers()
    assert [(p.name, list(p.drivers), list(p.access), p.rule, p.values, p.default)
            for p in param_table.PARAMETERS] == parameters()
    for driver in drivers():
        assert params.READABLE[driver.upper()] == tuple(
            name for name, on, access, *_ in parameters() if driver in on and "get" in access)
    # A get that waits for an event is never read by iterating.
    assert all("SRQ" not in names for names in params.READABLE.values())


@pytest.mark.skipif(not os.path.exists("/bin/bash"), reason="needs bash")
def test_completion_offers_the_drivers_names_and_words_of_the_table():
    script = os.path.join(BUILD, "generated", "xvr.bash")
    lines = ['source "%s"' % script, 'cur=""; COMPREPLY=(); _xvr_drivers; printf "D %s\\n" "${COMPREPLY[@]}"']
    for driver in drivers():
        lines.append('printf "P %%s\\n" "%s" "$(_xvr_params %s)"' % (driver, driver.replace(" ", "\\ ")))
        for name, on, _, rule, *_ in parameters():
            if driver in on and rule.startswith("words "):
                lines.append('printf "W %%s\\n" "%s %s" "$(_xvr_values %s %s)"'
                             % (driver, name, driver.lower().replace(" ", "\\ "), name.lower()))
    out = subprocess.run(["/bin/bash", "-c", "\n".join(lines)], capture_output=True, text=True,
                         timeout=30, check=True).stdout.splitlines()
    assert [line[2:] for line in out if line.startswith("D ")] == [
        d.replace(" ", "\\ ") for d in drivers()]
    offered = [line[2:] for line in out if line[:2] in ("P ", "W ")]
    expected = []
    for driver in drivers():
        names = []
        for name, on, *_ in parameters():
            if driver in on and name not in names:
                names.append(name)
        expected += [driver, " ".join(names)]
        for name, on, _, rule, *_ in parameters():
            if driver in on and rule.startswith("words "):
                expected += ["%s %s" % (driver, name), re.sub(r":<[^>]*>", ":", rule[6:])]
    assert offered == expected


def test_docs_table_has_a_row_per_parameter():
    with open(os.path.join(SOURCE, "docs", "parameters.md"), encoding="utf-8") as f:
        table = [line for line in f if line.startswith("| `")]
    assert [re.match(r"\| `(\w+)` \| ([^|]*) \|", line).groups() for line in table] == [
        (name, ", ".join(on)) for name, on, *_ in parameters()]


def test_every_version_is_the_cmake_project_version():
    with open(os.path.join(SOURCE, "CMakeLists.txt")) as f:
        version = re.search(r"^project\(quvxvr VERSION (\d+\.\d+\.\d+)", f.read(), re.M).group(1)
    assert quvxvr.__version__ == version
    # The .pc file itself is written at install time; its version comes from here.
    with open(os.path.join(BUILD, "generated", "quvxvr.pc.in")) as f:
        assert "\nVersion: %s\n" % version in f.read()
    xvr = subprocess.run([os.path.join(BIN, "xvr"), "--version"], capture_output=True, text=True, timeout=30)
    assert xvr.stdout.startswith("xvr %s " % version)
    with open(os.path.join(BUILD, "CPackConfig.cmake")) as f:
        assert 'set(CPACK_PACKAGE_VERSION "%s")' % version in f.read()
