"""The cost of the Python package above the C++ library: one outcome through
Python against the same call in C++ alone (goal: at most 5 microseconds
more), the outcomes at a million ratios from a NumPy array (goal: under a
second), and a whole table as a DataFrame (budget: at most twice the C++
work).

  python bench.py [--check] [SCENARIO]

With --check the table's budget is asserted: the run fails when a table
from Python takes more than 2.5 times the CPU of the C++ work (the budget,
2, with a margin for a loaded machine). Both sides are timed in this
thread's CPU, not wall time, in turns, and each is the least of its rounds,
so that other processes on the machine barely move the ratio. The other
figures are printed and judged by nobody: wall times and two threads'
speed-up say little on a shared machine.
"""
import os
import sys
import time
from pathlib import Path

import numpy as np

import fourfifths
from fourfifths import _core


def best_of(repeats, f):
    """The least time of `repeats` runs of f, in seconds."""
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        f()
        times.append(time.perf_counter() - start)
    return min(times)


# The table's budget against the C++ work, and what --check fails above.
TABLE_BUDGET = 2.0
TABLE_LIMIT = 2.5


def table_cpu(s, rounds=20, calls=200):
    """CPU seconds per table from Python and per table in C++ alone, in this
    thread, the rounds of the two taken in turns: each the least of its rounds."""
    python, cpp = [], []
    for _ in range(rounds):
        start = time.thread_time()
        for _ in range(calls):
            fourfifths.table(s)
        python.append((time.thread_time() - start) / calls)
        start = time.thread_time()
        _core.time_table(s, calls)
        cpp.append((time.thread_time() - start) / calls)
    return min(python), min(cpp)


def main():
    root = Path(__file__).resolve().parents[2]
    args = sys.argv[1:]
    check = "--check" in args
    args = [a for a in args if a != "--check"]
    path = args[0] if args else root / "examples" / "regression_weights.json"
    s = fourfifths.read(path)
    load = os.getloadavg()[0]
    print(f"{os.cpu_count()} CPUs, load average {load:.2f} (the figures are for a quiet machine "
          "when it is below the CPUs)")
    calls = 100_000
    for method in ("precise", "classic"):
        cpp = min(_core.time_outcome(s, 0.3, method, calls) for _ in range(5))
        outcome = fourfifths.outcome

        def python_calls():
            for _ in range(calls):
                outcome(s, 0.3, method)

        py = best_of(5, python_calls) / calls
        print(f"one outcome ({method}): C++ {cpp * 1e6:.3f} us, from Python {py * 1e6:.3f} us, "
              f"cost of the call {max(py - cpp, 0) * 1e6:.3f} us (goal <= 5 us)")
    ratios = np.linspace(1e-6, 1 - 1e-6, 1_000_000)
    for method in ("precise", "classic"):
        t = best_of(3, lambda: fourfifths.outcomes(s, ratios, method))
        # The engine alone on one CPU, from a sample of the same ratios.
        sample = ratios[::10_000]
        engine = sum(_core.time_outcome(s, r, method, 1000) for r in sample) / len(sample)
        print(f"outcomes at 10^6 ratios from a NumPy array ({method}): {t:.3f} s (goal < 1 s); "
              f"the engine alone, on one CPU: {engine * len(ratios):.3f} s")
    calls = 200
    t = best_of(20, lambda: [fourfifths.table(s) for _ in range(calls)]) / calls
    cpp = min(_core.time_table(s, calls) for _ in range(20))
    print(f"the whole table as a DataFrame: {t * 1e6:.1f} us; the C++ work {cpp * 1e6:.1f} us: "
          f"{t / cpp:.2f} times it (wall time)")
    python_cpu, cpp_cpu = table_cpu(s)
    ratio = python_cpu / cpp_cpu
    print(f"the same in CPU time: {python_cpu * 1e6:.1f} us; the C++ work {cpp_cpu * 1e6:.1f} us: "
          f"{ratio:.2f} times it (budget <= {TABLE_BUDGET:g}; --check fails above {TABLE_LIMIT:g})")
    over_budget = ratio > TABLE_LIMIT
    # Two threads making tables at once, against one making them all.
    from concurrent.futures import ThreadPoolExecutor
    many = 400

    def tables(k):
        for _ in range(k):
            fourfifths.table(s)

    one = best_of(5, lambda: tables(many))
    with ThreadPoolExecutor(2) as pool:
        two = best_of(5, lambda: list(pool.map(tables, [many // 2, many // 2])))
    print(f"tables on 2 threads: {one / two:.2f} times as many a second as on one "
          f"(goal >= 1.6 on 2 idle cores)")
    t = best_of(20, lambda: fourfifths.table(path))
    print(f"the same, reading the scenario from its file: {t * 1e3:.2f} ms")
    if check and over_budget:
        print(f"bench.py: a table from Python takes {ratio:.2f} times the CPU of the C++ work, "
              f"above {TABLE_LIMIT:g}", file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
