#!/usr/bin/env python3
"""Runs `fourfifths-explore plot` on scenarios and checks the rendered pictures.

Usage: check_plot_render.py EXPLORER SOURCE_DIRECTORY OUTPUT_DIRECTORY

For each scenario (the example decks: overall and majority mode, criterion
and predictor quality, both methods; a deck without a four-fifths minimum;
a JSON scenario in majority mode with the applicant mix and a title) the
program writes NAME.svg into OUTPUT_DIRECTORY, rsvg-convert (librsvg)
renders it at 800 x 500 to NAME.png, and check_chart_render.py's checks run
on the pair: well-formed, rendered without a message, not blank, tick
labels where their attributes say, and, by the data-to-pixel mapping fitted
to the tick labels alone,

  * the four-fifths line on the row of 0.8 in the impact panel;
  * the minimum's marker at (minimum, 0.8) and its vertical line in all
    three panels, or, without a minimum, no marker, no vertical line and a
    note that says so.

The minimum's position comes from `fourfifths-explore table --format csv`
(the `minimum` row's `sr`, or `sr_majority` in majority mode), which does
not go through the plot code, and for the example decks it must agree with
the minimum printed in their expected classic reports (examples/*.out).

Before rendering, the command line is checked: "-o -" writes the same bytes
to standard output, -o is required, and a run that cannot write its file
fails with status 2 and leaves no file behind.

Exits 0 when every check passes, 1 when one fails, and 77 (skipped) when
rsvg-convert is not installed (after the command-line checks have passed).
"""

import csv
import io
import os
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "present"))
import check_chart_render as chart  # noqa: E402  (the shared renderer checks)

from check_chart_render import SVG, CheckFailed, require  # noqa: E402

WIDTH, HEIGHT = 800, 500

# name, scenario (relative to the source tree), mode, method, whether it
# has the applicant mix, the example's expected report (or None).
CASES = [
    ("regression_weights", "examples/regression_weights.deck", "overall", "precise", True,
     "examples/regression_weights.out"),
    ("regression_weights_classic", "examples/regression_weights.deck", "overall", "classic", True,
     "examples/regression_weights.out"),
    ("overall_given_weights", "examples/overall_given_weights.deck", "overall", "precise", True,
     "examples/overall_given_weights.out"),
    ("majority_criterion", "examples/majority_criterion.deck", "majority", "precise", False,
     "examples/majority_criterion.out"),
    ("majority_mix", "tests/explore/data/majority_mix.json", "majority", "precise", True, None),
    ("no_minimum", "tests/explore/data/no_minimum.deck", "overall", "precise", True, None),
]


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, **kwargs)


def table_minimum(explorer, scenario, mode, method):
    """The minimum's ratio from the table subcommand, or None."""
    out = run([explorer, "table", scenario, "--format", "csv", "--method", method], check=True)
    rows = [r for r in csv.DictReader(io.StringIO(out.stdout.decode())) if r["kind"] == "minimum"]
    require(len(rows) <= 1, f"{scenario}: {len(rows)} minimum rows")
    if not rows:
        return None
    return float(rows[0]["sr" if mode == "overall" else "sr_majority"])


def report_minimum(path):
    """The minimum the classic report prints, or None after "Error in srmax"."""
    text = open(path).read()
    found = re.search(r"Minim(?:um overall|al majority) selection ratio without AI 4/5th rule is"
                      r"\s+([0-9.]+)", text)
    return float(found.group(1)) if found else None


def texts(element, cls):
    return [t.text or "" for t in element.iter(SVG + "text") if cls in chart.classes(t)]


def legend_labels(panel):
    return [t.text for g in chart.groups(panel, "legend") for t in g.iter(SVG + "text")]


def check_case(explorer, source, out, renderer, case):
    name, scenario, mode, method, mixed, report = case
    scenario = os.path.join(source, scenario)
    svg, png = os.path.join(out, name + ".svg"), os.path.join(out, name + ".png")
    plotted = run([explorer, "plot", scenario, "-o", svg, "--method", method])
    require(plotted.returncode == 0 and not plotted.stderr,
            f"{name}: plot status {plotted.returncode}: {plotted.stderr.decode().strip()}")

    minimum = table_minimum(explorer, scenario, mode, method)
    if report is not None:
        printed = report_minimum(os.path.join(source, report))
        require((printed is None) == (minimum is None),
                f"{name}: the report's minimum {printed}, the table's {minimum}")
        if printed is not None:
            require(abs(minimum - printed) <= 0.0005 + 1e-12,
                    f"{name}: the table's minimum {minimum} is not the report's {printed}")

    checks = [{"panel": 0, "kind": "horizontal", "value": 0.8}]
    if minimum is not None:
        checks.append({"panel": 0, "kind": "marker", "label": f"minimum {minimum:.3f}",
                       "x": minimum, "y": 0.8})
        checks += [{"panel": i, "kind": "vertical", "value": minimum} for i in range(3)]

    run_png = run([renderer, "-w", str(WIDTH), "-h", str(HEIGHT), svg, "-o", png], text=True)
    require(run_png.returncode == 0 and not run_png.stderr.strip(),
            f"{name}.svg: rsvg-convert status {run_png.returncode}: {run_png.stderr.strip()}")
    chart.check_figure(svg, png, {"width": WIDTH, "height": HEIGHT, "checks": checks})

    root = ET.parse(svg).getroot()
    panels = chart.groups(root, "panel")
    require(len(panels) == 3, f"{name}: {len(panels)} panels")
    quality = legend_labels(panels[2])
    require(("Overall" in quality) == mixed,
            f"{name}: quality legend {quality}, applicant mix {'given' if mixed else 'not given'}")
    if scenario.endswith(".json"):
        heading = [t.text for t in root if t.tag == SVG + "text"]
        require(any(h.startswith("Cognitive ability test") for h in heading),
                f"{name}: the scenario's title is not the figure's: {heading}")
    if minimum is None:
        image = chart.Image(png)
        require(not chart.groups(root, "marker"), f"{name}: a marker without a minimum")
        notes = texts(panels[0], "note")
        require(any("no four-fifths minimum" in n for n in notes), f"{name}: notes {notes}")
        reference = chart.hex_colour(
            next(line.get("stroke") for g in chart.groups(root, "reference")
                 for line in g.iter(SVG + "line")))
        for i, g in enumerate(panels):
            column, share = chart.find_line(image, chart.Panel(g, i), reference, horizontal=False)
            require(share < 0.3, f"{name} panel {i}: a vertical line at pixel {column} "
                    f"({share:.0%} of the height) without a minimum")
        print(f"{name}: no minimum, no marker, no vertical line, note {notes[0]!r}")


def check_command_line(explorer, source, out):
    deck = os.path.join(source, "examples/regression_weights.deck")
    target = os.path.join(out, "cli.svg")
    require(run([explorer, "plot", deck, "-o", target]).returncode == 0, "plot -o FILE failed")
    to_stdout = run([explorer, "plot", deck, "-o", "-"])
    require(to_stdout.returncode == 0 and to_stdout.stdout == open(target, "rb").read(),
            "plot -o - does not write the same bytes as plot -o FILE")
    missing = run([explorer, "plot", deck])
    require(missing.returncode == 2 and b"--output" in missing.stderr,
            f"plot without -o: status {missing.returncode}, {missing.stderr!r}")
    nowhere = os.path.join(out, "no such directory", "plot.svg")
    failed = run([explorer, "plot", deck, "-o", nowhere])
    require(failed.returncode == 2 and b"cannot write" in failed.stderr,
            f"plot into a missing directory: status {failed.returncode}, {failed.stderr!r}")
    if os.path.exists("/dev/full"):
        with open("/dev/full", "wb") as full:
            status = subprocess.run([explorer, "plot", deck, "-o", "-"], stdout=full,
                                    stderr=subprocess.PIPE)
        require(status.returncode == 2 and b"cannot write standard output" in status.stderr,
                f"plot to a full device: status {status.returncode}, {status.stderr!r}")
    # A scenario that cannot be read leaves the file that was there alone.
    with open(target, "w") as f:
        f.write("earlier")
    bad = run([explorer, "plot", os.path.join(out, "no such scenario"), "-o", target])
    require(bad.returncode == 2 and open(target).read() == "earlier",
            f"plot of a missing scenario: status {bad.returncode}, or the old file was changed")
    leftovers = [f for f in os.listdir(out) if f.startswith("cli.svg.")]
    require(not leftovers, f"temporary files left behind: {leftovers}")
    print("command line: ok")


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    explorer, source, out = sys.argv[1:]
    os.makedirs(out, exist_ok=True)
    try:
        check_command_line(explorer, source, out)
    except CheckFailed as e:
        print(f"FAIL {e}", file=sys.stderr)
        return 1
    renderer = shutil.which("rsvg-convert")
    if renderer is None:
        print("rsvg-convert (Debian package librsvg2-bin) is not installed: skipped")
        return 77
    failures = 0
    for case in CASES:
        try:
            check_case(explorer, source, out, renderer, case)
            print(f"{case[0]}: ok")
        except (CheckFailed, ET.ParseError, subprocess.CalledProcessError) as e:
            print(f"FAIL {e}", file=sys.stderr)
            failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
