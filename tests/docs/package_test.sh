#!/bin/sh
# package_test.sh BUILD_DIR SOURCE_DIR
# Installs the build into a fresh prefix, then configures, builds and runs
# examples/api against the installed package alone, as another project
# would (find_package(fourfifths 1.1 CONFIG REQUIRED)). Its numbers must be
# those of the report of examples/regression_weights.deck, the same problem.
set -u
build=$1
source=$2
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix

fail() {
  echo "package test: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" > "$tmp/install.log" 2>&1 ||
  { cat "$tmp/install.log" >&2; fail "cmake --install failed"; }
[ -f "$prefix/include/fourfifths/fourfifths.h" ] || fail "no public header"
[ -f "$prefix/include/fourfifths/version.h" ] || fail "no version header"
ls "$prefix"/lib*/libfourfifths.a > /dev/null 2>&1 || fail "no static library"
ls "$prefix"/lib*/cmake/fourfifths/fourfifthsConfigVersion.cmake > /dev/null 2>&1 ||
  fail "no package version file"

cmake -S "$source/examples/api" -B "$tmp/api" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" > "$tmp/configure.log" 2>&1 ||
  { cat "$tmp/configure.log" >&2; fail "examples/api does not configure against the package"; }
cmake --build "$tmp/api" > "$tmp/build.log" 2>&1 ||
  { cat "$tmp/build.log" >&2; fail "examples/api does not build against the package"; }
"$tmp/api/api_example" > "$tmp/out" 2>&1 || { cat "$tmp/out" >&2; fail "examples/api failed"; }

# A package of another major version must not be taken for this one.
cat > "$tmp/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(too_new LANGUAGES CXX)
find_package(fourfifths 2.0 CONFIG REQUIRED)
CMAKE
if cmake -S "$tmp" -B "$tmp/too_new" -DCMAKE_PREFIX_PATH="$prefix" > /dev/null 2>&1; then
  fail "find_package(fourfifths 2.0) accepted version 1"
fi

want=$(printf '%s\n' \
  "validity 0.565, composite effect size -0.983" \
  "four-fifths minimum: 0.860" \
  "at 0.300: impact ratio 0.303, mean quality 0.466")
got=$(sed -n '2,4p' "$tmp/out")
if [ "$got" != "$want" ]; then
  echo "package test: examples/api printed" >&2
  cat "$tmp/out" >&2
  fail "and not the numbers of examples/regression_weights.out"
fi
head -n 1 "$tmp/out" | grep -q '^fourfifths 1\.1\.' || fail "wrong version: $(head -n 1 "$tmp/out")"
exit 0
