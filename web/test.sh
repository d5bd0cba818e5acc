#!/usr/bin/env bash
# Builds the page (the engine as WebAssembly and the front end) and runs its
# tests: the module under Node.js, the page in headless Chromium. Needs the
# Debian packages and npm listed in web/TOOLCHAIN.md.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset web
cmake --build --preset web
ctest --preset web
# The figures the browser test prints: download size and time to the first answer.
grep -h -e "^# site:" -e "^# first answer" build/web/Testing/Temporary/LastTest.log || true

echo "site: $(find build/web/site -type f -printf '%s\n' | awk '{ s += $1 } END { print s }') bytes in" \
  "$(find build/web/site -type f | wc -l) files; screenshot: build/web/screenshots/page.png"
