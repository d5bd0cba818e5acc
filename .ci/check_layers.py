#!/usr/bin/env python3
"""The three layers hold: no face and nothing of the presentation includes
a header of the engine's own folders, or links one of its internal
libraries. The engine is reached through include/fourfifths/ and the
fourfifths::fourfifths target alone.

  check_layers.py [ROOT]

Prints each back door found, as FILE:LINE: what, and exits 1 when there is
one; 0 when the layers hold.
"""
import os
import re
import sys

# The engine's own folders: their headers are the engine's inside.
ENGINE = ("recordio", "numeric", "analysis", "pareto", "observed")
# What lives on top of the engine.
FRONTS = ("present", "app", "explore", "web/engine", "bindings", "python", "r")
# The engine's internal link targets (fourfifths::fourfifths is the door).
INTERNAL_TARGETS = ENGINE + ("explore_page", "explore_chart")

INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^">]+)[">]')
LINK = re.compile(r"target_link_libraries\s*\(([^)]*)\)", re.S)


def sources(root, folder):
    top = os.path.join(root, folder)
    for where, dirs, files in os.walk(top):
        # r/src/vendor/ is the engine's own copy, made for the R package.
        dirs[:] = [d for d in dirs if d not in ("node_modules", "build", "vendor")]
        for name in files:
            yield os.path.join(where, name)


def back_doors(root):
    found = []
    for folder in FRONTS:
        for path in sources(root, folder):
            rel = os.path.relpath(path, root)
            if path.endswith((".h", ".cc", ".cpp", ".hpp")):
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if m and m.group(1).split("/")[0] in ENGINE:
                            found.append(f"{rel}:{number}: includes the engine's internal header "
                                         f"{m.group(1)}")
            elif os.path.basename(path) == "CMakeLists.txt":
                with open(path, encoding="utf-8") as f:
                    text = f.read()
                for m in LINK.finditer(text):
                    words = m.group(1).split()
                    for word in words[1:]:
                        if word in INTERNAL_TARGETS:
                            number = text.count("\n", 0, m.start()) + 1
                            found.append(f"{rel}:{number}: links the engine's internal "
                                         f"library {word}")
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    found = back_doors(root)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} back door(s) into the engine: use include/fourfifths/ and "
              "fourfifths::fourfifths", file=sys.stderr)
        return 1
    print("the layers hold: no face reaches inside the engine")
    return 0


if __name__ == "__main__":
    sys.exit(main())
