"""fourfifths.fit on DataFrames: a million people drawn with numpy from a
known scenario give it back; a sample whose moments are the scenario's
exactly gives it back to rounding; missing values leave their rows out;
and a frame gives the explorer's scenario and faults for its CSV."""
import json
import warnings

import numpy as np
import pandas as pd
import pytest

import fourfifths
from conftest import explore

# The truth: three predictors and a criterion, a minority group with half
# the applicants.
R = np.array([[1.0, 0.3, 0.2, 0.4],
              [0.3, 1.0, 0.5, 0.25],
              [0.2, 0.5, 1.0, 0.3],
              [0.4, 0.25, 0.3, 1.0]])
D = np.array([-0.8, -0.3, 0.1, -0.2])
NAMES = ["cog", "interview", "consc", "perf"]


def fitted(frame, **kw):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", fourfifths.FourFifthsWarning)
        s = fourfifths.fit(frame, "group", NAMES[:3], NAMES[3:], **kw)
    return s, json.loads(s.to_json())


def effects(doc):
    return np.array([v["d"] for v in doc["predictors"] + doc["criteria"]])


def test_a_million_drawn_people_give_back_their_scenario():
    # Sampling error at n = 10^6 with groups of half: about 0.002 for an
    # effect size, 0.001 for a correlation, 0.0005 for the share.
    rng = np.random.default_rng(20261211)
    n = 1_000_000
    minority = rng.random(n) < 0.5
    x = rng.standard_normal((n, 4)) @ np.linalg.cholesky(R).T + np.outer(minority, D)
    frame = pd.DataFrame(x, columns=NAMES)
    frame.insert(0, "group", np.where(minority, "minority", "majority"))
    scenario, doc = fitted(frame, reference="majority")
    assert scenario.calibration_n == n
    np.testing.assert_allclose(np.array(doc["correlations"]), R, atol=3e-3, rtol=0)
    np.testing.assert_allclose(effects(doc), D, atol=3e-3, rtol=0)
    assert abs(doc["minority_share"] - 0.5) < 3e-3


def exact_sample(sizes, means):
    """Rows whose groups' means are `means` and whose pooled within-group
    covariance is R exactly: each group's noise whitened, then coloured."""
    rng = np.random.default_rng(5)
    blocks, labels = [], []
    dof = sum(n for _, n in sizes) - len(sizes)
    for (name, n), mean in zip(sizes, means):
        z = rng.standard_normal((n, 4))
        z -= z.mean(axis=0)
        blocks.append(z)
        labels += [name] * n
    z = np.vstack(blocks)
    # Whitened over all groups together: the pooled scatter is dof * I.
    w = np.linalg.cholesky(z.T @ z / dof)
    z = z @ np.linalg.inv(w).T @ np.linalg.cholesky(R).T
    start = 0
    for (name, n), mean in zip(sizes, means):
        z[start:start + n] += mean
        start += n
    frame = pd.DataFrame(z, columns=NAMES)
    frame.insert(0, "group", labels)
    return frame


def test_a_sample_with_the_scenarios_moments_gives_it_back_exactly():
    frame = exact_sample([("W", 300), ("B", 100), ("H", 200)],
                         [np.zeros(4), D, np.array([0.5, 0.0, -0.1, 0.2])])
    _, doc = fitted(frame)
    np.testing.assert_allclose(np.array(doc["correlations"]), R, atol=1e-12)
    groups = {g["name"]: g for g in doc["groups"]}
    np.testing.assert_allclose(groups["B"]["d"], D, atol=1e-12)
    np.testing.assert_allclose(groups["H"]["d"], [0.5, 0.0, -0.1, 0.2], atol=1e-12)
    assert groups["B"]["share"] == 100 / 600 and groups["H"]["share"] == 200 / 600
    assert doc["calibration"]["groups"] == [{"name": "W", "n": 300}, {"name": "B", "n": 100},
                                            {"name": "H", "n": 200}]


def test_missing_values_leave_their_rows_out():
    frame = exact_sample([("W", 50), ("B", 40)], [np.zeros(4), D])
    holed = frame.astype({"cog": object})
    holed.loc[3, "cog"] = None
    holed.loc[60, "perf"] = np.nan
    holed.loc[70, "group"] = None
    with pytest.warns(fourfifths.FourFifthsWarning, match="3 rows with a missing value left out"):
        s = fourfifths.fit(holed, "group", NAMES[:3], NAMES[3:])
    kept = frame.drop(index=[3, 60, 70])
    doc, want = json.loads(s.to_json()), fitted(kept)[1]
    assert doc["calibration"]["dropped"] == 3 and doc["calibration_n"] == 87
    np.testing.assert_allclose(effects(doc), effects(want), atol=1e-14)
    # Pandas' own missing values too.
    nullable = frame.astype({"perf": "Float64"})
    nullable.loc[60, "perf"] = pd.NA
    assert fitted(nullable)[0].calibration_n == 89


def test_a_frame_gives_the_explorers_scenario_for_its_csv(tmp_path):
    frame = exact_sample([("W", 30), ("B", 20)], [np.zeros(4), D])
    frame.loc[5, "consc"] = np.nan
    path = tmp_path / "sample.csv"
    frame.to_csv(path, index=False)
    status, out, _ = explore("fit", path, "--group", "group", "--predictors", "cog,interview,consc",
                             "--criteria", "perf")
    assert status == 0
    assert fitted(frame)[0].to_json() == out


BAD = [
    # (what, change to the frame, the fault both give)
    ("a word", lambda f: f.astype({"cog": object}).assign(
        cog=lambda g: g.cog.where(g.index != 2, "abc")),
     'line 4, column 2 (cog): must be a number, not "abc"'),
    ("an infinity", lambda f: f.assign(perf=f.perf.where(f.index != 7, np.inf)),
     'line 9, column 5 (perf): must be a number, not "inf"'),
    ("one person", lambda f: f.assign(group=["W"] * 49 + ["X"]),
     'group "X": has 1 complete row'),
    ("one group", lambda f: f.assign(group="W"),
     'group: the complete rows have one group only, "W"'),
    ("no spread", lambda f: f.assign(interview=1.5),
     'column "interview": does not vary within the groups'),
]


@pytest.mark.parametrize("what,change,fault", BAD, ids=[b[0] for b in BAD])
def test_a_frame_and_its_csv_give_the_same_faults(tmp_path, what, change, fault):
    frame = change(exact_sample([("W", 30), ("B", 20)], [np.zeros(4), D]))
    path = tmp_path / "bad.csv"
    frame.to_csv(path, index=False)
    status, out, err = explore("fit", path, "--group", "group", "--predictors",
                               "cog,interview,consc", "--criteria", "perf")
    assert status == 2 and out == ""
    assert f"bad.csv: {fault}" in err
    with pytest.raises(fourfifths.FourFifthsError) as e:
        fitted(frame)
    assert any(f.text.startswith(fault) for f in e.value.faults), e.value.faults


def test_a_reference_that_no_row_names_and_a_missing_column():
    frame = exact_sample([("W", 30), ("B", 20)], [np.zeros(4), D])
    with pytest.raises(fourfifths.FourFifthsError, match='names the group "Z"'):
        fitted(frame, reference="Z")
    with pytest.raises(KeyError, match='no column "perf"'):
        fourfifths.fit(frame.drop(columns="perf"), "group", NAMES[:3], ["perf"])
    with pytest.raises(TypeError):
        fourfifths.fit(frame.to_numpy(), "group", NAMES[:3])
