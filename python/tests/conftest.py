"""What the tests share: the repository's data, the explorer to compare
with, and a comparison of DataFrames to the last bit."""
import io
import os
import subprocess
from pathlib import Path

import numpy as np
import pandas as pd
import pytest

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
CONFORMANCE = ROOT / "tests" / "golden" / "conformance"


def explorer() -> Path:
    """The fourfifths-explore to compare with: FOURFIFTHS_EXPLORE, or the
    release build's."""
    path = Path(os.environ.get("FOURFIFTHS_EXPLORE",
                               ROOT / "build" / "release" / "explore" / "fourfifths-explore"))
    if not path.is_file():
        pytest.fail(f"no explorer at {path}: build it (cmake --build --preset release) or set "
                    "FOURFIFTHS_EXPLORE")
    return path


def explore(*args, stdin=None):
    """Runs the explorer: (exit status, standard output, standard error)."""
    p = subprocess.run([str(explorer()), *map(str, args)], input=stdin, capture_output=True,
                       timeout=600)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


# Columns of names, read as text, as pandas reads them from any CSV given
# these options.
TEXT = ("id", "kind", "group", "unit", "step", "reference", "status", "one_person_note",
        "mh_status")


def read_csv(text: str) -> pd.DataFrame:
    """A CSV text as pandas reads it: every number to the double it names."""
    header = text.split("\n", 1)[0].split(",")
    return pd.read_csv(io.StringIO(text), float_precision="round_trip", keep_default_na=False,
                       na_values=["", "NaN"], dtype={c: str for c in TEXT if c in header})


def as_table(frame: pd.DataFrame) -> pd.DataFrame:
    """A table read from CSV with the types the package's columns have: its
    numbers are doubles even where each one is whole (a column of impact
    ratios of 1 is read as int64 from text); a front's points and the
    counts of observed data are whole numbers."""
    return frame.astype({c: "float64" for c in frame.columns
                         if frame[c].dtype == "int64" and c not in WHOLE})


# Columns of whole numbers.
WHOLE = ("point", "applicants", "selected", "shortfall_four_fifths", "mh_units")


def explore_csv(*args) -> pd.DataFrame:
    """The explorer's CSV output read with pandas; the run must succeed."""
    status, out, err = explore(*args)
    assert status == 0, err
    return read_csv(out)


def assert_same_frame(got: pd.DataFrame, want: pd.DataFrame):
    """The same columns, types and values, every float to the last bit (the
    sign of a zero and NaN included)."""
    assert list(got.columns) == list(want.columns)
    assert list(got.dtypes) == list(want.dtypes), (got.dtypes, want.dtypes)
    assert len(got) == len(want)
    for c in got.columns:
        g, w = got[c].to_numpy(), want[c].to_numpy()
        if g.dtype == np.float64:
            assert np.array_equal(g.view(np.uint64), w.view(np.uint64)), c
        else:
            assert np.array_equal(g.astype(object), w.astype(object)) or \
                got[c].equals(want[c]), c


def explorer_faults(stderr: str) -> list:
    """The explorer's messages, without its name."""
    prefix = "fourfifths-explore: "
    return [line[len(prefix):] if line.startswith(prefix) else line
            for line in stderr.splitlines()]
