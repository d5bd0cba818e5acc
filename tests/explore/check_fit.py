#!/usr/bin/env python3
"""fourfifths-explore fit as a user meets it: the scenario written from a
sample (a file and standard input as "-"), read back by convert, the
reference group named or chosen, and bad input of each kind: exit status 2,
the line and column on standard error, nothing on standard output, no file
written and an existing one left as it was; output that cannot be written
(/dev/full) is a failed run too.

  check_fit.py EXPLORE WORKDIR
"""
import json
import os
import subprocess
import sys

failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def run(explore, args, stdin=b""):
    return subprocess.run([explore] + args, input=stdin, capture_output=True)


def write(path, text):
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)
    return path


SAMPLE = ("id,team,p1,p2,crit\n"
          "1,A,1.0,2.0,0.5\n2,A,2.0,3.5,1.0\n3,B,0.5,1.0,1.5\n4,A,3.0,3.0,2.5\n"
          "5,A,4.0,6.0,2.0\n6,B,1.5,,0.0\n7,B,1.5,1.0,0.0\n8,B,2.5,3.0,1.0\n"
          "9,,3.0,4.0,3.0\n10,A,5.0,4.5,2.0\n")
ARGS = ["--group", "team", "--predictors", "p1,p2", "--criteria", "crit"]
# numpy's on the eight complete rows (tests/present/fit_test.cc shows how).
NUMPY_D = [-1.0606601717798212, -1.5105939727199453, -0.9550230183180097]
NUMPY_R12 = 0.792768499721336


def check_written(explore, work):
    data = write(os.path.join(work, "sample.csv"), SAMPLE)
    p = run(explore, ["fit", data] + ARGS)
    expect(p.returncode == 0, f"fit: status {p.returncode}, {p.stderr!r}")
    s = json.loads(p.stdout)
    d = [v["d"] for v in s["predictors"] + s["criteria"]]
    expect(all(abs(a - b) < 1e-14 for a, b in zip(d, NUMPY_D)), f"effects: {d}")
    expect(abs(s["correlations"][0][1] - NUMPY_R12) < 1e-14, f"r: {s['correlations']}")
    expect(s["minority_share"] == 0.375 and s["weights"] == "regression"
           and s["criteria"][0]["weight"] == 1, f"scenario: {s}")
    expect(s["calibration_n"] == 8 and s["calibration"] == {
        "missing": "listwise", "dropped": 2,
        "groups": [{"name": "A", "n": 5}, {"name": "B", "n": 3}]}, f"calibration: {s}")
    err = p.stderr.decode()
    expect("sample.csv: warning: 2 rows with a missing value left out (listwise)" in err
           and 'the reference group is "A"' in err, f"warnings: {err!r}")
    # Standard input, and a file: the same scenario.
    stdin = run(explore, ["fit", "-"] + ARGS, SAMPLE.encode())
    expect(stdin.returncode == 0 and stdin.stdout == p.stdout, f"stdin: {stdin.stderr!r}")
    out = os.path.join(work, "fitted.json")
    f = run(explore, ["fit", data, "--output", out] + ARGS)
    expect(f.returncode == 0 and f.stdout == b"", f"--output: {f.returncode} {f.stderr!r}")
    with open(out, "rb") as written:
        expect(written.read() == p.stdout, "--output wrote another text")
    # The scenario reads back as it was written, and analyses.
    back = run(explore, ["convert", out, "--to", "json"])
    expect(back.returncode == 0 and back.stdout == p.stdout, f"convert: {back.stderr!r}")
    table = run(explore, ["table", out, "--ratios", "0.5"])
    expect(table.returncode == 0, f"table: {table.stderr!r}")
    # A named reference.
    b = run(explore, ["fit", data, "--reference", "B"] + ARGS)
    sb = json.loads(b.stdout) if b.returncode == 0 else {}
    expect(sb.get("minority_share") == 0.625 and b"reference group is" not in b.stderr,
           f"--reference B: {b.returncode} {b.stderr!r}")
    # Several groups: the groups form.
    three = write(os.path.join(work, "three.csv"),
                  "g,x,y\nW,1,2\nW,2,1\nW,3,5\nW,4,3\nB,0,1\nB,1,0\nH,2,2\nH,3,4\nH,2,1\n")
    g = run(explore, ["fit", three, "--group", "g", "--predictors", "x", "--criteria", "y"])
    sg = json.loads(g.stdout) if g.returncode == 0 else {}
    expect([x["name"] for x in sg.get("groups", [])] == ["B", "H"]
           and "minority_share" not in sg, f"groups form: {g.stderr!r} {sg}")
    # A group named like a spreadsheet formula is data: kept in the scenario,
    # and written with a quote before it in every CSV table.
    formula = write(os.path.join(work, "formula.csv"),
                    'g,x\n"=HYPERLINK(""x"")",1\n"=HYPERLINK(""x"")",2\n@b,4\n@b,6\n+c,1\n+c,3\n')
    fitted = os.path.join(work, "formula.json")
    p = run(explore, ["fit", formula, "--group", "g", "--predictors", "x", "-o", fitted])
    sf = json.loads(open(fitted, encoding="utf-8").read()) if p.returncode == 0 else {}
    expect([g["name"] for g in sf.get("calibration", {}).get("groups", [])]
           == ['=HYPERLINK("x")', "@b", "+c"], f"formula names: {p.stderr!r} {sf}")
    t = run(explore, ["table", fitted, "--ratios", "0.5"])
    cells = t.stdout.decode()
    expect(t.returncode == 0 and "'@b" in cells and "'+c" in cells and "\n@b" not in cells
           and ",@b" not in cells, f"formula names in CSV: {cells!r}")
    # To /dev/full: a failed run that says so.
    if os.path.exists("/dev/full"):
        full = run(explore, ["fit", data, "--output", "/dev/full"] + ARGS)
        expect(full.returncode == 2 and b"cannot write /dev/full" in full.stderr,
               f"/dev/full: {full.returncode} {full.stderr!r}")


def check_faults(explore, work):
    keep = os.path.join(work, "keep.json")
    head = "g,x,y\n"
    rows = "A,1,2\nA,2,1\nB,0,1\nB,1,0\n"
    base = ["--group", "g", "--predictors", "x", "--criteria", "y"]
    cases = [
        ("empty", "", base, "no header line: the input is empty"),
        ("header only", head, base, "no rows after the header"),
        ("truncated quote", head + rows + 'B,"1,2', base,
         "line 6: column 2: the quote opened on line 6 is not closed"),
        ("a word", head + "A,1,2\nA,abc,1\n" + rows, base,
         'line 3, column 2 (x): must be a number, not "abc"'),
        ("inf", head + rows + "B,1,inf\n", base, 'line 6, column 3 (y): must be a number, not "inf"'),
        ("nan", head + rows + "B,NaN,1\n", base, 'line 6, column 2 (x): must be a number, not "NaN"'),
        ("1e999", head + rows + "B,1e999,1\n", base,
         'line 6, column 2 (x): is beyond the range of numbers: "1e999"'),
        ("short row", head + rows + "B,1\r\n", base, "line 6: 2 fields where the header has 3"),
        ("column twice", "g,x,y,x\n" + rows, base,
         'line 1, column 4: the column "x" appears twice'),
        ("no such column", head + rows, ["--group", "g", "--predictors", "x,z"],
         'line 1: no column "z" in the header (it has g, x, y)'),
        ("named twice", head + rows, ["--group", "g", "--predictors", "x,x"],
         'predictors: the column "x" is named twice'),
        ("one person", head + "A,1,2\nA,2,1\nA,3,3\nB,0,1\n", base,
         'group "B": has 1 complete row'),
        ("no such reference", head + rows, base + ["--reference", "C"],
         'reference: no row of the column "g" names the group "C"'),
        ("no spread", head + "A,1,2\nA,1,1\nB,1,1\nB,1,0\n", base,
         'column "x": does not vary within the groups'),
    ]
    for name, text, args, message in cases:
        data = write(os.path.join(work, "bad.csv"), text)
        write(keep, "as it was\n")
        p = run(explore, ["fit", data, "--output", keep] + args)
        err = p.stderr.decode()
        expect(p.returncode == 2, f"{name}: status {p.returncode}")
        expect(f"bad.csv: {message}" in err, f"{name}: {err!r}")
        expect(p.stdout == b"", f"{name}: wrote {p.stdout!r}")
        with open(keep, encoding="utf-8") as f:
            expect(f.read() == "as it was\n", f"{name}: the output file was changed")
        s = run(explore, ["fit", data] + args)
        expect(s.returncode == 2 and s.stdout == b"", f"{name} to stdout: {s.stdout!r}")
    missing = run(explore, ["fit", os.path.join(work, "none.csv")] + base)
    expect(missing.returncode == 2 and b"cannot read" in missing.stderr, f"no file: {missing.stderr!r}")
    for args in (["fit"], ["fit", "x.csv", "--predictors", "x"], ["fit", "x.csv", "--group", "g"]):
        p = run(explore, args)
        expect(p.returncode == 2 and p.stderr != b"", f"{args}: {p.returncode} {p.stderr!r}")


def main():
    explore, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    check_written(explore, work)
    check_faults(explore, work)
    for f in failures:
        print("FAIL:", f)
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
