"""The package as users get it: installed by cmake --install or pip, and
what it says when the library cannot be found."""
import os
import re
import shutil
import subprocess
import sys

import pytest
from conftest import SOURCE

BUILD = os.environ.get("XVR_BUILD_DIR")


def run_python(args, env_changes, cwd):
    env = {k: v for k, v in os.environ.items()
           if k not in ("QUVXVR_LIBRARY", "LD_LIBRARY_PATH", "PYTHONPATH")}
    env.update(env_changes)
    return subprocess.run([sys.executable, *args], env=env, cwd=cwd, capture_output=True, text=True,
                          timeout=120)


@pytest.mark.skipif(not BUILD, reason="needs XVR_BUILD_DIR (set by ctest)")
def test_installed_package_loads_the_library_installed_beside_it(tmp_path):
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", BUILD, "--prefix", str(prefix)], check=True,
                   capture_output=True, timeout=120)
    site = prefix / os.environ["XVR_PYTHON_INSTALL_DIR"]
    assert (site / "quvxvr" / "py.typed").exists() and (site / "pyvisa_xvr" / "__init__.py").exists()
    # Moved elsewhere, the tree still finds its own library.
    moved = tmp_path / "moved"
    prefix.rename(moved)
    r = run_python(["-m", "quvxvr", "--library", "--drivers"],
                   {"PYTHONPATH": str(moved / os.environ["XVR_PYTHON_INSTALL_DIR"])}, tmp_path)
    assert r.returncode == 0, r.stderr
    loaded = r.stdout.splitlines()[0]
    assert loaded.startswith(str(moved)) and os.path.isfile(loaded)
    assert "KX GPIB  GPIB Device" in r.stdout


def tree(top):
    return sorted(os.path.relpath(os.path.join(d, f), top) for d, _, files in os.walk(top) for f in files)


def test_pip_installs_offline_from_a_read_only_checkout_and_writes_nothing_there(tmp_path):
    source = tmp_path / "source"
    shutil.copytree(os.path.join(SOURCE, "python"), source,
                    ignore=shutil.ignore_patterns("build", "*.egg-info", "__pycache__"))
    before = tree(source)
    for d, _, files in os.walk(source):
        for name in files + [""]:
            os.chmod(os.path.join(d, name), 0o555 if not name else 0o444)
    target = tmp_path / "site"
    try:
        r = subprocess.run([sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-index",
                            "--no-deps", "--quiet", "--target", str(target), str(source)],
                           capture_output=True, text=True, timeout=300)
        assert r.returncode == 0, r.stderr
        # Checked by listing too: the read-only bits do not stop root.
        assert tree(source) == before
    finally:
        for d, _, _ in os.walk(source):
            os.chmod(d, 0o755)
    with open(os.path.join(SOURCE, "CMakeLists.txt")) as f:
        version = re.search(r"^project\(quvxvr VERSION ([\d.]+)", f.read(), re.M).group(1)
    r = run_python(["-c", "import quvxvr, pyvisa_xvr; print(quvxvr.__version__, len(quvxvr.drivers()))"],
                   {"PYTHONPATH": str(target), "QUVXVR_LIBRARY": os.environ["QUVXVR_LIBRARY"]}, tmp_path)
    assert r.returncode == 0, r.stderr
    assert r.stdout.split() == [version, "4"]
    metadata = next(target.glob("quvxvr-*.dist-info")) / "METADATA"
    assert "Requires-Python: >=3.8" in metadata.read_text()


def test_a_library_that_cannot_load_is_reported_with_where_it_was_looked_for(tmp_path):
    missing = str(tmp_path / "nowhere" / "libquvxvr.so.1")
    package = os.path.join(SOURCE, "python")
    r = run_python(["-m", "quvxvr", "--library"], {"PYTHONPATH": package, "QUVXVR_LIBRARY": missing},
                   tmp_path)
    assert r.returncode == 1
    assert "QUVXVR_LIBRARY: %s (no such file)" % missing in r.stderr
    # One except clause catches every failure of the package, this one too.
    catch = ("import quvxvr\ntry:\n    quvxvr.library()\n"
             "except quvxvr.Error as e:\n    print(e.status, isinstance(e, OSError))")
    r = run_python(["-c", catch], {"PYTHONPATH": package, "QUVXVR_LIBRARY": missing}, tmp_path)
    assert r.stdout.split() == ["None", "True"], r.stderr
    r = run_python(["-m", "quvxvr", "--help"], {"PYTHONPATH": package}, tmp_path)
    assert r.returncode == 0 and "xvr query" in r.stdout
    pytest.importorskip("pyvisa")
    r = run_python(["-c", "import pyvisa; pyvisa.ResourceManager('@xvr')"],
                   {"PYTHONPATH": package, "QUVXVR_LIBRARY": missing}, tmp_path)
    assert r.returncode == 1 and "OSError" in r.stderr and missing in r.stderr
