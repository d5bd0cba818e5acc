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
# The figures the tests print: accuracy, the first result and the report's pages.
grep -h -E "^# (precise|examples|[0-9]+ conformance|evaluate|front|site|first result|report)" \
  build/web/Testing/Temporary/LastTest.log || true
echo "screenshots: build/web/screenshots/"
# The download's size and the times, held to their budgets.
FOURFIFTHS_WEB_SITE=build/web/site FOURFIFTHS_WEB_SCREENSHOTS=build/web/screenshots \
  NODE_PATH=build/web/app/node_modules node web/bench/page_bench.mjs
