#!/bin/sh
# Builds and tests the Python package as a user installs it: a virtual
# environment on Debian's python3 that sees Debian's numpy, pandas, pybind11
# and Dask, the package installed into it from this folder (nothing is
# downloaded), then pytest (the Dask test included) and the benchmark, which
# fails when a table is over its budget. Compares with the release build's fourfifths-explore, which it
# builds when it is missing.
#
#   python/run_tests.sh [PYTEST ARGS...]
#
# The environment is build/python-venv, the project's libraries are built
# in build/python (setup.py), or taken from the build FOURFIFTHS_BUILD_DIR
# names (build/release in CI); FOURFIFTHS_EXPLORE names another explorer.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
env="$root/build/python-venv"
explore="${FOURFIFTHS_EXPLORE:-$root/build/release/explore/fourfifths-explore}"
if [ ! -x "$explore" ]; then
  cmake --preset release > /dev/null
  cmake --build --preset release --target fourfifths-explore
fi
export FOURFIFTHS_EXPLORE="$explore"

[ -x "$env/bin/python" ] || /usr/bin/python3 -m venv --system-site-packages "$env"
"$env/bin/pip" install --quiet --no-build-isolation --no-index ./python

# From outside the source folder, so that the installed package is tested;
# -P keeps the current folder out of the module path too.
cd "$root/python"
"$env/bin/python" -P -m pytest -q -p no:cacheprovider "$@" tests
"$env/bin/python" -P bench/bench.py --check
