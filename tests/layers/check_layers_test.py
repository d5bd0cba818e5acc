#!/usr/bin/env python3
"""The layer check passes on the tree and fails on each kind of crossing,
made deliberately in a copy of the tree: an engine-internal include or link
in a face, a face's header included by the presentation or by another
face; and it refuses to judge a tree whose folders or libraries it does not
know.

  check_layers_test.py CHECK ROOT
"""
import os
import shutil
import subprocess
import sys
import tempfile

CHECK, ROOT = sys.argv[1], sys.argv[2]
FOLDERS = ("present", "app", "explore", "web/engine", "python", "r", "recordio", "numeric",
           "analysis", "pareto", "observed")

failures = []
checks = 0


def run(root):
    return subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)


def copy(to):
    for folder in FOLDERS:
        shutil.copytree(os.path.join(ROOT, folder), os.path.join(to, folder),
                        ignore=shutil.ignore_patterns("node_modules", "vendor", "build",
                                                      "__pycache__", "*.o", "*.so"))
    shutil.copy(os.path.join(ROOT, "web", "CMakeLists.txt"), os.path.join(to, "web"))


def append(root, path, text):
    os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
    with open(os.path.join(root, path), "a") as f:
        f.write(text)


def expect(what, edits, status, *words):
    """A copy of the tree with `edits` (path, text appended) gives `status`,
    and the check's output names each of `words`."""
    global checks
    checks += 1
    with tempfile.TemporaryDirectory() as tmp:
        copy(tmp)
        for path, text in edits:
            append(tmp, path, text)
        got = run(tmp)
        said = got.stdout + got.stderr
        if got.returncode != status or not all(w in said for w in words):
            failures.append(f"{what}: status {got.returncode}, said: {said}")


checks += 1
clean = run(ROOT)
if clean.returncode != 0:
    failures.append("the tree itself: " + clean.stdout + clean.stderr)
expect("a clean copy", [], 0)

# The engine's inside, from a face or the presentation.
expect("an internal include in app/main.cc", [("app/main.cc", '#include "analysis/classic_run.h"\n')],
       1, "app/main.cc:", "analysis/classic_run.h")
expect("an internal link in present/",
       [("present/CMakeLists.txt", "target_link_libraries(fourfifths_present PRIVATE numeric)\n")],
       1, "present/CMakeLists.txt:", "links the engine's internal library numeric")
expect("an internal link of the page's engine, built outside web/engine/",
       [("web/CMakeLists.txt", "target_link_libraries(fourfifths_engine PRIVATE pareto)\n")],
       1, "web/CMakeLists.txt:", "links the engine's internal library pareto")
# A standard header that shares an engine folder's name is no crossing.
expect("the standard <numeric> in present/", [("present/table.cc", "#include <numeric>\n")], 0)
# The engine itself may include its own folders.
expect("the engine's own include of numeric/",
       [("pareto/front.cc", '#include "numeric/normal.h"\n')], 0)
# The R package reaches the engine through the public headers alone; the
# engine's own copy that its configure makes (r/src/vendor/) is the engine.
expect("the R package's copy of the engine",
       [("r/src/vendor/pareto/front.cc", '#include "numeric/normal.h"\n')], 0)
expect("an internal include in the R package",
       [("r/src/fourfifths_r.cpp", '#include "analysis/selection.h"\n')], 1,
       "r/src/fourfifths_r.cpp:", "analysis/selection.h")

# The presentation includes no face, whichever.
for header in ("app/process.h", "explore/batch.h", "web/engine/requests.h", "python/src/module.h",
               "r/src/fourfifths_r.h"):
    expect(f"present/ including {header}", [("present/table.cc", f'#include "{header}"\n')], 1,
           "present/table.cc:", header, "the presentation includes")

# A face includes its own headers and the presentation's, no other face's.
for face_file, header in (("explore/batch.cc", "app/process.h"),
                          ("explore/main.cc", "web/engine/requests.h"),
                          ("app/process.cc", "explore/commands.h"),
                          ("web/engine/requests.cc", "explore/pareto_cmd.h"),
                          ("python/src/module.cc", "explore/batch.h"),
                          ("r/src/fourfifths_r.cpp", "<app/process.h>")):
    line = (f"#include {header}\n" if header.startswith("<") else f'#include "{header}"\n')
    expect(f"{face_file} including {header}", [(face_file, line)], 1, face_file + ":",
           header.strip("<>"))
expect("a face's own headers and the presentation's",
       [("explore/batch.cc", '#include "explore/commands.h"\n#include "present/table.h"\n'),
        ("web/engine/bindings.cc", '#include "web/engine/requests.h"\n')], 0)

# A tree whose folders or libraries are not the ones the check names is
# not judged.
checks += 1
with tempfile.TemporaryDirectory() as tmp:
    copy(tmp)
    shutil.rmtree(os.path.join(tmp, "python"))
    got = run(tmp)
    if got.returncode != 2 or "no folder python" not in got.stderr:
        failures.append("a tree without python/ was judged: " + got.stdout + got.stderr)
checks += 1
with tempfile.TemporaryDirectory() as tmp:
    copy(tmp)
    path = os.path.join(tmp, "observed", "CMakeLists.txt")
    with open(path) as f:
        text = f.read()
    with open(path, "w") as f:
        f.write(text.replace("fourfifths_library(observed", "fourfifths_library(observed_counts"))
    got = run(tmp)
    if got.returncode != 2 or "no engine library observed" not in got.stderr:
        failures.append("a renamed engine library went unnoticed: " + got.stdout + got.stderr)

for f in failures:
    print("FAIL:", f)
print(f"{checks - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
