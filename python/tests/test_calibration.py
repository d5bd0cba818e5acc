"""A front's calibration from Python: the explorer's numbers to the last
bit for the same seed, whatever the threads, and its faults named by the
argument."""
import pytest

import fourfifths
from conftest import EXAMPLES, assert_same_frame, explore_csv

PUBLISHED = EXAMPLES / "published_four_predictors.json"
THREE = EXAMPLES / "three_groups.json"


@pytest.mark.parametrize("path", [PUBLISHED, THREE], ids=lambda p: p.name)
def test_front_calibration_is_the_explorers(path):
    got = fourfifths.pareto(path, 0.2, 7, calibration_n=120, replications=40, seed=5, threads=2)
    want = explore_csv("pareto", path, "--ratio", "0.2", "--points", "7",
                                "--calibration-n", "120", "--replications", "40", "--seed", "5",
                                "--threads", "1")
    assert_same_frame(got, want)


def test_robust_choice_is_the_explorers():
    got = fourfifths.best_weighting(PUBLISHED, 0.2, 0.6, calibration_n=150, replications=40,
                                    seed=3)
    want = explore_csv("pareto", PUBLISHED, "--ratio", "0.2", "--min-ai", "0.6",
                                "--calibration-n", "150", "--replications", "40", "--seed", "3")
    assert_same_frame(got, want)
    # Found exactly where the chosen level keeps 95 % of samples at 0.6.
    assert bool(got["robust_found"][0]) == (got["cv_lowest_ratio_q05"][0] >= 0.6)


@pytest.mark.parametrize("arguments, name", [
    ({"calibration_n": 2.5}, "calibration_n"),
    ({"calibration_n": "100"}, "calibration_n"),
    ({"calibration_n": 0}, "calibration_n"),
    ({"calibration_n": 100, "replications": None}, "replications"),
    ({"calibration_n": 100, "replications": 0}, "replications"),
    ({"calibration_n": 100, "seed": -1}, "seed"),
    ({"calibration_n": 100, "threads": 0}, "threads"),
])
def test_calibration_faults_name_the_argument(arguments, name):
    with pytest.raises(fourfifths.FourFifthsError, match=name):
        fourfifths.pareto(PUBLISHED, 0.2, **arguments)


@pytest.mark.parametrize("path", [PUBLISHED, THREE], ids=lambda p: p.name)
def test_pool_table_is_the_explorers(path):
    got = fourfifths.table(path, [0.1, 0.3], applicants=40, replications=500, seed=3)
    want = explore_csv("table", path, "--ratios", "0.1,0.3", "--applicants", "40",
                       "--replications", "500", "--seed", "3")
    assert_same_frame(got, want)


@pytest.mark.parametrize("arguments, name", [
    ({"applicants": 2.5}, "applicants"),
    ({"applicants": 0}, "applicants"),
    ({"applicants": 50, "replications": None}, "replications"),
    ({"applicants": 50, "seed": -1}, "seed"),
    ({"applicants": 50, "alpha": "0.05"}, "alpha"),
])
def test_pool_faults_name_the_argument(arguments, name):
    with pytest.raises(fourfifths.FourFifthsError, match=name):
        fourfifths.table(PUBLISHED, **arguments)
