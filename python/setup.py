"""Builds the extension fourfifths._core.

The extension is compiled by setuptools with pybind11 and linked with the
project's static libraries libfourfifths.a and libfourfifths_present.a and
the system BLAS. Those libraries come from one of two places:

- FOURFIFTHS_BUILD_DIR names a CMake build of the project already made
  (absolute, or relative to the repository's root), for instance
  build/release (whose preset compiles position-independent code):
  its libraries are brought up to date there (a no-op when they are) and
  linked, and nothing of the engine is compiled again. The build must be a
  Release build with position-independent code, or the install stops and
  says why.
- Otherwise the project's own CMake build is configured on the repository
  root (this folder's parent) in FOURFIFTHS_CMAKE_BUILD (default:
  <root>/build/python), Release with position-independent code, and the
  two libraries are built there, FOURFIFTHS_JOBS at once (default 2).

Either way the engine is compiled with the project's flags (no fused
multiply-adds, never fast-math), so the numbers are the explorer's to the
bit. pip (23 and later) builds in the source tree, so the root is found
beside this file.
"""
import os
import shutil
import subprocess
from pathlib import Path

from pybind11.setup_helpers import Pybind11Extension, build_ext
from setuptools import setup

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent


def cmake_build_dir():
    return Path(os.environ.get("FOURFIFTHS_CMAKE_BUILD", ROOT / "build" / "python")).resolve()


def cache_entries(build):
    """The entries of a CMake build's cache, name to value."""
    entries = {}
    for line in (build / "CMakeCache.txt").read_text().splitlines():
        name, sep, value = line.partition("=")
        if sep and not line.startswith(("#", "//")):
            entries[name.partition(":")[0]] = value
    return entries


def reusable_build(build):
    """The build FOURFIFTHS_BUILD_DIR names, checked to be one the module can link."""
    if not (build / "CMakeCache.txt").is_file():
        raise RuntimeError(f"FOURFIFTHS_BUILD_DIR={build} is not a CMake build of fourfifths "
                           "(no CMakeCache.txt there): configure it first, for instance "
                           "cmake --preset release")
    cache = cache_entries(build)
    if Path(cache.get("fourfifths_SOURCE_DIR", "")).resolve() != ROOT:
        raise RuntimeError(f"FOURFIFTHS_BUILD_DIR={build} is a build of other sources "
                           f"({cache.get('fourfifths_SOURCE_DIR', 'none')}), not of {ROOT}")
    if cache.get("CMAKE_BUILD_TYPE") != "Release":
        raise RuntimeError(f"FOURFIFTHS_BUILD_DIR={build} is a {cache.get('CMAKE_BUILD_TYPE') or 'default'} "
                           "build; the module links a Release build's libraries")
    # A shared module cannot hold code compiled for a program only.
    if cache.get("CMAKE_POSITION_INDEPENDENT_CODE", "").upper() not in ("ON", "TRUE", "1", "YES"):
        raise RuntimeError(f"FOURFIFTHS_BUILD_DIR={build} is not built with position-independent "
                           "code (CMAKE_POSITION_INDEPENDENT_CODE=ON, as the release preset has it)")
    return build


def configured_build():
    """The package's own build of the libraries, configured for the module."""
    build = cmake_build_dir()
    configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja",
                 "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_POSITION_INDEPENDENT_CODE=ON",
                 "-DFOURFIFTHS_TESTS=OFF", "-DFOURFIFTHS_STATIC=OFF"]
    if shutil.which("ccache"):
        configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
    subprocess.run(configure, check=True)
    return build


class build_with_cmake(build_ext):
    """Builds the project's static libraries, or finds them built, then the extension on them."""

    def run(self):
        if not (ROOT / "CMakeLists.txt").is_file() or not (ROOT / "present").is_dir():
            raise RuntimeError(f"the fourfifths sources are not at {ROOT}: build from the repository "
                               "(pip install --no-build-isolation ./python)")
        reuse = os.environ.get("FOURFIFTHS_BUILD_DIR")
        # pip runs this from its own folder: a relative path is the
        # repository's, as in FOURFIFTHS_BUILD_DIR=build/release.
        build = reusable_build((ROOT / reuse).resolve()) if reuse else configured_build()
        jobs = os.environ.get("FOURFIFTHS_JOBS", "2")
        subprocess.run(["cmake", "--build", str(build), "-j", jobs, "--target", "fourfifths_lib",
                        "fourfifths_present"], check=True)
        for ext in self.extensions:
            # The presentation's and the faces' include folder holds nothing
            # of the engine's inside: the binding sees the public headers only.
            ext.include_dirs += [str(build / "front_include"), str(ROOT / "include"),
                                 str(build / "include")]
            libraries = [str(build / "present" / "libfourfifths_present.a"),
                         str(build / "libfourfifths.a")]
            ext.extra_objects += libraries
            # A library built anew links the module anew, even when the
            # module's own source is unchanged.
            ext.depends += libraries
        super().run()


extension = Pybind11Extension(
    "fourfifths._core",
    ["src/module.cc"],
    cxx_std=20,
    libraries=["blas"],
    # As the project builds: warnings are errors, no fused multiply-adds,
    # never fast-math.
    extra_compile_args=["-Wall", "-Wextra", "-Werror", "-ffp-contract=off", "-fno-fast-math"],
)

setup(ext_modules=[extension], cmdclass={"build_ext": build_with_cmake})
