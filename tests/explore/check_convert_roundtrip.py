#!/usr/bin/env python3
"""A deck converted to JSON and back gives the same classic report; a JSON
scenario converted to a deck and back gives the same numbers, whatever its
title and names hold.

  check_convert_roundtrip.py EXPLORE FOURFIFTHS GOLDEN_DIR

For every deck of GOLDEN_DIR/conformance with a complete report: convert it
to JSON; convert that to a deck; run the classic program on it: its report
must be the expected report beside the original deck, byte for byte. The
JSON converted to JSON again must be the same text. A deck whose problem is
not a valid scenario (a matrix that is not symmetric, a diagonal other than
1, weights that make no composite, ...) must be refused with status 2 and
its faults named; the script counts those and the reasons.

Then the other way, for the examples beside GOLDEN_DIR and scenarios made
here (every mode, both ways of giving the applicant mix, regression
weights, criteria, requested ratios): convert to a deck and back to JSON.
The numbers must come back as they were (the applicant mix as the same
share of minority applicants), and the deck must have one line per read.
Each scenario is also given a title and names with every kind of character
(line breaks, every other control character, quotes, backslashes, numbers,
non-ASCII): its deck must give the classic program the same report as the
deck of the same scenario with plain names.
"""
import collections
import json
import os
import subprocess
import sys
import tempfile

# Every kind of character a title or a name may hold, as JSON text gives
# them: every control character, a line break before a number, quotes,
# backslashes, separators the deck reads, non-ASCII letters, the Unicode
# line separators.
AWKWARD = ("Study A\n0.5 " + "".join(chr(c) for c in range(0, 32)) + chr(127) +
           " \r\n2 3\r7 \"q\" \\ / , ; ! 1e3 -0.25 caf\u00e9 \u2028 \u2029 \u0085 \U0001F600 "
           "\x0b\x0c end")


def scenarios(source):
    """The examples, and scenarios of every shape made here."""
    examples = os.path.join(source, "examples")
    made = []
    for name in sorted(f for f in os.listdir(examples) if f.endswith(".json")):
        with open(os.path.join(examples, name)) as f:
            scenario = json.load(f)
        # A deck holds one minority group: several are checked elsewhere.
        if "groups" not in scenario:
            made.append((name, scenario))
    for i, share in enumerate((0.2, 0.3, 0.5, 0.01, 0.999, 1 / 3, 0.123456789)):
        made.append((f"share {share}", {
            "mode": "overall", "quality": "predictor",
            "predictors": [{"name": "a", "d": -0.7 - i / 10, "weight": 0.6},
                           {"name": "b", "d": -0.2, "weight": 0.4}],
            "correlations": [[1, 0.3], [0.3, 1]], "minority_share": share,
            "requested_ratios": [0.05 * (i + 1), 0.9]}))
    for ratio in (4, 0.25, 2.5, 1 / 3, 99):
        made.append((f"ratio {ratio}", {
            "mode": "overall", "weights": "regression",
            "predictors": [{"name": "a", "d": -1}, {"name": "b", "d": -0.4}],
            "criteria": [{"name": "c", "d": -0.3, "weight": 1}],
            "correlations": [[1, 0.3, 0.5], [0.3, 1, 0.4], [0.5, 0.4, 1]],
            "majority_per_minority": ratio}))
    return made


def minority_share(scenario):
    if "minority_share" in scenario:
        return scenario["minority_share"]
    if "majority_per_minority" in scenario:
        return 1 / (1 + scenario["majority_per_minority"])
    return None


def json_to_deck(explore, program, source, scratch, problems):
    """JSON -> deck -> JSON, and the report of awkward names' decks."""
    count = 0
    for name, scenario in scenarios(source):
        plain = dict(scenario, title="plain")
        awkward = dict(scenario, title=AWKWARD)
        for key in ("predictors", "criteria"):
            if key in scenario:
                plain[key] = [dict(v, name=f"v{i}") for i, v in enumerate(scenario[key])]
                awkward[key] = [dict(v, name=AWKWARD + str(i)) for i, v in enumerate(scenario[key])]
        decks = {}
        for kind, document in (("plain", plain), ("awkward", awkward)):
            path = os.path.join(scratch, "scenario.json")
            with open(path, "w") as f:
                json.dump(document, f)
            deck = subprocess.run([explore, "convert", path, "--to", "deck"], capture_output=True)
            if deck.returncode != 0:
                problems.append(f"{name} ({kind}): JSON to deck failed: {deck.stderr!r}")
                break
            decks[kind] = deck.stdout
            variables = len(scenario["predictors"]) + len(scenario.get("criteria", []))
            overall = scenario.get("mode", "overall") == "overall"
            reads = (1 + overall + (scenario.get("weights") != "regression")
                     + 2 * bool(scenario.get("criteria")) + variables + 1
                     + bool(scenario.get("requested_ratios")))
            lines = deck.stdout.count(b"\n")
            if lines != reads or not deck.stdout.endswith(b"\n"):
                problems.append(f"{name} ({kind}): the deck has {lines} lines, not one per read "
                                f"({reads})")
            back = subprocess.run([explore, "convert", "-", "--to", "json"], input=deck.stdout,
                                  capture_output=True)
            if back.returncode != 0:
                problems.append(f"{name} ({kind}): deck to JSON failed: {back.stderr!r}")
                continue
            again = json.loads(back.stdout)
            for key in ("mode", "quality", "correlations", "requested_ratios"):
                if again.get(key) != document.get(key) and document.get(key) is not None:
                    problems.append(f"{name} ({kind}): {key} {again.get(key)} after the round "
                                    f"trip, {document.get(key)} before")
            for key in ("predictors", "criteria"):
                for field in ("d", "weight"):
                    was = [v.get(field) for v in document.get(key, [])]
                    now = [v.get(field) for v in again.get(key, [])]
                    if was != now:
                        problems.append(f"{name} ({kind}): {key} {field} {now}, not {was}")
            share = minority_share(document)
            if overall and share is not None:
                mix = minority_share(again)
                if "majority_per_minority" in document:
                    if again.get("majority_per_minority") != document["majority_per_minority"]:
                        problems.append(f"{name}: majority_per_minority "
                                        f"{again.get('majority_per_minority')}")
                elif mix is None or abs(mix - share) > 4e-16 * share:
                    problems.append(f"{name} ({kind}): minority share {mix} after the round "
                                    f"trip, {share} before")
        if len(decks) == 2:
            reports = [subprocess.run([program], input=decks[k], capture_output=True)
                       for k in ("plain", "awkward")]
            if reports[0].stdout != reports[1].stdout or reports[0].returncode != \
                    reports[1].returncode:
                problems.append(f"{name}: titles and names change the deck's report")
            count += 1
    return count


def main():
    explore, program, golden = sys.argv[1:4]
    # --every N: every Nth deck of each folder only (the sanitizer builds).
    every = int(sys.argv[5]) if len(sys.argv) == 6 and sys.argv[4] == "--every" else 1
    problems = []
    converted = refused = 0
    reasons = collections.Counter()
    with tempfile.TemporaryDirectory() as scratch:
        for folder in ("valid", "edge"):
            root = os.path.join(golden, "conformance", folder)
            for name in sorted(f[:-5] for f in os.listdir(root) if f.endswith(".deck"))[::every]:
                if int(open(os.path.join(root, name + ".status")).read()) != 0:
                    continue
                deck = os.path.join(root, name + ".deck")
                to_json = subprocess.run([explore, "convert", deck, "--to", "json"],
                                         capture_output=True)
                if to_json.returncode != 0:
                    errors = to_json.stderr.decode()
                    if to_json.returncode != 2 or to_json.stdout or ": " not in errors:
                        problems.append(f"{name}: refused without a reason: {errors!r}")
                    # "fourfifths-explore: PATH: FIELD: MESSAGE", after a line
                    # that says the deck is not a valid scenario.
                    for line in errors.splitlines()[1:]:
                        parts = line.split(": ")
                        field = parts[2].split("[")[0] if len(parts) > 3 else ""
                        reasons[field + ": " + ": ".join(parts[3:])] += 1
                    refused += 1
                    continue
                json_path = os.path.join(scratch, name + ".json")
                with open(json_path, "wb") as f:
                    f.write(to_json.stdout)
                again = subprocess.run([explore, "convert", json_path, "--to", "json"],
                                       capture_output=True)
                if again.stdout != to_json.stdout:
                    problems.append(f"{name}: JSON to JSON changed the text")
                back = subprocess.run([explore, "convert", json_path, "--to", "deck"],
                                      capture_output=True)
                if back.returncode != 0:
                    problems.append(f"{name}: JSON to deck failed: {back.stderr.decode()}")
                    continue
                report = subprocess.run([program], input=back.stdout, capture_output=True)
                want = open(os.path.join(root, name + ".out"), "rb").read()
                if report.returncode != 0 or report.stdout != want:
                    problems.append(f"{name}: the report of the converted deck differs")
                converted += 1
        source = os.path.dirname(os.path.dirname(os.path.abspath(golden)))
        scenarios_checked = json_to_deck(explore, program, source, scratch, problems)
    print(f"{converted} decks round-trip to the same report; {refused} refused as scenarios")
    print(f"{scenarios_checked} JSON scenarios round-trip through their decks")
    for reason, n in reasons.most_common():
        print(f"  {n:4} {reason}")
    for p in problems[:20]:
        print(p)
    return 1 if problems or converted == 0 or scenarios_checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
