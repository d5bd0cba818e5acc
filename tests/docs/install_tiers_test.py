#!/usr/bin/env python3
"""install_tiers_test.py SOURCE BUILD CMAKE NINJA CC CXX CXX_ID GENERATOR

The README's first command installs what the program's build needs, and
nothing else. Its `.ci/install-deps` arguments are read from the README and
the tier is listed with `--list`; what the build needs is found from the
build itself, never from install-deps:

  - the files the program's build used: cmake, ninja, the C and C++
    compilers, every header that `ninja -t deps` recorded for the objects
    of `fourfifths` and the libraries it links, outside the source and the
    build tree;
  - the Debian package that owns each (dpkg -S, following the symlinks of
    the alternatives), and the packages each installed package depends on.

Every such file must come from a package of the tier or one they depend
on, and every package of the tier must be needed: without it, some file
would come from none. So R, Python or pandas in the tier fail the test, and
so does a header of a package the tier forgets.

Then a configure in a fresh folder where find_package finds only what the
program links (BLAS, the JSON library, {fmt}, threads): it must succeed
and have the program as a target, and the rest must be reported as left
out (the target `missing_packages`), as on a machine with the program's
tier alone.

The README's second command's tier must hold the first's.

Exits 0 when all hold, 1 when one does not, 77 (skipped) where it cannot
tell: not a Ninja build, not GCC (the README's commands use the default
compiler), or no dpkg.
"""

import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

PROGRAM_PACKAGES = ["BLAS", "nlohmann_json", "fmt", "Threads"]


def fail(message):
    print(f"install tiers: {message}", file=sys.stderr)
    sys.exit(1)


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, **kwargs)


def readme_commands(source):
    """The two commands of the README's first sh block."""
    text = open(os.path.join(source, "README.md"), encoding="utf-8").read()
    block = re.search(r"```sh\n(.*?)```", text, re.S)
    if not block:
        fail("README.md has no sh block")
    lines = [line for line in block.group(1).splitlines() if line.strip()]
    if len(lines) < 2:
        fail("README.md's first sh block does not hold two commands")
    return lines[0], lines[1]


def install_args(command):
    """The arguments of install-deps in a README command: its first step."""
    steps = [shlex.split(step) for step in command.split("&&")]
    first = steps[0]
    if first[:2] != ["sh", ".ci/install-deps"]:
        fail(f"the README's command does not start with sh .ci/install-deps: {command}")
    return first[2:], steps


def tier(source, args):
    p = run(["sh", ".ci/install-deps", *args, "--list"], cwd=source)
    if p.returncode != 0:
        fail(f".ci/install-deps {' '.join(args)} --list: status {p.returncode}: {p.stderr}")
    packages = p.stdout.split()
    if not packages:
        fail(f".ci/install-deps {' '.join(args)} --list printed no packages")
    return packages


def inside(path, folders):
    return any(path == f or path.startswith(f + os.sep) for f in folders)


def program_files(build, ninja, cxx, ours):
    """Headers and libraries that the build of `fourfifths` read, outside
    the source and the build tree."""
    p = run([ninja, "-C", build, "-t", "commands", "fourfifths"])
    if p.returncode != 0:
        fail(f"ninja -t commands fourfifths: {p.stderr}")
    commands = p.stdout.splitlines()
    objects = []
    for command in commands:
        words = shlex.split(command)
        if "-c" in words and "-o" in words:
            objects.append(words[words.index("-o") + 1])
    if not objects:
        fail("no compile commands for fourfifths")
    files = set()
    p = run([ninja, "-C", build, "-t", "deps", *objects])
    if p.returncode != 0:
        fail(f"ninja -t deps: {p.stderr}")
    if "deps not found" in p.stdout:
        fail("some of the program's objects have no recorded headers: build fourfifths first")
    for line in p.stdout.splitlines():
        if line.startswith("    "):
            files.add(line.strip())
    link = shlex.split(next(c for c in reversed(commands) if " -o app/fourfifths" in c))
    for word in link:
        if word.startswith("-l"):
            files.add(run([cxx, f"-print-file-name=lib{word[2:]}.a"]).stdout.strip())
        elif word.startswith("/") and re.search(r"\.(a|so)(\.[0-9.]+)?$", word):
            files.add(word)
    used = set()
    for f in files:
        path = os.path.normpath(os.path.join(build, f))
        if not inside(os.path.realpath(path), ours):
            used.add(path)
    return used


def symlink_chain(path):
    """The path, each link it goes through, with /lib and /usr/lib both,
    as dpkg may list either."""
    chain = []
    seen = set()
    while path not in seen:
        seen.add(path)
        chain.append(path)
        if not os.path.islink(path):
            break
        path = os.path.normpath(os.path.join(os.path.dirname(path), os.readlink(path)))
    chain.append(os.path.realpath(chain[0]))
    variants = []
    for p in chain:
        variants.append(p)
        if p.startswith("/usr/lib/") or p.startswith("/usr/bin/"):
            variants.append(p[4:])
        elif p.startswith("/lib/") or p.startswith("/bin/"):
            variants.append("/usr" + p)
    return variants


def owners(paths):
    """For each path, the packages owning the first file of its symlink
    chain that a package owns (an alternative's link belongs to none)."""
    chains = {p: symlink_chain(p) for p in paths}
    queried = sorted({q for chain in chains.values() for q in chain})
    owned = {}
    p = run(["dpkg-query", "-S", *queried])
    for line in p.stdout.splitlines():
        if line.startswith("diversion "):
            continue
        names, _, path = line.partition(": ")
        for name in names.split(", "):
            owned.setdefault(path, set()).add(name.split(":")[0])
    result = {}
    for path, chain in chains.items():
        found = next((owned[q] for q in chain if q in owned), None)
        if not found:
            fail(f"{path} comes from no Debian package")
        result[path] = found
    return result


def dependency_graph():
    """Installed packages and, for each, the installed packages it depends on
    (every installed alternative; a virtual package as its providers)."""
    p = run(["dpkg-query", "-W", "-f",
             "${Package}\t${db:Status-Abbrev}\t${Provides}\t${Depends}, ${Pre-Depends}\n"])
    rows = []
    providers = {}
    for line in p.stdout.splitlines():
        name, status, provides, depends = line.split("\t")
        if not status.startswith("ii"):
            continue
        rows.append((name, depends))
        for item in provides.split(","):
            virtual = item.strip().split(" ")[0].split(":")[0]
            if virtual:
                providers.setdefault(virtual, set()).add(name)
    installed = {name for name, _ in rows}
    graph = {}
    for name, depends in rows:
        edges = set()
        for group in depends.split(","):
            for alternative in group.split("|"):
                dep = alternative.strip().split(" ")[0].split(":")[0]
                if not dep:
                    continue
                if dep in installed:
                    edges.add(dep)
                edges |= providers.get(dep, set())
        graph[name] = edges
    return graph


def closure(packages, graph):
    seen = set()
    stack = list(packages)
    while stack:
        p = stack.pop()
        if p not in seen:
            seen.add(p)
            stack.extend(graph.get(p, ()))
    return seen


def uncovered(packages, needs, graph):
    reach = closure(packages, graph)
    return {path for path, own in needs.items() if not own & reach}


def configure_alone(source, cmake, ninja, cc, cxx):
    """Configure in a fresh folder where find_package finds only the
    program's packages."""
    with tempfile.TemporaryDirectory() as tmp:
        guard = os.path.join(tmp, "only_the_program.cmake")
        with open(guard, "w") as f:
            f.write(f"""\
# Every find_package but the program's finds nothing, as on a machine
# with the program's tier alone.
macro(find_package name)
  if("${{name}}" IN_LIST FOURFIFTHS_PROGRAM_PACKAGES)
    _find_package(${{ARGV}})
  else()
    set(${{name}}_FOUND FALSE)
    set(fourfifths_find_arguments ${{ARGN}})
    if("REQUIRED" IN_LIST fourfifths_find_arguments)
      message(FATAL_ERROR "find_package(${{name}} REQUIRED) beyond the program's packages")
    endif()
  endif()
endmacro()
""")
        build = os.path.join(tmp, "build")
        p = run([cmake, "-S", source, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                 f"-DCMAKE_MAKE_PROGRAM={ninja}", f"-DCMAKE_C_COMPILER={cc}",
                 f"-DCMAKE_CXX_COMPILER={cxx}", f"-DCMAKE_PROJECT_INCLUDE_BEFORE={guard}",
                 "-DFOURFIFTHS_PROGRAM_PACKAGES=" + ";".join(PROGRAM_PACKAGES)])
        if p.returncode != 0:
            fail("configure with only the program's packages failed:\n" + p.stderr)
        targets = run([ninja, "-C", build, "-t", "targets", "all"]).stdout
        if not re.search(r"^fourfifths: ", targets, re.M):
            fail("configure with only the program's packages has no target fourfifths")
        # Building everything must fail on what was left out: the target
        # that says so is in the default build.
        default = run([ninja, "-C", build, "-t", "query", "all"]).stdout
        if not re.search(r"^    missing_packages$", default, re.M):
            fail("configure with only the program's packages does not fail the default build")
        if "left out" not in p.stderr:
            fail("configure with only the program's packages gives no warning:\n" + p.stderr)


def main():
    if len(sys.argv) != 9:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    source, build, cmake, ninja, cc, cxx, cxx_id, generator = sys.argv[1:]
    if generator != "Ninja" or cxx_id != "GNU" or shutil.which("dpkg-query") is None:
        print(f"skipped: needs a Ninja build with GCC and dpkg ({generator}, {cxx_id})")
        sys.exit(77)
    source = os.path.realpath(source)
    build = os.path.realpath(build)

    first, second = readme_commands(source)
    first_args, first_steps = install_args(first)
    second_args, _ = install_args(second)
    builds = [s for s in first_steps if s[:2] == ["cmake", "--build"]]
    if len(builds) != 1 or builds[0][-2:] != ["--target", "fourfifths"]:
        fail(f"the README's first command does not build the program alone: {first}")
    program_tier = tier(source, first_args)
    missing = set(program_tier) - set(tier(source, second_args))
    if missing:
        fail(f"the README's second command's tier lacks {sorted(missing)} of the first's")

    tools = [cmake, ninja, cc, cxx]
    needs = owners(sorted(program_files(build, ninja, cxx, [source, build]) | set(tools)))
    graph = dependency_graph()
    absent = [p for p in program_tier if p not in graph]
    if absent:
        fail(f"not installed here, so their files cannot be told: {absent}")

    status = 0
    short = uncovered(program_tier, needs, graph)
    for path in sorted(short):
        print(f"install tiers: {path} ({', '.join(sorted(needs[path]))}) comes from no package "
              f"of the README's first command's tier", file=sys.stderr)
        status = 1
    for package in program_tier:
        if not uncovered([p for p in program_tier if p != package], needs, graph) - short:
            print(f"install tiers: {package} is in the README's first command's tier, but "
                  f"without it the tier still holds every file the program's build used",
                  file=sys.stderr)
            status = 1
    if status:
        sys.exit(status)

    configure_alone(source, cmake, ninja, cc, cxx)
    print(f"the program's tier ({' '.join(program_tier)}) holds the {len(needs)} files "
          f"the program's build used, and no package more")
    sys.exit(0)


if __name__ == "__main__":
    main()
