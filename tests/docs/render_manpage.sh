#!/bin/sh
# render_manpage.sh PAGE [SECTION...]
# Formats the manual page with every groff warning enabled, then through
# man(1) as a reader would see it. Any diagnostic on standard error fails
# the test; so does a rendering without the page's sections (by default
# those of fourfifths.1).
set -u
page=$1
shift
[ "$#" -gt 0 ] || set -- NAME SYNOPSIS DESCRIPTION INPUT OUTPUT "EXIT STATUS" DIAGNOSTICS EXAMPLES
if ! command -v groff >/dev/null 2>&1; then
  echo "groff is not installed" >&2
  exit 77
fi
export LC_ALL=C.UTF-8
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT

status=0
if ! groff -man -ww -z -T utf8 "$page" 2> "$tmp/groff.err" || [ -s "$tmp/groff.err" ]; then
  echo "groff -man -ww reports:" >&2
  cat "$tmp/groff.err" >&2
  status=1
fi

if command -v man >/dev/null 2>&1; then
  if ! MANPAGER=cat MANWIDTH=80 man --warnings -l "$page" > "$tmp/page.txt" 2> "$tmp/man.err" \
     || [ -s "$tmp/man.err" ]; then
    echo "man -l reports:" >&2
    cat "$tmp/man.err" >&2
    status=1
  fi
  for section in "$@"; do
    if ! grep -q "^$section\$" "$tmp/page.txt"; then
      echo "the rendered page has no $section section" >&2
      status=1
    fi
  done
fi
exit "$status"
