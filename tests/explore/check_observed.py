#!/usr/bin/env python3
"""fourfifths-explore observed as a user meets it: the table's columns and
rows in each format, standard input as "-", --reference and --alpha, the
steps of a process and --steps, the chart, and bad input of each kind: exit status 2, the line and column on
standard error, nothing on standard output and no file written (an
existing one left as it was). Where Debian's scipy is installed, the
written p values are checked against it too.

  check_observed.py EXPLORE WORKDIR
"""
import csv
import io
import json
import os
import subprocess
import sys

failures = []

COLUMNS = ["unit", "group", "applicants", "selected", "rate", "reference", "impact_ratio",
           "passes_four_fifths", "shortfall_four_fifths", "shortfall_pool", "one_person_flip", "z",
           "p_z", "p_fisher", "ci_low", "ci_high", "status"]
TESTS = ["z", "p_z", "p_fisher", "ci_low", "ci_high"]


def run(explore, args, stdin=b""):
    return subprocess.run([explore, "observed"] + args, input=stdin, capture_output=True)


def expect(condition, what):
    if not condition:
        failures.append(what)


def rows_of(text):
    return list(csv.DictReader(io.StringIO(text)))


def write(path, text):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return path


def check_table(explore, work):
    counts = write(os.path.join(work, "counts.csv"),
                   "group,applicants,selected\nmen,80,48\nwomen,60,24\nother,0,0\n")
    p = run(explore, [counts, "--format", "csv"])
    expect(p.returncode == 0 and p.stderr == b"", f"counts: status {p.returncode}, {p.stderr!r}")
    rows = rows_of(p.stdout.decode())
    header = p.stdout.decode().split("\n", 1)[0].split(",")
    expect(all(c in header for c in COLUMNS), f"columns: {header}")
    expect([r["group"] for r in rows] == ["men", "women", "other"], f"rows: {rows}")
    men, women, other = rows
    expect(men["status"] == "reference" and float(men["impact_ratio"]) == 1
           and all(men[c] == "" for c in TESTS), f"reference row: {men}")
    expect(women["passes_four_fifths"] == "false" and women["shortfall_four_fifths"] == "5"
           and abs(float(women["impact_ratio"]) - 2 / 3) < 1e-15, f"women: {women}")
    expect(other["status"] == "no_applicants" and other["rate"] == "", f"no applicants: {other}")

    # The same from standard input, and the same numbers in JSON.
    q = run(explore, ["-"], stdin=open(counts, "rb").read())
    expect(q.returncode == 0 and q.stdout == p.stdout, "standard input differs from the file")
    j = run(explore, [counts, "--format", "json"])
    doc = json.loads(j.stdout)
    expect(j.returncode == 0 and doc["rows"][1]["p_fisher"] == float(women["p_fisher"]),
           "json p_fisher")
    t = run(explore, [counts, "--format", "text"])
    expect(t.returncode == 0 and b"women" in t.stdout and b"Reference:" in t.stdout, "text")

    # Independent values where Debian's scipy is installed.
    try:
        import scipy.stats
        from statsmodels.stats.proportion import proportions_ztest
    except ImportError:
        pass
    else:
        want = scipy.stats.fisher_exact([[24, 36], [48, 32]]).pvalue
        expect(abs(float(women["p_fisher"]) - want) <= 1e-12 * want, f"p_fisher against scipy {want}")
        z = proportions_ztest([24, 48], [60, 80])[0]
        expect(abs(float(women["z"]) - z) <= 1e-12 * abs(z), f"z against statsmodels {z}")

    # --reference, --alpha, units, one applicant per row.
    r = rows_of(run(explore, [counts, "--reference", "women"]).stdout.decode())
    expect(r[1]["status"] == "reference" and r[0]["reference"] == "women", "--reference")
    a = rows_of(run(explore, [counts, "--alpha", "0.01"]).stdout.decode())
    expect(float(a[1]["ci_low"]) < float(women["ci_low"]), "--alpha widens the interval")
    people = "unit,group,selected\n" + "".join(
        f"{u},{g},{'yes' if k < s else 'no'}\n"
        for u, g, n, s in [("2023", "a", 10, 6), ("2023", "b", 8, 2), ("2024", "a", 5, 3),
                           ("2024", "b", 7, 4)] for k in range(n))
    u = run(explore, ["-"], stdin=people.encode())
    rows = rows_of(u.stdout.decode())
    expect(u.returncode == 0 and [(x["unit"], x["group"], x["applicants"], x["selected"])
                                  for x in rows] ==
           [("2023", "a", "10", "6"), ("2023", "b", "8", "2"), ("2024", "a", "5", "3"),
            ("2024", "b", "7", "4"), ("", "a", "15", "9"), ("", "b", "15", "6")],
           f"applicants per row: {rows}")
    expect(rows[5]["mh_units"] == "2" and rows[5]["p_mh"] != "", "Mantel-Haenszel columns")

    # -o and --plot write whole files.
    out, plot = os.path.join(work, "out.csv"), os.path.join(work, "rates.svg")
    w = run(explore, [counts, "-o", out, "--plot", plot])
    expect(w.returncode == 0 and w.stdout == b"", "-o: wrote to standard output")
    expect(open(out, "rb").read() == p.stdout, "-o: not the table")
    expect(b"<svg" in open(plot, "rb").read(), "--plot: not SVG")


def check_bad_input(explore, work):
    out = os.path.join(work, "kept.csv")
    plot = os.path.join(work, "kept.svg")
    cases = [
        ("group,applicants,selected\na,10,5\nb,3,5\n",
         "line 3, column 3 (selected): more selected (5) than applicants (3)"),
        ("group,applicants,selected\na,-1,0\n", "line 2, column 2 (applicants): must not be negative"),
        ("group,applicants,selected\na,10,5\n,4,1\n", "line 3, column 1 (group): is missing"),
        ("group,applicants,selected\na,ten,5\n",
         "line 2, column 2 (applicants): must be a whole number, not \"ten\""),
        ("group,selected\na,perhaps\n", "line 2, column 2 (selected): must be 0, 1, yes or no"),
        ('{"counts": [{"group": "a", "applicants": 5, "selected": 9}]}',
         "counts[0].selected: more selected (9) than applicants (5)"),
        ('{"counts": [\n', "JSON parse error at line 2, column 1"),
    ]
    for text, message in cases:
        bad = write(os.path.join(work, "bad.csv"), text)
        for target in ("new", "existing"):
            for path in (out, plot):
                if os.path.exists(path):
                    os.remove(path)
            if target == "existing":
                write(out, "before\n")
            p = run(explore, [bad, "-o", out, "--plot", plot])
            what = f"{text!r} ({target} -o)"
            expect(p.returncode == 2, f"{what}: status {p.returncode}")
            expect(p.stdout == b"", f"{what}: wrote to standard output")
            expect(f"{bad}: {message}" in p.stderr.decode(), f"{what}: {p.stderr!r}")
            expect(not os.path.exists(plot), f"{what}: wrote the chart")
            if target == "existing":
                expect(open(out).read() == "before\n", f"{what}: changed the output file")
            else:
                expect(not os.path.exists(out), f"{what}: wrote the output file")
        # To standard output: nothing.
        p = run(explore, ["-"], stdin=text.encode())
        expect(p.returncode == 2 and p.stdout == b"" and f"standard input: {message}"
               in p.stderr.decode(), f"{text!r} on standard input: {p.stderr!r}")

    good = write(os.path.join(work, "good.csv"), "group,applicants,selected\na,10,5\nb,10,3\n")
    for args, message in [(["--reference", "z"], "reference: no group \"z\" in the counts"),
                          (["--alpha", "1"], "--alpha"), (["--alpha", "0"], "--alpha"),
                          (["--format", "xml"], "--format")]:
        p = run(explore, [good] + args)
        expect(p.returncode == 2 and p.stdout == b"" and message in p.stderr.decode(),
               f"{args}: status {p.returncode}, {p.stderr!r}")
    p = run(explore, [os.path.join(work, "no", "such.csv")])
    expect(p.returncode == 2 and b"cannot read" in p.stderr, "missing file")
    p = run(explore, [good, "-o", os.path.join(work, "no", "dir", "out.csv")])
    expect(p.returncode == 2 and b"cannot write" in p.stderr and p.stdout == b"", "unwritable -o")


def check_steps(explore, work):
    # Applicants by the last step reached, the interview met first: by
    # hand, in the order of --steps, a had 3 screened and 2 passed, 2
    # interviewed and 1 hired; b 1 screened who did not pass. Nobody of b
    # reached the interview: a row of zero applicants.
    people = write(os.path.join(work, "people.csv"),
                   "group,step,selected\na,interview,yes\na,interview,no\na,screen,no\nb,screen,no\n")
    p = run(explore, [people, "--steps", "screen,interview"])
    expect(p.returncode == 0 and p.stderr == b"", f"steps: status {p.returncode}, {p.stderr!r}")
    rows = rows_of(p.stdout.decode())
    got = [(r["step"], r["group"], r["applicants"], r["selected"], r["status"]) for r in rows]
    expect(got == [("screen", "a", "3", "2", "reference"), ("screen", "b", "1", "0", "group_rate_zero"),
                   ("interview", "a", "2", "1", "reference"), ("interview", "b", "0", "0", "no_applicants"),
                   ("", "a", "3", "1", "reference"), ("", "b", "1", "0", "group_rate_zero")],
           f"steps: {got}")
    # A step the order lacks, and steps with units: status 2, nothing written.
    for args, text, message in [
            (["--steps", "screen"], None, 'line 2, column 2 (step): "interview" is not among the steps'),
            ([], "group,applicants,selected,step,unit\na,1,1,s,u\n", "units and steps are not"),
            ([], "group,applicants,selected,step\na,1,1,s\na,2,1,t\n", "line 3, column 2 (applicants)")]:
        data = people if text is None else write(os.path.join(work, "bad_steps.csv"), text)
        p = run(explore, [data] + args)
        expect(p.returncode == 2 and p.stdout == b"" and message in p.stderr.decode(),
               f"steps {args} {text!r}: status {p.returncode}, {p.stderr!r}")


def main():
    explore, work = sys.argv[1:3]
    os.makedirs(work, exist_ok=True)
    check_table(explore, work)
    check_bad_input(explore, work)
    check_steps(explore, work)
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
