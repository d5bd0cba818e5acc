#!/usr/bin/env python3
"""The three layers hold:

- no face and nothing of the presentation includes a header of the
  engine's own folders, or links one of its internal libraries: the engine
  is reached through include/fourfifths/ and the fourfifths::fourfifths
  target alone;
- the presentation includes no face's header: every face builds on it, not
  the other way round;
- no face includes another face's header: what two faces share belongs to
  the presentation.

  check_layers.py [ROOT]

Prints each crossing found, as FILE:LINE: what, and exits 1 when there is
one; 0 when the layers hold.
"""
import os
import re
import sys

# The engine's own folders: their headers are the engine's inside. Each
# builds one internal library of the same name (fourfifths_library).
ENGINE = ("recordio", "numeric", "analysis", "pareto", "observed")
INTERNAL_TARGETS = ENGINE
# The presentation, shared by every face.
PRESENTATION = "present"
# The faces, by folder; a face's headers are included by their path from
# the root ("web/engine/requests.h").
FACES = ("app", "explore", "web/engine", "python", "r")
# Where a face's targets are linked outside its own folder: the page's
# engine is built by web/CMakeLists.txt.
OTHER_CMAKE = {"web/engine": ("web/CMakeLists.txt",)}

SOURCE_SUFFIXES = (".h", ".cc", ".cpp", ".hpp")
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^">]+)[">]')
LINK = re.compile(r"target_link_libraries\s*\(([^)]*)\)", re.S)


def sources(root, folder):
    top = os.path.join(root, folder)
    for where, dirs, files in os.walk(top):
        # r/src/vendor/ is the engine's own copy, made for the R package.
        dirs[:] = [d for d in dirs if d not in ("node_modules", "build", "vendor")]
        for name in files:
            yield os.path.join(where, name)


def face_of(header):
    """The face whose header this include path names, or None."""
    for face in FACES:
        if header.startswith(face + "/"):
            return face
    return None


def include_crossings(rel, folder, text):
    found = []
    for number, line in enumerate(text.splitlines(), 1):
        m = INCLUDE.match(line)
        if not m:
            continue
        header = m.group(1)
        face = face_of(header)
        # "numeric/normal.h" is the engine's; <numeric> is the standard's.
        if "/" in header and header.split("/")[0] in ENGINE:
            found.append(f"{rel}:{number}: includes the engine's internal header {header}")
        elif face is not None and face != folder:
            who = "the presentation" if folder == PRESENTATION else "the face " + folder
            found.append(f"{rel}:{number}: {who} includes {header}, a header of the face {face}")
    return found


def link_crossings(rel, text):
    found = []
    for m in LINK.finditer(text):
        for word in m.group(1).split()[1:]:
            if word in INTERNAL_TARGETS:
                number = text.count("\n", 0, m.start()) + 1
                found.append(f"{rel}:{number}: links the engine's internal library {word}")
    return found


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def crossings(root):
    found = []
    for folder in (PRESENTATION,) + FACES:
        cmake_files = [os.path.join(root, p) for p in OTHER_CMAKE.get(folder, ())]
        for path in sources(root, folder):
            rel = os.path.relpath(path, root)
            if path.endswith(SOURCE_SUFFIXES):
                found += include_crossings(rel, folder, read(path))
            elif os.path.basename(path) == "CMakeLists.txt":
                cmake_files.append(path)
        for path in cmake_files:
            if os.path.exists(path):
                found += link_crossings(os.path.relpath(path, root), read(path))
    return found


def unknown_names(root):
    """The folders and targets named above that the tree does not have."""
    unknown = [f"no folder {folder}" for folder in ENGINE + (PRESENTATION,) + FACES
               if not os.path.isdir(os.path.join(root, folder))]
    declared = set()
    for folder in ENGINE:
        path = os.path.join(root, folder, "CMakeLists.txt")
        if os.path.exists(path):
            declared.update(re.findall(r"fourfifths_library\s*\(\s*([\w-]+)", read(path)))
    unknown += [f"no engine library {target}" for target in INTERNAL_TARGETS
                if target not in declared]
    return unknown


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    unknown = unknown_names(root)
    if unknown:
        print(f"{', '.join(unknown)} under {root}: the layers named here are not the tree's",
              file=sys.stderr)
        return 2
    found = crossings(root)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} crossing(s) of the layers: the engine is reached through "
              "include/fourfifths/ and fourfifths::fourfifths, and a face's headers are its own",
              file=sys.stderr)
        return 1
    print("the layers hold: nothing reaches inside the engine, and no face's header is "
          "included by the presentation or by another face")
    return 0


if __name__ == "__main__":
    sys.exit(main())
