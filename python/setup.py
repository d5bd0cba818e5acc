"""Builds the extension fourfifths._core.

The engine and the presentation layer are built first by the project's own
CMake build, configured on the repository root (this folder's parent) with
position-independent code, as the static libraries libfourfifths.a and
libfourfifths_present.a; the extension is then compiled by setuptools with
pybind11 and linked with them and the system BLAS. pip (23 and later) builds
in the source tree, so the root is found beside this file.

FOURFIFTHS_CMAKE_BUILD names the CMake build folder (default:
<root>/build/python); FOURFIFTHS_JOBS the build's parallel jobs (default 2).
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


class build_with_cmake(build_ext):
    """Builds the project's static libraries, then the extension on them."""

    def run(self):
        if not (ROOT / "CMakeLists.txt").is_file() or not (ROOT / "present").is_dir():
            raise RuntimeError(f"the fourfifths sources are not at {ROOT}: build from the repository "
                               "(pip install --no-build-isolation ./python)")
        build = cmake_build_dir()
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja",
                     "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_POSITION_INDEPENDENT_CODE=ON",
                     "-DFOURFIFTHS_TESTS=OFF", "-DFOURFIFTHS_STATIC=OFF"]
        if shutil.which("ccache"):
            configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        subprocess.run(configure, check=True)
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
