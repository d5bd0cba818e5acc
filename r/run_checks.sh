#!/usr/bin/env bash
# The R package's checks, from the repository:
#   bash r/run_checks.sh [EXPLORER]
# copies the package into build/r/ with the engine's sources (tools/vendor.sh),
# builds its tarball, runs R CMD check on it (the manual too when TeX is
# there; the tests among it, against the repository's data and the
# explorer), prints the tests' report (the counts, and why any test was
# skipped) and the benchmark, which fails when ff_table is over its budget.
# EXPLORER is fourfifths-explore (default:
# build/release/explore/fourfifths-explore); the tests that compare with it
# are skipped when it is missing. Exits non-zero when the check has an
# error or a warning, or a test fails.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
explorer=$(realpath -m "${1:-build/release/explore/fourfifths-explore}")
work=$repo/build/r
rm -rf "$work"
mkdir -p "$work/stage"
# The package's own files, without what an install in place left there.
tar -C r --exclude=./src/vendor --exclude='*.o' --exclude='*.so' --exclude=./src/Makevars \
  -cf - . | tar -C "$work/stage" -xf -
sh r/tools/vendor.sh "$repo" "$work/stage"

# Compiled with ccache when there is one (the engine is most of the time).
if command -v ccache > /dev/null; then
  printf 'CXX20 = ccache g++\n' > "$work/Makevars"
  export R_MAKEVARS_USER=$work/Makevars CCACHE_BASEDIR=$repo CCACHE_NOHASHDIR=1
fi
export MAKEFLAGS=-j2 FOURFIFTHS_SOURCE_DIR=$repo FOURFIFTHS_EXPLORE=$explorer

cd "$work"
R CMD build --no-manual stage
tarball=$(ls fourfifths_*.tar.gz)
manual=--no-manual
command -v pdflatex > /dev/null && manual=
R CMD check $manual "$tarball"
# R CMD check says ERROR or WARNING on its log's lines; a NOTE is allowed.
if grep -E '\.\.\. (ERROR|WARNING)$|^(ERROR|WARNING)' fourfifths.Rcheck/00check.log; then
  echo "run_checks.sh: R CMD check found errors or warnings" >&2
  exit 1
fi

lib=$work/fourfifths.Rcheck
# The tests' own report, from the check's log: the counts, and each skipped
# test's reason (a test that needs the repository's data or the explorer
# says which it lacks), each failure's too.
echo "== the tests (run by the check)"
sed -n '/^> test_check(/,/^> proc.time()/{/^> /d;p}' fourfifths.Rcheck/tests/testthat.Rout
echo "== the benchmark"
R_LIBS=$lib Rscript "$repo/r/bench/benchmark.R" --check
