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
           "observed")


def run(root):
    return subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)


def copy(to):
    for folder in FOLDERS:
        shutil.copytree(os.path.join(ROOT, folder), os.path.join(to, folder),
                        ignore=shutil.ignore_patterns("node_modules"))


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

for f in failures:
    print("FAIL:", f)
CHECKS = 5  # the tree, a clean copy, an include, a link, the engine's own include
print(f"{CHECKS - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
