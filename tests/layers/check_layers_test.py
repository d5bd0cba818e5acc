#!/usr/bin/env python3
"""The layer check passes on the tree and fails on a deliberate back door:
an engine-internal include in a face, and a face linking an internal
library, each in a copy of the tree.

  check_layers_test.py CHECK ROOT
"""
import os
import shutil
import subprocess
import sys
import tempfile

CHECK, ROOT = sys.argv[1], sys.argv[2]
FOLDERS = ("present", "app", "explore", "web/engine", "recordio", "numeric", "analysis", "pareto",
           "observed", "r")


def run(root):
    return subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)


def copy(to):
    for folder in FOLDERS:
        shutil.copytree(os.path.join(ROOT, folder), os.path.join(to, folder),
                        ignore=shutil.ignore_patterns("node_modules", "vendor", "*.o", "*.so"))


failures = []
clean = run(ROOT)
if clean.returncode != 0:
    failures.append("the tree itself: " + clean.stdout + clean.stderr)

with tempfile.TemporaryDirectory() as tmp:
    copy(tmp)
    if run(tmp).returncode != 0:
        failures.append("a clean copy fails")
    # A face reaching for the classic run's internals.
    with open(os.path.join(tmp, "app", "main.cc"), "a") as f:
        f.write('#include "analysis/classic_run.h"\n')
    got = run(tmp)
    if got.returncode != 1 or "app/main.cc" not in got.stdout or "analysis/classic_run.h" not in got.stdout:
        failures.append("an internal include in app/main.cc went unnoticed: " + got.stdout)

with tempfile.TemporaryDirectory() as tmp:
    copy(tmp)
    with open(os.path.join(tmp, "present", "CMakeLists.txt"), "a") as f:
        f.write("target_link_libraries(fourfifths_present PRIVATE numeric)\n")
    got = run(tmp)
    if got.returncode != 1 or "links the engine's internal library numeric" not in got.stdout:
        failures.append("an internal link in present/ went unnoticed: " + got.stdout)
# The engine itself may include its own folders.
with tempfile.TemporaryDirectory() as tmp:
    copy(tmp)
    with open(os.path.join(tmp, "pareto", "front.cc"), "a") as f:
        f.write('#include "numeric/normal.h"\n')
    if run(tmp).returncode != 0:
        failures.append("the engine's own include of numeric/ was taken for a back door")

# The R package reaches the engine through the public headers alone; the
# engine's own copy that its configure makes (r/src/vendor/) is the engine.
with tempfile.TemporaryDirectory() as tmp:
    copy(tmp)
    os.makedirs(os.path.join(tmp, "r", "src", "vendor", "pareto"))
    with open(os.path.join(tmp, "r", "src", "vendor", "pareto", "front.cc"), "w") as f:
        f.write('#include "numeric/normal.h"\n')
    if run(tmp).returncode != 0:
        failures.append("the R package's copy of the engine was taken for a back door")
    with open(os.path.join(tmp, "r", "src", "fourfifths_r.cpp"), "a") as f:
        f.write('#include "analysis/selection.h"\n')
    got = run(tmp)
    if got.returncode != 1 or "r/src/fourfifths_r.cpp" not in got.stdout:
        failures.append("an internal include in the R package went unnoticed: " + got.stdout)

for f in failures:
    print("FAIL:", f)
CHECKS = 7  # the tree, a clean copy, an include, a link, the engine's own include, the R package's two
print(f"{CHECKS - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
