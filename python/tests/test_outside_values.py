"""The package's numbers against values from outside the code: the 50-digit
outcomes of the conformance decks (tests/golden/precise) and of problems
with several minority groups (tests/analysis/data/groups), within 1e-12:
relative for rates and ratios, relative to max(1, |v|) for cut scores and
means. The dict of a scenario and the explorer's table agree with them too
(the group table is also compared with the explorer's, to the last bit)."""
import csv
import json
import warnings
from collections import defaultdict

import numpy as np
import pytest

import fourfifths
from conftest import CONFORMANCE, ROOT, as_table, assert_same_frame, explore_csv

PRECISE = ROOT / "tests" / "golden" / "precise" / "valid.csv"
GROUPS = ROOT / "tests" / "analysis" / "data" / "groups"
TOLERANCE = 1e-12
RELATIVE = {"sr", "sr_majority", "sr_minority", "ai_ratio", "sr_group", "ai_vs_majority",
            "ratio_to_highest", "target"}


def error(got, want, column):
    """The error as the tolerance measures it."""
    scale = abs(want) if column in RELATIVE else max(1.0, abs(want))
    return abs(got - want) / scale if scale > 0 else abs(got - want)


@pytest.mark.filterwarnings("ignore::fourfifths.FourFifthsWarning")
def test_precise_method_against_fifty_digits():
    with open(PRECISE, newline="") as f:
        by_deck = defaultdict(list)
        for row in csv.DictReader(f):
            by_deck[row["deck"]].append(row)
    assert len(by_deck) > 250
    largest, compared = 0.0, 0
    impossible = 0
    for deck, rows in by_deck.items():
        with warnings.catch_warnings(record=True) as said:
            warnings.simplefilter("always")
            t = fourfifths.table(CONFORMANCE / "valid" / (deck + ".deck"))
        if any("not positive definite" in str(w.message) for w in said):
            # Correlations of no population: a status, never the formulas' numbers.
            assert (t["status"] == "not_positive_definite").all(), deck
            assert t.drop(columns=["kind", "target", "status"]).isna().all().all(), deck
            impossible += 1
            continue
        # The table's entries numbered as the report numbers them: the
        # built-in ratios 1 to 21, the minimum 22, the requested ones from 23.
        index = {}
        requested = 23
        for i, kind in enumerate(t["kind"]):
            if kind == "builtin":
                index[i + 1] = i
            elif kind == "minimum":
                index[22] = i
            else:
                index[requested] = i
                requested += 1
        for want in rows:
            got = t.iloc[index[int(want["index"])]]
            assert got["kind"] == want["kind"], deck
            for column in ("target", "cut_score", "sr", "sr_majority", "sr_minority", "ai_ratio",
                           "mean", "mean_majority", "mean_minority", "mean_difference", "std_mean",
                           "std_mean_majority", "std_mean_minority", "std_mean_difference"):
                if want[column] == "":
                    assert np.isnan(got[column]), (deck, want["index"], column)
                    continue
                e = error(got[column], float(want[column]), column)
                assert e <= TOLERANCE, (deck, want["index"], column, got[column], want[column])
                largest = max(largest, e)
                compared += 1
    assert 0 < impossible < 20
    print(f"{compared} values, largest error {largest:.3g}; {impossible} decks without numbers")


def scenario(case):
    """A case of the neutral form as a scenario dict with "groups"."""
    regression = case["predictor_weights"] == "regression"
    doc = {"id": case["id"], "mode": case["mode"], "quality": case["quality"]}
    if regression:
        doc["weights"] = "regression"
    doc["predictors"] = [{} if regression else {"weight": w}
                         for w in ([None] * case["predictors"] if regression
                                   else case["predictor_weights"])]
    doc["criteria"] = [{"weight": w} for w in case.get("criterion_weights", [])[:case["criteria"]]]
    doc["correlations"] = np.array(case["correlations"])  # arrays are taken too
    doc["groups"] = [{"name": g["name"], "share": g["share"], "d": g["d"]}
                     for g in case["groups"]]
    return doc


def load_cases():
    with open(GROUPS / "cases.jsonl") as f:
        cases = [json.loads(line) for line in f if line.strip()]
    truth = defaultdict(list)
    with open(GROUPS / "truth.csv", newline="") as f:
        for row in csv.DictReader(f):
            truth[row["case"]].append(row)
    return cases, truth


RATIOS = [0.01, 0.05, 0.1, 0.2, 0.3, 0.5, 0.7, 0.9]


def test_several_groups_against_forty_digits():
    cases, truth = load_cases()
    assert len(cases) == 120
    largest = 0.0
    for case in cases:
        t = fourfifths.table(scenario(case), ratios=RATIOS)
        # Below the doubles a minimum has no rows.
        expected = [w for w in truth[case["id"]] if not w["ratio"].startswith("minimum:")
                    or float(w["ratio"][8:]) >= 2.2250738585072014e-308]
        assert len(t) == len(expected), case["id"]
        for (_, got), want in zip(t.iterrows(), expected):
            at = (case["id"], want["ratio"][:20], want["group"])
            minimum = want["ratio"].startswith("minimum:")
            assert got["kind"] == ("minimum" if minimum else "requested"), at
            assert got["group"] == want["group"] and got["status"] == "solved", at
            target = float(want["ratio"][8:] if minimum else want["ratio"])
            for column, value in [("target", target), ("cut_score", want["cut_score"]),
                                  ("sr", want["overall_sr"]), ("sr_group", want["sr"]),
                                  ("ai_vs_majority", want["ai_vs_majority"]),
                                  ("ratio_to_highest", want["ratio_to_highest"]),
                                  ("mean", want["overall_mean"]), ("mean_group", want["mean"])]:
                w = float(value)
                if column in RELATIVE and abs(w) < 1e-300:  # compare what is representable
                    assert abs(got[column] - w) <= 1e-300, (at, column)
                    continue
                e = error(got[column], w, column)
                assert e <= TOLERANCE, (at, column, got[column], value)
                largest = max(largest, e)
            # At the minimum the rule holds by construction.
            assert got["passes_four_fifths"] == (minimum or want["passes_four_fifths"] == "true"), at
    print(f"{len(cases)} problems, largest error {largest:.3g}")


def test_several_groups_as_the_explorer(tmp_path):
    cases, _ = load_cases()
    for case in cases[:: 10]:
        doc = scenario(case)
        doc["correlations"] = case["correlations"]
        path = tmp_path / (case["id"] + ".json")
        path.write_text(json.dumps(doc))
        assert_same_frame(fourfifths.table(doc), as_table(explore_csv("table", path)))
        assert_same_frame(fourfifths.table(doc, ratios=RATIOS),
                          as_table(explore_csv("table", path, "--ratios",
                                               ",".join(map(str, RATIOS)))))


def test_several_groups_outcomes_and_minimum():
    cases, _ = load_cases()
    case = next(c for c in cases if len(c["groups"]) == 3)
    s = fourfifths.read(scenario(case))
    assert s.groups == [g["name"] for g in case["groups"]]
    t = fourfifths.table(s, ratios=RATIOS)
    o = fourfifths.outcomes(s, np.array(RATIOS))
    groups = len(case["groups"]) + 1
    assert o["group"] == ["majority"] + s.groups
    assert o["sr_group"].shape == (len(RATIOS), groups)
    rows = t[t.kind == "requested"]
    for column in ("sr_group", "ai_vs_majority", "ratio_to_highest", "mean_group"):
        assert np.array_equal(o[column].ravel().view(np.uint64),
                              rows[column].to_numpy().view(np.uint64)), column
    for column in ("cut_score", "sr", "mean", "target"):
        assert np.array_equal(o[column].view(np.uint64),
                              rows[column].to_numpy()[::groups].view(np.uint64)), column
    m = fourfifths.minimum(s)
    at = t[t.kind == "minimum"]
    assert m["found"] and m["ratio"] == at["target"].iloc[0]
    assert m["cut_score"] == at["cut_score"].iloc[0]
    with pytest.raises(ValueError, match="precise method only"):
        fourfifths.table(s, method="classic")
    # The front of several groups: the explorer's columns for them.
    front = fourfifths.pareto(s, 0.1, points=3)
    assert list(front.columns[-(groups + 1):]) == (
        ["lowest_ratio_to_highest"] + [f"ratio_to_highest_{g}" for g in o["group"]])
    assert (front["lowest_ratio_to_highest"]
            == front[[f"ratio_to_highest_{g}" for g in o["group"]]].min(axis=1)).all()
