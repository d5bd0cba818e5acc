#!/usr/bin/env bash
# Builds the page (the engine as WebAssembly and the front end) and runs its
# tests: the module under Node.js, the page in headless Chromium, both
# against the native explorer of the release build, which is built first.
# Needs the Debian packages and npm listed in web/TOOLCHAIN.md
# (sh .ci/install-deps --web).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release
cmake --build --preset release -j2 --target fourfifths-explore
cmake --preset web
cmake --build --preset web
ctest --preset web
# The figures the tests print: accuracy, download size and times.
grep -h -E "^# (precise|examples|[0-9]+ conformance|evaluate|front|site|first result|compute|recompute|the published example|three groups|report)" \
  build/web/Testing/Temporary/LastTest.log || true
echo "screenshots: build/web/screenshots/"
