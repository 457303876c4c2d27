"""setuptools' build backend, run on a copy of this directory: setuptools
writes build/ and *.egg-info into the tree it builds, so a read-only
checkout could not be installed, and a writable one would keep stale files."""
import os
import shutil
import tempfile
from contextlib import contextmanager
from typing import Iterator

from setuptools import build_meta as _setuptools

# Editable installs must point at this tree itself.
from setuptools.build_meta import (build_editable, get_requires_for_build_editable,  # noqa: F401
                                   prepare_metadata_for_build_editable)


@contextmanager
def _in_copy() -> Iterator[None]:
    here = os.getcwd()
    with tempfile.TemporaryDirectory(prefix="quvxvr-build-") as scratch:
        copy = os.path.join(scratch, "source")
        shutil.copytree(here, copy, ignore=shutil.ignore_patterns("build", "*.egg-info", "__pycache__"))
        os.chdir(copy)
        try:
            yield
        finally:
            os.chdir(here)


def _out(directory: str) -> str:
    return os.path.abspath(directory)


def get_requires_for_build_wheel(config_settings=None):
    with _in_copy():
        return _setuptools.get_requires_for_build_wheel(config_settings)


def get_requires_for_build_sdist(config_settings=None):
    with _in_copy():
        return _setuptools.get_requires_for_build_sdist(config_settings)


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    target = _out(metadata_directory)
    with _in_copy():
        return _setuptools.prepare_metadata_for_build_wheel(target, config_settings)


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    target = _out(wheel_directory)
    metadata = metadata_directory and _out(metadata_directory)
    with _in_copy():
        return _setuptools.build_wheel(target, config_settings, metadata)


def build_sdist(sdist_directory, config_settings=None):
    target = _out(sdist_directory)
    with _in_copy():
        return _setuptools.build_sdist(target, config_settings)
