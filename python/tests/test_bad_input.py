"""Bad input raises Python's errors with the engine's messages, every fault
with its path, and never crashes: NaN, wrong shapes, wrong types, a matrix
that is not symmetric; bad options and observed data too. The messages are
the explorer's for the same scenario."""
import json
import math
import warnings

import numpy as np
import pandas as pd
import pytest

import fourfifths
from conftest import EXAMPLES, explore, explorer_faults


def base():
    return json.loads((EXAMPLES / "regression_weights.json").read_text())


def faults_as_explorer(doc, tmp_path):
    """What the explorer says of the scenario, without its name and the path."""
    path = tmp_path / "s.json"
    path.write_text(json.dumps(doc))
    status, _, err = explore("table", path)
    assert status == 2
    return [line.split(": ", 1)[1] for line in explorer_faults(err)]


def raised(doc):
    with pytest.raises(fourfifths.FourFifthsError) as e:
        fourfifths.table(doc)
    assert isinstance(e.value, ValueError)
    return [f.text for f in e.value.faults]


def test_every_fault_listed_with_its_path(tmp_path):
    doc = base()
    doc["predictors"][0]["d"] = "minus one"       # wrong type
    doc["correlations"] = [[1, 0.3, 0.5], [0.2, 1, 0.4], [0.5, 0.4, 1]]  # not symmetric
    doc["majority_per_minority"] = -1
    doc["wieght"] = 1                            # unknown key
    got = raised(doc)
    assert got == faults_as_explorer(doc, tmp_path)
    assert any(f.startswith("predictors[0].d: ") for f in got)
    assert any(f.startswith("wieght: unknown key") for f in got)
    # The message holds them all, a line each.
    with pytest.raises(ValueError) as e:
        fourfifths.table(doc)
    assert str(e.value).splitlines() == ["the scenario: " + f for f in got]


def test_a_matrix_that_is_not_symmetric(tmp_path):
    doc = base()
    doc["correlations"] = np.array([[1, 0.3, 0.5], [0.2, 1, 0.4], [0.5, 0.4, 1]])
    doc["majority_per_minority"] = 0
    got = raised(doc)
    assert got == faults_as_explorer(dict(doc, correlations=doc["correlations"].tolist()),
                                     tmp_path)
    assert any(f.startswith("correlations") and "symmetric" in f for f in got)
    assert any(f.startswith("majority_per_minority: ") for f in got)


def test_nan_and_infinities_name_their_field(tmp_path):
    for value in (math.nan, math.inf, -math.inf, np.float64("nan")):
        doc = base()
        doc["predictors"][1]["d"] = value
        doc["correlations"][0][1] = value
        got = raised(doc)
        assert got == ["predictors[1].d: must be a finite number",
                       "correlations[0][1]: must be a finite number"], got
    # The same scenario as a JSON text: NaN is not JSON, said by line and column.
    with pytest.raises(fourfifths.FourFifthsError, match=r"line 1, column \d+"):
        fourfifths.table('{"predictors": [{"d": NaN, "weight": 1}]}')


def test_wrong_shapes(tmp_path):
    doc = base()
    doc["correlations"] = np.eye(2)  # two variables of three
    assert raised(doc) == faults_as_explorer(dict(doc, correlations=[[1, 0], [0, 1]]), tmp_path)
    doc = base()
    doc["predictors"] = []
    assert raised(doc) == faults_as_explorer(doc, tmp_path)
    doc = base()
    doc["correlations"] = [[1, 0.3, 0.5], [0.3, 1], [0.5, 0.4, 1]]
    assert raised(doc) == faults_as_explorer(doc, tmp_path)
    # Nested far too deep: refused as the reader refuses it, read no further.
    deep = []
    for _ in range(100000):
        deep = [deep]
    doc = base()
    doc["correlations"] = deep
    assert raised(doc)


def test_numbers_beyond_the_doubles(tmp_path):
    for big in (10**400, -10**400, 2**64 + 1):
        doc = base()
        doc["majority_per_minority"] = big
        doc["predictors"][0]["d"] = big
        if big == 2**64 + 1:  # a double, too large an effect
            got = raised(doc)
            assert [f.split(":")[0] for f in got] == ["predictors[0].d"]
            continue
        assert raised(doc) == ["predictors[0].d: must be a finite number",
                               "majority_per_minority: must be a finite number"]


def test_wrong_python_types():
    with pytest.raises(TypeError):
        fourfifths.table(42)
    with pytest.raises(TypeError, match="keys are strings"):
        fourfifths.table({1: "x"})
    doc = base()
    doc["predictors"][0]["d"] = {1, 2}
    with pytest.raises(TypeError, match="set"):
        fourfifths.table(doc)
    with pytest.raises(TypeError):
        fourfifths.table(EXAMPLES / "regression_weights.json", ratios=["a", "b"])
    with pytest.raises(FileNotFoundError):
        fourfifths.table("no/such/scenario.json")


def test_bad_options():
    s = fourfifths.read(EXAMPLES / "regression_weights.json")
    with pytest.raises(fourfifths.FourFifthsError, match="method: must be one of precise, classic"):
        fourfifths.table(s, method="exact")
    with pytest.raises(ValueError, match="one-dimensional"):
        fourfifths.outcomes(s, np.ones((2, 3)))
    with pytest.raises(ValueError, match="objective"):
        fourfifths.pareto(s, 0.1, objective="best")
    for ratio, points in ((1.5, 21), (0.1, 1), (math.nan, 21)):
        with pytest.raises(fourfifths.FourFifthsError) as e:
            fourfifths.pareto(s, ratio, points)
        assert e.value.faults
    # Ratios the engine cannot use are rows with a status, not errors.
    o = fourfifths.outcomes(s, np.array([math.nan, -1, 0, 1, 2]))
    assert list(o["status"]) == ["invalid_argument"] + ["no_cut_score"] * 4
    assert np.isnan(o["ai_ratio"]).all()
    assert fourfifths.outcome(s, math.nan).ai_ratio is None


def faults(call, *args, **kwargs):
    with pytest.raises(fourfifths.FourFifthsError) as e:
        call(*args, **kwargs)
    return [f.text for f in e.value.faults]


def test_each_argument_is_named_never_defaulted():
    # The same words as the R package's for the same values.
    s = fourfifths.read(EXAMPLES / "regression_weights.json")
    assert faults(fourfifths.pareto, s, None) == ["ratio: must be a number"]
    assert faults(fourfifths.pareto, s, "0.1") == ["ratio: must be a number"]
    assert faults(fourfifths.pareto, s, [0.1]) == ["ratio: must be a number"]
    assert faults(fourfifths.pareto, s, 0.1, 2.5) == ["points: must be a whole number"]
    assert faults(fourfifths.pareto, s, 0.1, None) == ["points: must be a whole number"]
    assert faults(fourfifths.pareto, s, 0.1, objective=None) == [
        "objective: must be one of validity, mean"]
    assert faults(fourfifths.pareto, s, 0.1, weights="all") == [
        "weights: must be one of nonnegative, any"]
    assert faults(fourfifths.pareto, s, None, 2.5, objective="x", weights=None) == [
        "ratio: must be a number", "points: must be a whole number",
        "objective: must be one of validity, mean", "weights: must be one of nonnegative, any"]
    assert faults(fourfifths.pareto, s, 0.1, 1e10) == [
        "points: the number of points must lie between 2 and 10000"]
    assert faults(fourfifths.best_weighting, s, 0.1, None) == ["min_ai: must be a number"]
    # Whole numbers however they are held, NumPy's included.
    want = fourfifths.pareto(s, 0.1, 5)
    for points in (5.0, np.int64(5), np.float64(5)):
        assert fourfifths.pareto(s, np.float64(0.1), points).equals(want)


def test_a_tables_ratios_are_finite_and_at_most_a_hundred_thousand():
    s = fourfifths.read(EXAMPLES / "regression_weights.json")
    assert faults(fourfifths.table, s, [0.1, math.nan]) == [
        "ratios: the 2nd ratio must be a finite number"]
    assert faults(fourfifths.table, s, [0.1] * 100001) == ["ratios: more than 100000 ratios"]
    assert len(fourfifths.table(s, [0.1] * 100000)) == 100000
    three = EXAMPLES / "three_groups.json"
    assert faults(fourfifths.table, three, method="classic") == [
        "method: several minority groups are analysed by the precise method only"]


def test_a_scenario_without_a_criterion_has_no_front():
    with pytest.raises(fourfifths.FourFifthsError) as e:
        fourfifths.pareto(EXAMPLES / "requested_ratios.json", 0.1)
    assert "criterion" in str(e.value)


def test_warnings_go_through_warnings(tmp_path):
    doc = base()
    doc["correlations"] = [[1, 0.99, 0.5], [0.99, 1, -0.9], [0.5, -0.9, 1]]
    with pytest.warns(fourfifths.FourFifthsWarning, match="correlations: .*positive definite"):
        fourfifths.read(doc)
    path = tmp_path / "s.json"
    path.write_text(json.dumps(doc))
    _, _, err = explore("table", path)
    with warnings.catch_warnings(record=True) as w:
        warnings.simplefilter("always")
        fourfifths.table(path)
    assert [str(x.message) for x in w] == explorer_faults(err)


def test_observed_faults_name_their_place(tmp_path):
    counts = pd.DataFrame({"group": ["a", "b", "b"], "applicants": [10, 5, 4],
                           "selected": [3, -1, 9]})
    path = tmp_path / "counts.csv"
    counts.to_csv(path, index=False)
    status, _, err = explore("observed", path)
    assert status == 2
    with pytest.raises(fourfifths.FourFifthsError) as e:
        fourfifths.observed(counts)
    assert [f"{path}: {f.text}" for f in e.value.faults] == explorer_faults(err)
    # Counts held as floats are the same counts; a fraction or a missing one is not.
    as_floats = counts.astype({"applicants": float, "selected": float})
    with pytest.raises(fourfifths.FourFifthsError) as e:
        fourfifths.observed(as_floats)
    assert [f"{path}: {f.text}" for f in e.value.faults] == explorer_faults(err)
    # One count that is not whole is one fault, the whole ones beside it none.
    one = faults(fourfifths.observed, pd.DataFrame({"group": ["a", "b"], "applicants": [10.5, 10],
                                                    "selected": [3, 4]}))
    assert len(one) == 1 and "line 2, column 2 (applicants)" in one[0]
    for spoilt in (2.5, np.nan):
        frame = as_floats.copy()
        frame.loc[0, "applicants"] = spoilt
        with pytest.raises(fourfifths.FourFifthsError, match=r"line 2, column 2 \(applicants\)"):
            fourfifths.observed(frame)
    with pytest.raises(fourfifths.FourFifthsError, match="reference"):
        fourfifths.observed(EXAMPLES / "observed_hiring.csv", reference="nobody")
    with pytest.raises(TypeError):
        fourfifths.observed(3.5)


def test_batch_names_the_scenarios_it_cannot_read():
    good = dict(base(), id="one")
    bad = dict(base(), id="two", majority_per_minority=-1)
    with pytest.raises(fourfifths.FourFifthsError) as e:
        fourfifths.batch([good, bad, json.dumps(base())])
    texts = [f.text for f in e.value.faults]
    assert texts[0].startswith("two: majority_per_minority: ")
    assert texts[-1].startswith("line 3: ") and "id" in texts[-1]
