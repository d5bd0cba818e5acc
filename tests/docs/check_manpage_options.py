#!/usr/bin/env python3
"""The manual page's synopsis against the explorer's own option definitions.

Usage: check_manpage_options.py MANPAGE FOURFIFTHS_EXPLORE

`fourfifths-explore SUBCOMMAND --help` is written by the command-line parser
from the same definitions that parse the options, so it is what the program
takes. The page's SYNOPSIS must list the same subcommands, and for each the
same options: every option of the help under one of its names (`-o` for
`-o,--output`), and no option the help does not have. An option added to the
program and not to the page, or to the page and not the program, fails here
with both named. Exits 0 when they agree, 1 otherwise.
"""
import re
import subprocess
import sys


def roff_text(line):
    """A line of the page without its escapes' backslashes (\\- is -)."""
    return line.replace("\\-", "-").replace("\\fR", "").replace("\\fP", "").replace("\\fB", "")


def synopsis(page):
    """Subcommand to the set of option names its synopsis lines give."""
    lines = page.splitlines()
    start = lines.index(".SH SYNOPSIS") + 1
    commands = {}
    current = None
    for line in lines[start:]:
        if line.startswith(".SH"):
            break
        text = roff_text(line)
        head = re.match(r"\.B fourfifths-explore(?: (\w+))?\s*$", text)
        if head:
            current = head.group(1) or ""
            commands.setdefault(current, set())
            continue
        if line.startswith(".br"):
            current = None
            continue
        if current is not None:
            commands[current].update(re.findall(r"(?<![\w-])(--?[a-z][a-z0-9-]*)", text))
    return commands


def help_options(explore, *args):
    """The options `explore ARGS --help` lists, each as the set of its names."""
    out = subprocess.run([explore, *args, "--help"], capture_output=True, text=True, check=True).stdout
    options = []
    for line in out.splitlines():
        found = re.match(r"\s+(-[^\s]+)", line)
        if found:
            options.append(set(found.group(1).split(",")))
    return options, out


def help_subcommands(out):
    """The subcommands the top-level help lists."""
    names = []
    listing = False
    for line in out.splitlines():
        if line.startswith("Subcommands:"):
            listing = True
        elif listing and re.match(r"\s+(\w+)\s", line):
            names.append(line.split()[0])
        elif listing and line.strip() and not line.startswith(" "):
            listing = False
    return names


def main():
    page_path, explore = sys.argv[1:3]
    with open(page_path, encoding="utf-8") as f:
        page = synopsis(f.read())
    top, out = help_options(explore)
    faults = []
    subcommands = help_subcommands(out)
    if not subcommands:
        faults.append("the explorer's --help lists no subcommands")
    # The top level: only --help and --version, on a line of their own.
    expected = {"": top}
    for name in subcommands:
        expected[name] = help_options(explore, name)[0]
    for name in sorted(set(page) - set(expected)):
        faults.append(f"the page's synopsis has the subcommand {name!r}, the program has not")
    for name, options in expected.items():
        label = name or "(no subcommand)"
        if name not in page:
            faults.append(f"{label}: the program has this subcommand, the page's synopsis has not")
            continue
        listed = page[name]
        for names in options:
            # --help of a subcommand goes without saying.
            if name and "--help" in names:
                continue
            if not names & listed:
                faults.append(f"{label}: the program takes {','.join(sorted(names))}, "
                              "the page's synopsis does not list it")
        known = set().union(*options) if options else set()
        for option in sorted(listed - known):
            faults.append(f"{label}: the page's synopsis lists {option}, the program does not take it")
    for fault in faults:
        print(fault)
    print(f"{len(expected)} synopsis entries against the program's --help: "
          f"{'agree' if not faults else f'{len(faults)} differences'}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
