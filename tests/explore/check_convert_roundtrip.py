#!/usr/bin/env python3
"""A deck converted to JSON and back gives the same classic report.

  check_convert_roundtrip.py EXPLORE FOURFIFTHS GOLDEN_DIR

For every deck of GOLDEN_DIR/conformance with a complete report: convert it
to JSON; convert that to a deck; run the classic program on it: its report
must be the expected report beside the original deck, byte for byte. The
JSON converted to JSON again must be the same text. A deck whose problem is
not a valid scenario (a matrix that is not symmetric, a diagonal other than
1, weights that make no composite, ...) must be refused with status 2 and
its faults named; the script counts those and the reasons.
"""
import collections
import os
import subprocess
import sys
import tempfile


def main():
    explore, program, golden = sys.argv[1:4]
    problems = []
    converted = refused = 0
    reasons = collections.Counter()
    with tempfile.TemporaryDirectory() as scratch:
        for folder in ("valid", "edge"):
            root = os.path.join(golden, "conformance", folder)
            for name in sorted(f[:-5] for f in os.listdir(root) if f.endswith(".deck")):
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
    print(f"{converted} decks round-trip to the same report; {refused} refused as scenarios")
    for reason, n in reasons.most_common():
        print(f"  {n:4} {reason}")
    for p in problems[:20]:
        print(p)
    return 1 if problems or converted == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
