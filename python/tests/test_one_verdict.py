"""One applicant pool, one verdict: the same pool written with the
variables' effect sizes and with "groups" holding one group gets the same
verdicts, minimum and front, and the verdict is the four-fifths rule's,
which protects the majority too when the minority scores higher."""
import copy
import json

import numpy as np
import pytest

import fourfifths
from conftest import EXAMPLES


def published(turned: bool) -> dict:
    doc = json.loads((EXAMPLES / "published_four_predictors.json").read_text())
    if turned:
        for v in doc["predictors"] + doc["criteria"]:
            v["d"] = -v["d"]
    return doc


def as_groups(doc: dict) -> dict:
    g = copy.deepcopy(doc)
    d = [v.pop("d") for v in g["predictors"] + g["criteria"]]
    g["groups"] = [{"name": "minority", "share": 1 / (1 + g.pop("majority_per_minority")),
                    "d": d}]
    return g


RATIOS = [0.01, 0.05, 0.1, 0.2, 0.3, 0.5, 0.7, 0.9]


@pytest.mark.parametrize("turned", [False, True], ids=["minority lower", "minority higher"])
def test_one_pool_one_verdict(turned):
    one = published(turned)
    several = as_groups(one)
    t1 = fourfifths.table(one, RATIOS)
    tg = fourfifths.table(several, RATIOS)
    # The rule read off the two rates: the lower at least 0.8 of the higher.
    lower = np.minimum(t1.sr_majority, t1.sr_minority) / np.maximum(t1.sr_majority,
                                                                      t1.sr_minority)
    assert np.allclose(t1.ratio_to_highest, lower, rtol=1e-15, atol=0)
    assert list(t1.passes_four_fifths) == list(lower >= 0.8)
    at_ratios = tg[tg.kind == "requested"]
    verdicts = at_ratios.groupby("target", sort=False).passes_four_fifths.first()
    assert list(verdicts) == list(t1.passes_four_fifths)
    assert all(t1.passes_four_fifths == [o.passes_four_fifths
                                         for o in map(lambda r: fourfifths.outcome(one, r),
                                                      RATIOS)])

    m1, mg = fourfifths.minimum(one), fourfifths.minimum(several)
    assert m1["found"] and mg["found"]
    assert m1["ratio"] == pytest.approx(mg["ratio"], rel=1e-12)
    # At the minimum the lower rate is four fifths of the higher: the
    # minority's when it scores lower, the majority's when it scores higher.
    assert m1["ratio_to_highest"] == pytest.approx(0.8, rel=1e-9)
    assert (m1["ai_ratio"] > 1) == turned

    f1 = fourfifths.pareto(one, 0.1, 11)
    fg = fourfifths.pareto(several, 0.1, 11)
    assert np.allclose(f1.validity, fg.validity, rtol=1e-9, atol=1e-12)
    assert np.allclose(f1.filter(regex=r"^w\d+$"), fg.filter(regex=r"^w\d+$"), rtol=1e-7, atol=1e-9)
    assert np.allclose(np.minimum(f1.ai_ratio, 1 / f1.ai_ratio), fg.lowest_ratio_to_highest,
                       rtol=1e-9)


def test_a_minority_above_the_majority_gets_no_weighting_against_the_majority():
    best = fourfifths.best_weighting(published(True), 0.1, 0.8)
    ai = float(best.ai_ratio.iloc[0])
    assert min(ai, 1 / ai) >= 0.8 - 1e-12


def test_a_pandas_that_holds_frames_otherwise_gets_the_same_table(monkeypatch):
    # The table is handed to pandas as its blocks; where pandas' insides
    # differ, it is built column by column, with the same columns and types.
    fast = fourfifths.table(published(True), RATIOS)

    def refuse(*args):
        raise AttributeError("no blocks here")

    monkeypatch.setattr(fourfifths, "_frame_of_blocks", refuse)
    slow = fourfifths.table(published(True), RATIOS)
    assert list(slow.dtypes) == list(fast.dtypes)
    assert slow.equals(fast)


def test_what_a_user_changes_in_one_table_stays_in_it():
    # Tables of one layout are made of the same parts; a name given to one
    # table's columns or rows, or a value written into it, stays in it.
    s = fourfifths.read(published(False))
    first = fourfifths.table(s, RATIOS)
    first.columns.name = "column"
    first.index.name = "row"
    first.loc[0, "sr"] = -1.0
    first.loc[0, "status"] = "changed"
    with pytest.raises(ValueError):
        first.columns.values[0] = "changed"
    again = fourfifths.table(s, RATIOS)
    assert again.columns.name is None and again.index.name is None
    assert again.columns[0] == "kind"
    assert again.loc[0, "sr"] == RATIOS[0] and again.loc[0, "status"] == "solved"
    assert list(again.index) == list(range(len(RATIOS)))
