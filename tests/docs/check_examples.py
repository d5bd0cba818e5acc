#!/usr/bin/env python3
"""The examples of README.md and docs/*.md, run against the built programs.

Usage: check_examples.py SOURCE_DIR FOURFIFTHS FOURFIFTHS_EXPLORE

What is checked, block by block (docs/contributing.md gives the rules):

  ```sh        the block is run with sh and must end with status 0;
  ```console   a transcript: each `$ ` line is a command, the lines after it
               (up to the next `$ ` line) what it prints on standard output
               and then standard error; a line `...` stands for any number
               of lines; the command must end with status 0;
  ```python    every `fourfifths.NAME(...)` names a function or class of the
               package's stubs (python/fourfifths/__init__.pyi), and its
               keyword arguments are parameters of that function;
  ```r         every `ff_NAME(...)` is exported by the R package
               (r/NAMESPACE), and its named arguments are its parameters.

An HTML comment on the line before a block changes that:

  <!-- example: status N -->       the command (the sh block, or every
                                    command of the transcript) ends with N;
  <!-- example: not run (why) -->   the block is not run (counted, listed);
  <!-- example: file PATH -->       the block is the text of the file PATH
                                    (relative to the source root), exactly.

The blocks of one page run in order in one scratch folder, so a block can
use the files an earlier one made. The folder holds `examples` (the
source's), the files of tests/docs/fixtures, and the two programs, which are
also first on PATH as `fourfifths` and `fourfifths-explore`, and at
build/release/app/fourfifths and build/release/explore/fourfifths-explore.

The README's first block, its two commands, is not run: the docs.install_tiers
test checks what they install, and CI runs them.

Besides: README.md has at most 250 lines, and every relative link of
README.md and docs/*.md names a file that exists, and, for a link into a
Markdown page, a heading that page has.
"""

import ast
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

README_MAX_LINES = 250
TIMEOUT = 120

DIRECTIVE = re.compile(r"^\s*<!--\s*example:\s*(.*?)\s*-->\s*$")
FENCE = re.compile(r"^(\s*)(`{3,})\s*([^`\s]*)")


class Block:
    def __init__(self, page, line, info, text, directive):
        self.page, self.line, self.info = page, line, info
        self.text, self.directive = text, directive

    def where(self):
        return f"{self.page}:{self.line}"


def blocks_of(path, name):
    """The fenced blocks of a Markdown page, with the directive before each."""
    lines = open(path, encoding="utf-8").read().split("\n")
    blocks, i = [], 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        indent, ticks, info = len(m.group(1)), m.group(2), m.group(3).lower()
        directive = None
        j = i - 1
        while j >= 0 and not lines[j].strip():
            j -= 1
        if j >= 0:
            d = DIRECTIVE.match(lines[j])
            if d:
                directive = d.group(1)
        body, k = [], i + 1
        while k < len(lines) and not (lines[k].strip().startswith(ticks)
                                      and not lines[k].strip().strip("`")):
            body.append(lines[k][indent:] if lines[k][:indent].strip() == "" else lines[k])
            k += 1
        if k == len(lines):
            raise SystemExit(f"{name}:{i + 1}: a fenced block that is never closed")
        blocks.append(Block(name, i + 1, info, "\n".join(body) + "\n", directive))
        i = k + 1
    return blocks


def prose_of(path):
    """The page's lines outside fenced blocks, with inline code removed."""
    out, fence = [], None
    for line in open(path, encoding="utf-8").read().split("\n"):
        m = FENCE.match(line)
        if m and fence is None:
            fence = m.group(2)
            out.append("")
            continue
        if fence is not None:
            if line.strip().startswith(fence) and not line.strip().strip("`"):
                fence = None
            out.append("")
            continue
        out.append(re.sub(r"`[^`]*`", "", line))
    return out


def slug(heading):
    """The anchor a heading gets: lower case, punctuation dropped, blanks as -."""
    text = re.sub(r"[^\w\- ]", "", heading.strip().lower())
    return text.replace(" ", "-")


def anchors_of(path):
    seen, anchors = {}, set()
    for line in prose_of(path):
        m = re.match(r"^(#{1,6})\s+(.*?)\s*#*\s*$", line)
        if not m:
            continue
        base = slug(m.group(2))
        n = seen.get(base, 0)
        anchors.add(base if n == 0 else f"{base}-{n}")
        seen[base] = n + 1
    return anchors


LINK = re.compile(r"\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")


def check_links(source, pages, failures):
    count = 0
    for page in pages:
        path = os.path.join(source, page)
        for number, line in enumerate(prose_of(path), 1):
            for target in LINK.findall(line):
                if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                    continue  # http:, https:, mailto:
                count += 1
                file_part, _, anchor = target.partition("#")
                dest = os.path.normpath(os.path.join(os.path.dirname(path), file_part)) \
                    if file_part else path
                if not os.path.exists(dest):
                    failures.append(f"{page}:{number}: link to {target}: no such file")
                    continue
                if anchor and dest.endswith(".md") and anchor not in anchors_of(dest):
                    failures.append(f"{page}:{number}: link to {target}: "
                                    f"{os.path.relpath(dest, source)} has no such heading")
    return count


NUMBER_TOLERANCE = 1e-12


def same_line(shown, printed):
    """Whether a printed line is the line shown: the same text, except that a
    number may differ from the one shown by a relative 1e-12 (its last bits
    depend on the C library's erfc, which differs between machines)."""
    if shown == printed:
        return True
    a, b = re.split(r"([,\s]+)", shown), re.split(r"([,\s]+)", printed)
    if len(a) != len(b):
        return False
    for x, y in zip(a, b):
        if x == y:
            continue
        try:
            fx, fy = float(x), float(y)
        except ValueError:
            return False
        if not math.isclose(fx, fy, rel_tol=NUMBER_TOLERANCE, abs_tol=1e-15):
            return False
    return True


def same_lines(shown, printed):
    return len(shown) == len(printed) and all(map(same_line, shown, printed))


def matches(expected, actual):
    """Whether the lines match, `...` in expected standing for any lines."""
    parts, current = [], []
    for line in expected:
        if line.strip() == "...":
            parts.append(current)
            current = []
        else:
            current.append(line)
    parts.append(current)
    if len(parts) == 1:
        return same_lines(expected, actual)
    first, last = parts[0], parts[-1]
    if not same_lines(first, actual[:len(first)]):
        return False
    end = len(actual) - len(last)
    if end < len(first) or (last and not same_lines(last, actual[end:])):
        return False
    at = len(first)
    for part in parts[1:-1]:
        found = next((i for i in range(at, end - len(part) + 1)
                      if same_lines(part, actual[i:i + len(part)])), None)
        if found is None:
            return False
        at = found + len(part)
    return True


def expected_status(block):
    if block.directive and block.directive.startswith("status"):
        return int(block.directive.split()[1])
    return 0


def run(command, folder, env):
    try:
        result = subprocess.run(["sh", "-c", command], cwd=folder, env=env,
                                stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return None, "", f"still running after {TIMEOUT} s"
    return result.returncode, result.stdout.decode("utf-8", "replace"), \
        result.stderr.decode("utf-8", "replace")


def transcript(block):
    """The commands of a console block, each with the lines it shows."""
    commands, lines = [], block.text.rstrip("\n").split("\n")
    i = 0
    while i < len(lines):
        if not lines[i].startswith("$ "):
            raise ValueError(f"{block.where()}: output before any `$ ` command")
        command = lines[i][2:]
        while command.endswith("\\") and i + 1 < len(lines):
            i += 1
            command = command[:-1] + "\n" + lines[i]
        i += 1
        shown = []
        while i < len(lines) and not lines[i].startswith("$ "):
            shown.append(lines[i].rstrip())
            i += 1
        commands.append((command, shown))
    return commands


def scratch_folder(source, classic, explore):
    folder = tempfile.mkdtemp(prefix="fourfifths-docs-")
    os.symlink(os.path.join(source, "examples"), os.path.join(folder, "examples"))
    fixtures = os.path.join(source, "tests", "docs", "fixtures")
    for name in sorted(n for n in os.listdir(fixtures) if not n.startswith(".")):
        shutil.copy(os.path.join(fixtures, name), folder)
    for program, place in ((classic, "app/fourfifths"),
                           (explore, "explore/fourfifths-explore")):
        for link in (os.path.join(folder, ".bin", os.path.basename(place)),
                     os.path.join(folder, "build", "release", place)):
            os.makedirs(os.path.dirname(link), exist_ok=True)
            os.symlink(os.path.abspath(program), link)
    return folder


def python_api(source):
    """The stubs' functions and classes: name -> parameter names (None: any)."""
    tree = ast.parse(open(os.path.join(source, "python", "fourfifths", "__init__.pyi"),
                          encoding="utf-8").read())
    names = {}
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            a = node.args
            params = {p.arg for p in a.posonlyargs + a.args + a.kwonlyargs}
            names[node.name] = None if a.kwarg else params
        elif isinstance(node, ast.ClassDef):
            names[node.name] = None
        elif isinstance(node, ast.ImportFrom):
            for alias in node.names:
                names[alias.asname or alias.name] = None
        elif isinstance(node, (ast.Assign, ast.AnnAssign)):
            for target in getattr(node, "targets", [getattr(node, "target", None)]):
                if isinstance(target, ast.Name):
                    names[target.id] = None
    return names


def check_python(block, api, failures):
    try:
        tree = ast.parse(block.text)
    except SyntaxError as error:
        failures.append(f"{block.where()}: not Python: {error}")
        return 0
    count = 0
    for node in ast.walk(tree):
        if isinstance(node, ast.Attribute) and isinstance(node.value, ast.Name) \
                and node.value.id == "fourfifths":
            count += 1
            if node.attr not in api:
                failures.append(f"{block.where()}: fourfifths.{node.attr}: "
                                "not in the package")
        if isinstance(node, ast.Call) and isinstance(node.func, ast.Attribute) \
                and isinstance(node.func.value, ast.Name) \
                and node.func.value.id == "fourfifths" and api.get(node.func.attr):
            for keyword in node.keywords:
                if keyword.arg and keyword.arg not in api[node.func.attr]:
                    failures.append(f"{block.where()}: fourfifths.{node.func.attr}: "
                                    f"no parameter {keyword.arg}")
    return count


def r_api(source):
    exported = re.findall(r"^export\((\w+)\)", open(os.path.join(source, "r", "NAMESPACE"),
                                                    encoding="utf-8").read(), re.M)
    code = "".join(open(os.path.join(source, "r", "R", f), encoding="utf-8").read()
                   for f in sorted(os.listdir(os.path.join(source, "r", "R"))))
    api = {}
    for name in exported:
        m = re.search(rf"^{name}\s*<-\s*function\s*\(", code, re.M)
        api[name] = {p.split("=")[0].strip() for p in split_arguments(code, m.end())} \
            if m else set()
    return api


def split_arguments(text, start):
    """The top-level arguments of the call whose `(` ends just before start."""
    depth, quote, current, out = 0, None, "", []
    for ch in text[start:]:
        if quote:
            quote = None if ch == quote else quote
        elif ch in "\"'":
            quote = ch
        elif ch in "([{":
            depth += 1
        elif ch in ")]}":
            if depth == 0:
                break
            depth -= 1
        elif ch == "," and depth == 0:
            out.append(current)
            current = ""
            continue
        current += ch
    out.append(current)
    return [a.strip() for a in out if a.strip()]


def check_r(block, api, failures):
    text = "\n".join(line for line in block.text.split("\n") if not line.startswith("#"))
    count = 0
    for m in re.finditer(r"\b(ff_\w+)\s*\(", text):
        count += 1
        name = m.group(1)
        if name not in api:
            failures.append(f"{block.where()}: {name}: not exported by the R package")
            continue
        for argument in split_arguments(text, m.end()):
            named = re.match(r"^([A-Za-z_.][\w.]*)\s*=(?!=)", argument)
            if named and named.group(1) not in api[name]:
                failures.append(f"{block.where()}: {name}: no parameter {named.group(1)}")
    return count


def main():
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    source, classic, explore = (os.path.abspath(a) for a in sys.argv[1:])
    docs = sorted(f for f in os.listdir(os.path.join(source, "docs")) if f.endswith(".md"))
    pages = ["README.md"] + [f"docs/{f}" for f in docs]
    failures, skipped = [], []
    counts = dict(sh=0, commands=0, files=0, python=0, r=0)

    readme_lines = open(os.path.join(source, "README.md"), encoding="utf-8").read().count("\n")
    if readme_lines > README_MAX_LINES:
        failures.append(f"README.md: {readme_lines} lines, more than {README_MAX_LINES}")
    links = check_links(source, pages, failures)

    py_api, rapi = python_api(source), r_api(source)
    env = dict(os.environ, LC_ALL="C.UTF-8")
    for page in pages:
        folder = None
        try:
            for number, block in enumerate(blocks_of(os.path.join(source, page), page)):
                d = block.directive or ""
                if page == "README.md" and number == 0:
                    d = "not run (the two commands: docs.install_tiers checks them, CI runs them)"
                if d.startswith("not run"):
                    skipped.append(f"{block.where()}: {d}")
                    continue
                if d.startswith("file "):
                    want = open(os.path.join(source, d[5:].strip()), encoding="utf-8").read()
                    counts["files"] += 1
                    if block.text != want:
                        failures.append(f"{block.where()}: not the text of {d[5:].strip()}")
                    continue
                if block.info == "python":
                    counts["python"] += check_python(block, py_api, failures)
                    continue
                if block.info == "r":
                    counts["r"] += check_r(block, rapi, failures)
                    continue
                if block.info not in ("sh", "console"):
                    continue
                if folder is None:
                    folder = scratch_folder(source, classic, explore)
                    env["PATH"] = os.path.join(folder, ".bin") + os.pathsep + os.environ["PATH"]
                status = expected_status(block)
                if block.info == "sh":
                    counts["sh"] += 1
                    code, out, err = run(block.text, folder, env)
                    if code != status:
                        failures.append(f"{block.where()}: ended with status {code}, not "
                                        f"{status}\n{err.rstrip()}")
                    continue
                try:
                    commands = transcript(block)
                except ValueError as error:
                    failures.append(str(error))
                    continue
                for command, shown in commands:
                    counts["commands"] += 1
                    code, out, err = run(command, folder, env)
                    printed = [l.rstrip() for l in (out + err).split("\n")]
                    if printed and printed[-1] == "":
                        printed.pop()
                    if code != status:
                        failures.append(f"{block.where()}: `{command}` ended with status "
                                        f"{code}, not {status}\n{err.rstrip()}")
                    elif not matches(shown, printed):
                        failures.append(f"{block.where()}: `{command}` prints\n"
                                        + "\n".join(printed) + "\nnot what the page shows\n"
                                        + "\n".join(shown))
        finally:
            if folder:
                shutil.rmtree(folder, ignore_errors=True)

    print(f"docs examples: {counts['sh']} sh blocks run, {counts['commands']} transcript "
          f"commands compared, {counts['files']} blocks compared with files, "
          f"{counts['python']} Python and {counts['r']} R names checked, {links} links; "
          f"README.md {readme_lines} lines")
    for s in skipped:
        print(f"  not run: {s}")
    for f in failures:
        print(f"FAIL {f}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
