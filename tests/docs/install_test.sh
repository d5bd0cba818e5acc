#!/bin/sh
# install_test.sh BUILD_DIR SOURCE_DIR [BINDIR [MANDIR]]
# Installs the build into a fresh prefix, checks that the program and its
# manual page are where they belong, and runs the installed program on an
# example deck: its report and its standard error must equal the example's
# expected ones byte for byte, and its exit status must be 0.
set -u
build=$1
source=$2
bindir=${3:-bin}
mandir=${4:-share/man}
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix

fail() {
  echo "install test: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" > "$tmp/install.log" 2>&1 ||
  { cat "$tmp/install.log" >&2; fail "cmake --install failed"; }

program=$prefix/$bindir/fourfifths
page=$prefix/$mandir/man1/fourfifths.1
[ -f "$program" ] && [ -x "$program" ] || fail "no program at $program"
[ -f "$page" ] || fail "no manual page at $page"
cmp -s "$page" "$source/fourfifths.1" || fail "the installed manual page differs from fourfifths.1"
explorer=$prefix/$bindir/fourfifths-explore
[ -x "$explorer" ] || fail "no explorer at $explorer"
cmp -s "$prefix/$mandir/man1/fourfifths-explore.1" "$source/fourfifths-explore.1" ||
  fail "no manual page fourfifths-explore.1 beside fourfifths.1"
"$explorer" --version | grep -q '^fourfifths-explore ' || fail "the installed explorer does not run"

deck=$source/examples/overall_given_weights.deck
want=$source/examples/overall_given_weights.out
"$program" < "$deck" > "$tmp/report" 2> "$tmp/errors"
status=$?

ok=0
if ! cmp -s "$tmp/report" "$want"; then
  echo "install test: the installed program's report differs from $want:" >&2
  diff "$want" "$tmp/report" | head -n 40 >&2
  ok=1
fi
if ! cmp -s "$tmp/errors" "$source/examples/overall_given_weights.err"; then
  echo "install test: the installed program's standard error differs:" >&2
  head -n 10 "$tmp/errors" >&2
  ok=1
fi
if [ "$status" -ne 0 ]; then
  echo "install test: exit status $status, expected 0" >&2
  ok=1
fi
exit "$ok"
