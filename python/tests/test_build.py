"""The build's choice of an existing CMake build (FOURFIFTHS_BUILD_DIR): one
whose libraries the module cannot link, or that builds other sources, is
refused with the reason before anything is compiled, instead of failing at
the link (code that is not position-independent) or linking another
checkout's engine."""
import runpy
from pathlib import Path

import pytest
import setuptools

SETUP = Path(__file__).resolve().parents[1] / "setup.py"
ROOT = SETUP.parents[1]


@pytest.fixture(scope="module")
def reusable_build():
    # setup.py without its call to setup(): only its functions are wanted.
    original = setuptools.setup
    setuptools.setup = lambda **kwargs: None
    try:
        return runpy.run_path(str(SETUP))["reusable_build"]
    finally:
        setuptools.setup = original


GOOD = {"fourfifths_SOURCE_DIR:STATIC": str(ROOT), "CMAKE_BUILD_TYPE:STRING": "Release",
        "CMAKE_POSITION_INDEPENDENT_CODE:UNINITIALIZED": "ON"}


def build_with(tmp_path, entries):
    lines = ["# This is the CMakeCache file.", "//The build type", "CMAKE_CXX_FLAGS:STRING=-O2"]
    lines += [f"{key}={value}" for key, value in entries.items()]
    (tmp_path / "CMakeCache.txt").write_text("\n".join(lines) + "\n")
    return tmp_path


def test_a_release_build_with_position_independent_code_of_these_sources_is_taken(
        reusable_build, tmp_path):
    assert reusable_build(build_with(tmp_path, GOOD)) == tmp_path
    pic_as_bool = {**GOOD, "CMAKE_POSITION_INDEPENDENT_CODE:BOOL": "TRUE"}
    del pic_as_bool["CMAKE_POSITION_INDEPENDENT_CODE:UNINITIALIZED"]
    assert reusable_build(build_with(tmp_path, pic_as_bool)) == tmp_path


@pytest.mark.parametrize("change, reason", [
    ({"CMAKE_POSITION_INDEPENDENT_CODE:UNINITIALIZED": None}, "position-independent"),
    ({"CMAKE_POSITION_INDEPENDENT_CODE:UNINITIALIZED": "OFF"}, "position-independent"),
    ({"CMAKE_BUILD_TYPE:STRING": "Debug"}, "Debug build"),
    ({"CMAKE_BUILD_TYPE:STRING": None}, "default build"),
    ({"fourfifths_SOURCE_DIR:STATIC": "/elsewhere/fourfifths"}, "other sources"),
    ({"fourfifths_SOURCE_DIR:STATIC": None}, "other sources"),
])
def test_a_build_the_module_cannot_use_is_refused_with_the_reason(reusable_build, tmp_path, change,
                                                                  reason):
    entries = {**GOOD, **change}
    entries = {key: value for key, value in entries.items() if value is not None}
    with pytest.raises(RuntimeError, match=reason):
        reusable_build(build_with(tmp_path, entries))


def test_a_folder_that_is_no_build_is_refused(reusable_build, tmp_path):
    with pytest.raises(RuntimeError, match="no CMakeCache.txt"):
        reusable_build(tmp_path)
