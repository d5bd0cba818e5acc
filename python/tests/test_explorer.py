"""The package gives the explorer's tables: the same columns and numbers, to
the last bit, on the examples and the conformance decks; and the same
faults for the decks the explorer refuses."""
import warnings

import numpy as np
import pytest

import fourfifths
from conftest import (CONFORMANCE, EXAMPLES, as_table, assert_same_frame, explore, explore_csv,
                      explorer_faults, read_csv)

EXAMPLE_SCENARIOS = sorted(EXAMPLES.glob("*.json")) + sorted(EXAMPLES.glob("*.deck"))
VALID_DECKS = sorted((CONFORMANCE / "valid").glob("*.deck")) + \
    sorted((CONFORMANCE / "edge").glob("*.deck"))
INVALID_DECKS = sorted((CONFORMANCE / "invalid").glob("*.deck"))


def has_groups(path):
    return bool(fourfifths.read(path).groups)


@pytest.mark.parametrize("method", ["precise", "classic"])
@pytest.mark.parametrize("path", EXAMPLE_SCENARIOS, ids=lambda p: p.name)
def test_examples_table(path, method):
    if has_groups(path) and method == "classic":
        # Several groups are analysed by the precise method only.
        assert explore("table", path, "--method", method)[0] == 2
        with pytest.raises(ValueError, match="precise method only"):
            fourfifths.table(path, method=method)
        return
    assert_same_frame(fourfifths.table(path, method=method),
                      as_table(explore_csv("table", path, "--method", method)))


@pytest.mark.parametrize("method", ["precise", "classic"])
@pytest.mark.parametrize("path", EXAMPLE_SCENARIOS, ids=lambda p: p.name)
def test_examples_at_ratios(path, method):
    if has_groups(path):
        return  # their outcomes: test_outside_values
    ratios = [0.001, 0.1, 0.25, 0.5, 0.99, 0, 1, 1.5]
    want = as_table(explore_csv("table", path, "--ratios", ",".join(map(str, ratios)),
                                "--method", method))
    assert_same_frame(fourfifths.table(path, ratios=ratios, method=method), want)
    # The arrays of outcomes hold the table's numbers, NaN where it has none.
    got = fourfifths.outcomes(path, np.array(ratios), method)
    for column in want.columns.drop("kind"):
        if want[column].dtype == np.float64:
            assert np.array_equal(got[column].view(np.uint64),
                                  want[column].to_numpy().view(np.uint64)), column
    assert list(got["status"]) == list(want["status"])
    assert list(got["passes_four_fifths"]) == [v is True for v in want["passes_four_fifths"]]
    # And one outcome at a time, None where the table's field is empty.
    for i, r in enumerate(ratios):
        o = fourfifths.outcome(path, r, method)
        for column in ("target", "sr", "ai_ratio", "cut_score", "mean", "std_mean_difference"):
            v = want[column].iloc[i]
            assert (getattr(o, column) is None) if np.isnan(v) else getattr(o, column) == v


def test_every_way_of_giving_a_scenario():
    path = EXAMPLES / "regression_weights.json"
    text = path.read_text()
    import json
    want = fourfifths.table(path)
    for given in (str(path), text, text.encode(), json.loads(text), fourfifths.read(path)):
        assert_same_frame(fourfifths.table(given), want)
    deck = (EXAMPLES / "regression_weights.deck").read_text()
    assert_same_frame(fourfifths.table(deck, method="classic"),
                      fourfifths.table(EXAMPLES / "regression_weights.deck", method="classic"))


def same_as_explorer(deck, method):
    """The table, its warnings, or its faults, as the explorer gives them."""
    status, out, err = explore("table", deck, "--method", method)
    with warnings.catch_warnings(record=True) as warned:
        warnings.simplefilter("always")
        if status != 0:
            with pytest.raises(fourfifths.FourFifthsError) as e:
                fourfifths.table(deck, method=method)
            assert e.value.faults
            said = [str(w.message) for w in warned] + str(e.value).splitlines()
        else:
            assert_same_frame(fourfifths.table(deck, method=method), as_table(read_csv(out)))
            said = [str(w.message) for w in warned]
    assert said == explorer_faults(err)
    return status


@pytest.mark.parametrize("method", ["precise", "classic"])
def test_conformance_decks(method):
    # Every deck of the suite, valid, edge and refused: one test, each deck
    # named when it differs.
    assert len(VALID_DECKS) > 250 and len(INVALID_DECKS) > 10
    refused = 0
    for deck in VALID_DECKS + INVALID_DECKS:
        try:
            refused += same_as_explorer(deck, method) != 0
        except AssertionError as e:
            raise AssertionError(f"{deck.name}: {e}") from e
    assert refused > 10  # the refused decks were met


PARETO_CASES = [
    ("regression_weights.json", ["--ratio", "0.1"], dict(ratio=0.1)),
    ("regression_weights.json", ["--ratio", "0.3", "--points", "7"], dict(ratio=0.3, points=7)),
    ("published_four_predictors.json", ["--ratio", "0.2", "--weights", "any"],
     dict(ratio=0.2, weights="any")),
    ("published_four_predictors.json", ["--ratio", "0.15", "--objective", "mean"],
     dict(ratio=0.15, objective="mean")),
    ("majority_criterion.json", ["--ratio", "0.4", "--majority"], dict(ratio=0.4, majority=True)),
    # Several groups: quality against the lowest ratio to the highest rate.
    ("three_groups.json", ["--ratio", "0.1", "--points", "7"], dict(ratio=0.1, points=7)),
    ("three_groups.json", ["--ratio", "0.3", "--majority", "--points", "5"],
     dict(ratio=0.3, majority=True, points=5)),
]


@pytest.mark.parametrize("name,args,kwargs", PARETO_CASES)
def test_pareto(name, args, kwargs):
    path = EXAMPLES / name
    assert_same_frame(fourfifths.pareto(path, **kwargs),
                      as_table(explore_csv("pareto", path, *args)))


@pytest.mark.parametrize("name,min_ai", [("published_four_predictors.json", 0.3),
                                         ("published_four_predictors.json", 0.8),
                                         ("three_groups.json", 0.5),
                                         ("three_groups.json", 0.99)])
def test_best_weighting(name, min_ai, recwarn):
    path = EXAMPLES / name
    status, out, err = explore("pareto", path, "--ratio", "0.2", "--min-ai", str(min_ai))
    got = fourfifths.best_weighting(path, 0.2, min_ai)
    # One row: a weight of 0 is no reason for a column of whole numbers.
    assert_same_frame(got, as_table(read_csv(out)))
    if status == 3:  # out of reach: said as the explorer says it
        assert got["point"].iloc[0] == "highest"
        assert [str(w.message) for w in recwarn] == explorer_faults(err)
    else:
        assert status == 0 and got["point"].iloc[0] == "best" and not recwarn


def test_observed_from_files_and_frames(tmp_path):
    path = EXAMPLES / "observed_hiring.csv"
    want = as_table(explore_csv("observed", path))
    assert_same_frame(fourfifths.observed(path), want)
    counts = read_csv(path.read_text())
    assert_same_frame(fourfifths.observed(counts), want)
    assert_same_frame(fourfifths.observed(counts.astype({"applicants": float, "selected": float})),
                      want)
    # The same counts as one row per applicant.
    rows = []
    for _, r in counts.iterrows():
        for k in range(int(r["applicants"])):
            rows.append({c: r[c] for c in counts.columns if c not in ("applicants", "selected")}
                        | {"selected": int(k < r["selected"])})
    import pandas as pd
    applicants = pd.DataFrame(rows)
    file = tmp_path / "applicants.csv"
    applicants.to_csv(file, index=False)
    assert_same_frame(fourfifths.observed(applicants), as_table(explore_csv("observed", file)))
    first = counts["group"].iloc[-1]
    assert_same_frame(fourfifths.observed(counts, reference=first, alpha=0.01),
                      as_table(explore_csv("observed", path, "--reference", first, "--alpha", "0.01")))


def test_observed_steps_as_the_explorer_has_them(tmp_path):
    path = EXAMPLES / "observed_steps.csv"
    counts = read_csv(path.read_text())
    assert_same_frame(fourfifths.observed(counts), as_table(explore_csv("observed", path)))
    # The same process as one row per applicant, by the last step reached,
    # the steps met last to first: --steps and steps= put them in order.
    import pandas as pd
    order = list(dict.fromkeys(counts["step"]))
    rows = []
    for k, step in reversed(list(enumerate(order))):
        for _, r in counts[counts.step == step].iterrows():
            ahead = counts[(counts.group == r["group"])
                           & (counts.step == order[k + 1])]["applicants"].sum() \
                if k + 1 < len(order) else 0
            stopped = int(r["applicants"]) - int(ahead)      # reached this step and no further
            passed = int(r["selected"]) - int(ahead)         # of them, passed it
            rows += [{"group": r["group"], "step": step, "selected": int(j < passed)}
                     for j in range(stopped)]
    applicants = pd.DataFrame(rows)
    file = tmp_path / "steps.csv"
    applicants.to_csv(file, index=False)
    got = fourfifths.observed(applicants, steps=order)
    assert_same_frame(got, as_table(explore_csv("observed", file, "--steps", ",".join(order))))
    assert_same_frame(got, as_table(explore_csv("observed", path)))


@pytest.mark.parametrize("method", ["precise", "classic"])
def test_minimum_is_the_tables_minimum_row(method):
    for path in [p for p in EXAMPLE_SCENARIOS if not has_groups(p)] + VALID_DECKS[::20]:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", fourfifths.FourFifthsWarning)
            status, out, _ = explore("table", path, "--method", method)
            if status != 0:
                continue  # a refused deck: compared above
            want = as_table(read_csv(out))
            m = fourfifths.minimum(path, method)
        rows = want[want.kind == "minimum"]
        assert m["found"] == (len(rows) == 1), path.name
        if not m["found"]:
            assert m["ratio"] is None and m["status"] != "solved"
            continue
        row = rows.iloc[0]
        for key, column in (("ratio", "target"), ("cut_score", "cut_score"),
                            ("sr_majority", "sr_majority"), ("sr_minority", "sr_minority"),
                            ("ai_ratio", "ai_ratio")):
            assert m[key] == row[column], (path.name, key)
        assert (m["sr"] is None) == np.isnan(row["sr"])
