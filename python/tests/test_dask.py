"""The Dask recipes of docs/python.md, on a distributed.LocalCluster of worker
processes on this machine (loopback only): the package's batch mapped over
the partitions of a Dask bag of 100,000 scenarios gives the rows of one
`fourfifths-explore batch` run, sorted by id, to the last bit; mapped over a
Dask DataFrame of scenarios, the same with the whole tables; and ranges of
calibration samples drawn on the workers are the samples of one call."""
import json
import os
import random

import pytest

import fourfifths
from conftest import ROOT, as_table, assert_same_frame, explorer, read_csv

dask = pytest.importorskip("dask")
distributed = pytest.importorskip("distributed")
import dask.bag as db  # noqa: E402
import dask.dataframe as dd  # noqa: E402
import pandas as pd  # noqa: E402

SCENARIOS = int(os.environ.get("FOURFIFTHS_DASK_SCENARIOS", "100000"))
RATIOS = [0.05, 0.1, 0.3]


def study(n, seed):
    """n scenarios of one to three predictors and up to one criterion, as
    JSON lines with ids, their order shuffled (so that sorting by id means
    something)."""
    rng = random.Random(seed)
    lines = []
    for k in range(n):
        p, c = rng.randint(1, 3), rng.randint(0, 1)
        v = p + c
        # Off-diagonal entries of at most 0.3 in at most four variables:
        # diagonally dominant, hence a correlation matrix.
        r = [[1.0] * v for _ in range(v)]
        for i in range(v):
            for j in range(i):
                r[i][j] = r[j][i] = round(rng.uniform(-0.1, 0.3), 3)
        doc = {"id": f"s{k:06d}", "mode": rng.choice(["overall", "majority"]),
               "predictors": [{"d": round(rng.uniform(-1.2, 0.3), 3),
                               "weight": round(rng.uniform(0.1, 2), 3)} for _ in range(p)],
               "criteria": [{"d": round(rng.uniform(-0.8, 0.2), 3), "weight": 1}
                            for _ in range(c)],
               "correlations": r, "majority_per_minority": round(rng.uniform(0.5, 10), 2)}
        if c == 0:
            doc["quality"] = "predictor"
        lines.append(json.dumps(doc))
    rng.shuffle(lines)
    return lines


def explorer_batch(lines, *args):
    import subprocess
    p = subprocess.run([str(explorer()), "batch", "--threads", "2", *args],
                       input="\n".join(lines).encode() + b"\n", capture_output=True, timeout=1200)
    assert p.returncode == 0, p.stderr.decode()
    return as_table(read_csv(p.stdout.decode()))


def by_id(frame):
    return frame.sort_values("id", kind="stable").reset_index(drop=True)


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       host="127.0.0.1", dashboard_address=None)
    with distributed.Client(cluster) as c:
        yield c
    cluster.close()


def test_a_bag_of_scenarios(client, tmp_path):
    lines = study(SCENARIOS, 1)
    path = tmp_path / "study.jsonl"
    path.write_text("\n".join(lines) + "\n")
    # The recipe: a bag of the file's lines, one batch per partition.
    bag = db.read_text(str(path), blocksize="1MiB")
    meta = fourfifths.batch(lines[:1], ratios=RATIOS).iloc[:0]
    parts = [dask.delayed(fourfifths.batch)(part, ratios=RATIOS) for part in bag.to_delayed()]
    assert len(parts) > 4
    rows = dd.from_delayed(parts, meta=meta)
    got = by_id(rows.compute())
    want = by_id(explorer_batch(lines, "--ratios", ",".join(map(str, RATIOS))))
    assert len(got) == SCENARIOS * len(RATIOS)
    assert_same_frame(got, want)


def test_a_dataframe_of_scenarios(client):
    lines = study(2000, 2)
    frame = dd.from_pandas(pd.DataFrame({"scenario": lines}), npartitions=8)
    meta = fourfifths.batch(lines[:1]).iloc[:0]
    rows = frame.map_partitions(lambda part: fourfifths.batch(part["scenario"]), meta=meta)
    got = by_id(rows.compute())
    want = by_id(explorer_batch(lines))
    assert len(got) >= 2000 * 21
    assert_same_frame(got, want)


def test_calibration_samples_spread_over_workers(client):
    """The recipe's ranges of calibration samples, drawn on two workers, are
    the rows of one call, and their means and quantiles by point are the
    front's cv_ columns."""
    path = str(ROOT / "examples" / "three_groups.json")
    chunk, chunks = 10, 4
    parts = [dask.delayed(fourfifths.calibration_draws)(
        path, 0.15, 5, calibration_n=150, replications=chunk, seed=7,
        first_replication=k * chunk, threads=1) for k in range(chunks)]
    draws = pd.concat(dask.compute(*parts), ignore_index=True)
    whole = fourfifths.calibration_draws(path, 0.15, 5, calibration_n=150,
                                         replications=chunk * chunks, seed=7)
    assert_same_frame(draws, whole)
    front = fourfifths.pareto(path, 0.15, 5, calibration_n=150, replications=chunk * chunks,
                              seed=7)
    by_point = draws.groupby("point")
    for column, got in (("cv_validity", by_point.cv_validity.mean()),
                        ("cv_lowest_ratio_q05", by_point.cv_lowest_ratio.quantile(0.05)),
                        ("cv_validity_q95", by_point.cv_validity.quantile(0.95))):
        assert abs(got.to_numpy() - front[column].to_numpy()).max() <= 1e-15, column
