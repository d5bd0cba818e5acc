"""Calls from several threads at once give what one thread gives, and the
GIL is free while the engine computes."""
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import fourfifths
from conftest import EXAMPLES, assert_same_frame


def test_threads_share_a_scenario():
    s = fourfifths.read(EXAMPLES / "published_four_predictors.json")
    ratios = np.linspace(0.001, 0.999, 2001)
    want_outcomes = fourfifths.outcomes(s, ratios)
    want_table = fourfifths.table(s)
    want_front = fourfifths.pareto(s, 0.2, 11)

    def work(k):
        kind = k % 3
        if kind == 0:
            got = fourfifths.outcomes(s, ratios)
            return all(np.array_equal(got[c].view(np.uint64), want_outcomes[c].view(np.uint64))
                       for c in ("ai_ratio", "cut_score", "mean"))
        if kind == 1:
            assert_same_frame(fourfifths.table(s), want_table)
        else:
            assert_same_frame(fourfifths.pareto(s, 0.2, 11), want_front)
        return True

    with ThreadPoolExecutor(max_workers=8) as pool:
        assert all(pool.map(work, range(48)))


def test_the_gil_is_released_while_computing():
    s = fourfifths.read(EXAMPLES / "regression_weights.json")
    ratios = np.linspace(0.001, 0.999, 1_000_000)
    done = threading.Event()
    took = []

    def compute():
        start = time.perf_counter()
        fourfifths.outcomes(s, ratios)
        took.append(time.perf_counter() - start)
        done.set()

    worker = threading.Thread(target=compute)
    ticks = []
    worker.start()
    while not done.is_set():
        ticks.append(time.perf_counter())
        time.sleep(0.001)
    worker.join()
    # This thread kept running while the other computed: no pause near the
    # length of the computation (with the GIL held there would be one).
    gaps = np.diff(ticks)
    assert len(ticks) > 10 and gaps.max() < 0.5 * took[0], (gaps.max(), took[0])


def test_threads_that_end_or_stay_in_python_hold_up_no_one():
    # Threads coming back from the engine take turns for the GIL. One that
    # ends, or goes on to other Python work, right after a table must not
    # keep the others waiting for a turn it will never give back.
    s = fourfifths.read(EXAMPLES / "regression_weights.json")
    want = fourfifths.table(s)
    stop = threading.Event()
    faults = []

    def python_only():
        while not stop.is_set():
            sum(range(1000))

    def calls():
        try:
            for _ in range(10):
                ended = threading.Thread(target=fourfifths.table, args=(s,))
                ended.start()
                ended.join()
                assert_same_frame(fourfifths.table(s), want)
            with ThreadPoolExecutor(max_workers=4) as pool:
                for got in pool.map(lambda _: fourfifths.table(s), range(40)):
                    assert_same_frame(got, want)
        except Exception as e:  # reported by the test's own thread
            faults.append(e)

    other = threading.Thread(target=python_only)
    other.start()
    worker = threading.Thread(target=calls, daemon=True)
    worker.start()
    worker.join(60)  # a thread stuck waiting for its turn stays alive
    stop.set()
    other.join()
    assert not worker.is_alive() and not faults, faults
