"""fourfifths: adverse impact, the four-fifths rule and the quality of those
selected, for a selection top-down on a weighted predictor composite; the
Pareto-optimal predictor weights; adverse impact in observed hiring data.

Every table is a pandas DataFrame with the columns and the numbers of
``fourfifths-explore ... --format csv``, to the last bit::

    import fourfifths
    t = fourfifths.table("examples/regression_weights.json")
    t[t.kind == "minimum"]

A scenario may be a path, a JSON text, a deck's text, a dict of the JSON
schema ("Scenarios" in docs/explorer.md), or a :class:`Scenario` read once with
:func:`read` (the cheapest, for many calls). Faults of the input raise
:class:`FourFifthsError`, a ValueError whose message lists every fault with
its path; warnings go through :func:`warnings.warn` as
:class:`FourFifthsWarning`. Computations release the GIL, and every call may
be made from several threads at once.
"""
from __future__ import annotations

import os
import warnings
from typing import (Any, Dict, Iterable, List, Mapping, NamedTuple, Optional, Sequence, Tuple,
                    Union)

import numpy as np
import pandas as pd

from . import _core
from ._core import Outcome, Scenario

__all__ = [
    "Fault", "FourFifthsError", "FourFifthsWarning", "Outcome", "Scenario", "ScenarioSource",
    "batch", "best_weighting", "calibration_draws", "fit", "minimum", "observed", "outcome", "outcomes", "pareto", "read",
    "table",
]

__version__ = "1.1.0"

#: What the calls take as a scenario.
ScenarioSource = Union[Scenario, Mapping[str, Any], str, bytes, "os.PathLike[str]"]


class Fault(NamedTuple):
    """A fault of an input: where it is (``"predictors[2].d"``; empty for the
    input as a whole) and what is wrong."""

    path: str
    message: str

    @property
    def text(self) -> str:
        """``"path: message"``, or the message alone when there is no path."""
        return f"{self.path}: {self.message}" if self.path else self.message


class FourFifthsError(ValueError):
    """Bad input: a scenario, observed data or options with faults.

    ``faults`` lists every one (the message has them all, a line each, after
    what was read: ``"scenario.json: predictors[0].d: must be a finite
    number"``); ``source`` names what was read."""

    def __init__(self, source: str, faults: Sequence[Tuple[str, str]]):
        self.source = source
        self.faults: List[Fault] = [Fault(*f) for f in faults]
        super().__init__("\n".join(f"{source}: {f.text}" for f in self.faults) or source)


class FourFifthsWarning(UserWarning):
    """What an input is taken despite (a correlation matrix that is not
    positive definite, a front's impact ratio out of reach, ...)."""


# --- Reading --------------------------------------------------------------------------------


def _looks_like_text(text: str) -> bool:
    # A JSON text starts with "{"; a deck has several lines; a path has neither.
    return text.lstrip("\ufeff \t\r\n").startswith("{") or "\n" in text


def _read_file(path: Union[str, "os.PathLike[str]"]) -> bytes:
    # No scenario is longer than the reader takes: one byte more is enough
    # for it to refuse the text.
    with open(path, "rb") as f:
        return f.read(_core.most_scenario_bytes + 1)


def read(source: ScenarioSource) -> Scenario:
    """Reads and checks a scenario, once, for as many calls as are made on it.

    ``source`` is a :class:`Scenario` (returned as it is), a dict of the JSON
    schema (NumPy arrays and scalars allowed), a path (``str`` or
    ``os.PathLike``), or the text of a JSON scenario or of a deck (a ``str``
    starting with ``{`` or holding a line break, or ``bytes``). A scenario may
    have several minority groups (``"groups"``).

    Raises :class:`FourFifthsError` listing every fault with its path,
    ``OSError`` when a file cannot be read and ``TypeError`` for a source
    of another type; warnings go through :func:`warnings.warn`.
    """
    if isinstance(source, Scenario):
        return source
    if isinstance(source, Mapping):
        name = "the scenario"
        answer = _core.read_document(dict(source))
    elif isinstance(source, bytes):
        name = "the scenario"
        answer = _core.read_text(source)
    elif isinstance(source, str) and _looks_like_text(source):
        name = "the scenario"
        answer = _core.read_text(source)
    elif isinstance(source, (str, os.PathLike)):
        name = os.fspath(source)
        answer = _core.read_text(_read_file(source))
    else:
        raise TypeError("a scenario is a Scenario, a dict, a path or a JSON or deck text, not "
                        f"{type(source).__name__}")
    scenario, errors, warned = answer
    for w in warned:
        warnings.warn(f"{name}: warning: {Fault(*w).text}", FourFifthsWarning, stacklevel=3)
    if scenario is None:
        raise FourFifthsError(name, errors)
    return scenario


# --- Tables --------------------------------------------------------------------------------

def _dataframe(names: List[str], blocks: List[Tuple[np.ndarray, List[int]]]) -> pd.DataFrame:
    """A DataFrame of columns that come as blocks, one per type, a row per
    column, with the columns' places: handed to pandas as the blocks it
    holds, which costs a tenth of building it column by column; where this
    pandas holds its frames otherwise, column by column."""
    try:
        return _frame_of_blocks(names, blocks)
    except (ImportError, AttributeError, TypeError, ValueError):
        columns: Dict[str, Any] = {}
        for block, places in blocks:
            for row, place in enumerate(places):
                columns[names[place]] = block[row]
        return pd.DataFrame({name: columns[name] for name in names}, copy=False)


# pandas' parts that a frame is made of, looked up once.
class _Parts(NamedTuple):
    placement: Any
    block_type: Any
    manager: Any
    frame_init: Any
    labels: Any
    rows: Any


_parts: Optional[_Parts] = None


def _pandas_parts() -> _Parts:
    global _parts
    if _parts is None:
        from pandas._libs.internals import BlockPlacement
        from pandas.core.generic import NDFrame
        from pandas.core.internals import BlockManager
        from pandas.core.internals.blocks import get_block_type
        _parts = _Parts(BlockPlacement, get_block_type, BlockManager, NDFrame.__init__,
                        pd.Index._simple_new, pd.RangeIndex._simple_new)
    return _parts


# Of each layout met: the columns' names (read-only, shared by the frames'
# own indexes) and each block's class and places. A user's table has a few
# layouts; names that change from call to call (predictors') could make
# many, so the cache is emptied when it is full.
_layouts: Dict[Tuple[Any, ...], Tuple[np.ndarray, List[Tuple[Any, Any]]]] = {}
_most_layouts = 256


def _frame_of_blocks(names: List[str], blocks: List[Tuple[np.ndarray, List[int]]]) -> pd.DataFrame:
    parts = _pandas_parts()
    key = (tuple(names),) + tuple((block.dtype.char, tuple(places)) for block, places in blocks)
    layout = _layouts.get(key)
    if layout is None:
        labels = np.array(names, dtype=object)
        labels.flags.writeable = False
        layout = (labels, [(parts.block_type(block.dtype),
                            parts.placement(np.asarray(places, dtype=np.intp)))
                           for block, places in blocks])
        if len(_layouts) >= _most_layouts:
            _layouts.clear()
        layout = _layouts.setdefault(key, layout)
    labels, kinds = layout
    rows = blocks[0][0].shape[1] if blocks else 0
    made = [kind(block, ndim=2, placement=placement)
            for (block, _), (kind, placement) in zip(blocks, kinds)]
    # Each frame its own index objects: a name a user gives one frame's
    # columns or rows stays in that frame.
    manager = parts.manager(made, [parts.labels(labels), parts.rows(range(rows))],
                            verify_integrity=False)
    frame = pd.DataFrame.__new__(pd.DataFrame)
    parts.frame_init(frame, manager)
    return frame


def _ratios(ratios: Optional[Iterable[float]]) -> Optional[np.ndarray]:
    if ratios is None:
        return None
    try:
        return np.asarray(ratios, dtype=np.float64)
    except (TypeError, ValueError) as e:
        raise TypeError(f"ratios: a sequence of numbers, not {ratios!r}") from e


def table(scenario: ScenarioSource, ratios: Optional[Iterable[float]] = None,
          method: str = "precise", *, applicants: Optional[int] = None,
          replications: int = 10000, seed: int = 1, alpha: float = 0.05) -> pd.DataFrame:
    """The scenario's outcomes, one row per selection ratio: the columns of
    ``fourfifths-explore table --format csv`` (kind, target, sr, sr_majority,
    sr_minority, ai_ratio, ratio_to_highest, passes_four_fifths, cut_score, mean,
    mean_majority,
    mean_minority, mean_difference, std_mean, std_mean_majority,
    std_mean_minority, std_mean_difference, status), with the same numbers.

    Without ``ratios``: the 21 built-in ratios, the four-fifths minimum and
    the scenario's requested ratios; with them, a row at each (kind
    ``requested``). ``method`` is ``"precise"`` or ``"classic"`` (the classic
    report's numbers). A scenario with several minority groups gives the
    explorer's group table: one row per ratio and group (the majority
    first), columns kind, target, group, cut_score, sr, sr_group,
    ai_vs_majority, ratio_to_highest, passes_four_fifths, mean, mean_group,
    status; then the minimum's rows (precise method only).

    With ``applicants``, each row also gives the chances for a pool of that
    many applicants drawn from the scenario, round(ratio x applicants)
    selected top-down (``table --applicants``): pool_selected,
    p_fail_four_fifths, p_fisher, p_z and p_group_absent, each with its
    Monte Carlo standard error (NaN where exact), and pool_method; simulated
    pools (``replications`` of them, from ``seed``) where no exact method
    applies; the tests at level ``alpha``.
    """
    s = read(scenario)
    if applicants is None:
        columns, errors = _core.table_columns(s, _ratios(ratios), method)
    else:
        columns, errors = _core.table_columns(s, _ratios(ratios), method, applicants,
                                              replications, seed, alpha)
    if columns is None:
        raise FourFifthsError("table", errors)
    return _dataframe(*columns)


def outcome(scenario: ScenarioSource, ratio: float, method: str = "precise") -> Outcome:
    """The outcome at one selection ratio, with the attributes of the table's
    columns (None where the table's field is empty). One minority group."""
    return _core.outcome(read(scenario), ratio, method)


def outcomes(scenario: ScenarioSource, ratios: Union[np.ndarray, Iterable[float]],
             method: str = "precise") -> Dict[str, Any]:
    """The outcomes at many selection ratios (a 1-D array), computed without
    the GIL: a dict with a NumPy array per column of the table, in its order
    (NaN where the table's field is empty; ``passes_four_fifths`` bool, False
    where the table's field is empty; ``status`` an array of str).

    With several minority groups: ``target``, ``cut_score``, ``sr``, ``mean``,
    ``passes_four_fifths`` and ``status`` per ratio, ``group`` the groups'
    names (the majority first), and ``sr_group``, ``ai_vs_majority``,
    ``ratio_to_highest``, ``mean_group`` of shape (ratios, groups).
    """
    r = _ratios(ratios)
    assert r is not None
    return _core.outcomes(read(scenario), r, method)


def minimum(scenario: ScenarioSource, method: str = "precise") -> Dict[str, Any]:
    """The four-fifths minimum: the smallest selection ratio at which the rule
    holds, as the table's minimum row gives it.

    One group: ``found``, ``status``, ``ratio``, ``cut_score``, ``sr`` (None
    without the mix), ``sr_majority``, ``sr_minority``, ``ai_ratio``,
    ``ratio_to_highest``. Several
    groups: ``found``, ``status``, ``ratio``, ``cut_score``, ``lowest_group``
    and ``highest_group`` (the groups of the lowest and highest composite
    means, which decide it). Values are None when there is no minimum.
    """
    return _core.minimum(read(scenario), method)


# --- Pareto ---------------------------------------------------------------------------------


def pareto(scenario: ScenarioSource, ratio: float, points: int = 21, *, majority: bool = False,
           objective: str = "validity", weights: str = "nonnegative",
           calibration_n: Optional[int] = None, replications: int = 1000, seed: int = 1,
           threads: Optional[int] = None) -> pd.DataFrame:
    """The Pareto-optimal predictor weightings at the selection ratio
    ``ratio`` (overall, or the majority group's with ``majority=True``): the
    columns of ``fourfifths-explore pareto --format csv``: point, ai_ratio,
    validity, mean, mean_majority, mean_minority, sr_majority, sr_minority,
    composite_d, four_fifths_minimum and the weights w1..wN.

    ``objective``: ``"validity"`` or ``"mean"``; ``weights``:
    ``"nonnegative"`` or ``"any"``. A scenario with several minority groups
    gives the explorer's front of quality against the lowest ratio to the
    highest rate: the same columns (ai_ratio and the minority's columns are
    those of the group with the lowest rate), then
    lowest_ratio_to_highest and ratio_to_highest_<group> for the majority
    and every group.

    With ``calibration_n``, each point also says what weights found at its
    level in calibration samples of that many applicants give in new
    applicants (``pareto --calibration-n``): cv_level, cv_validity,
    cv_mean and cv_lowest_ratio (each with _se, _q05 and _q95),
    p_below_level and cv_unreachable, over ``replications`` samples drawn
    from ``seed`` on ``threads`` threads (default: every CPU; the numbers
    do not depend on them).
    """
    s = read(scenario)
    columns, errors = _core.pareto_columns(s, ratio, points, majority, objective, weights,
                                           calibration_n, replications, seed, threads)
    if columns is None:
        raise FourFifthsError("pareto", errors)
    return _dataframe(*columns)


def calibration_draws(scenario: ScenarioSource, ratio: float, points: int = 21, *,
                      calibration_n: int, replications: int = 1000, seed: int = 1,
                      first_replication: int = 0, majority: bool = False,
                      objective: str = "validity", weights: str = "nonnegative",
                      threads: Optional[int] = None) -> pd.DataFrame:
    """Every calibration sample of :func:`pareto`'s ``calibration_n``, one row
    per sample and point: replication (the sample's stream of the seed),
    point, cv_level, cv_validity, cv_mean, cv_lowest_ratio and reached.

    The samples are ``first_replication`` to ``first_replication +
    replications - 1``: consecutive ranges drawn apart (on a Dask cluster,
    say) give together exactly the rows of one call, and their means and
    quantiles by point are :func:`pareto`'s cv_ columns. docs/python.md has
    the recipe.
    """
    s = read(scenario)
    columns, errors = _core.draws_columns(s, ratio, points, majority, objective, weights,
                                          calibration_n, replications, seed, threads,
                                          first_replication)
    if columns is None:
        raise FourFifthsError("calibration_draws", errors)
    return _dataframe(*columns)


def best_weighting(scenario: ScenarioSource, ratio: float, min_ai: float, *,
                   majority: bool = False, objective: str = "validity",
                   weights: str = "nonnegative", calibration_n: Optional[int] = None,
                   replications: int = 1000, seed: int = 1,
                   threads: Optional[int] = None) -> pd.DataFrame:
    """The single weighting with the best quality whose impact ratio at
    ``ratio`` is at least ``min_ai``: one row with the columns of
    :func:`pareto`, its point ``"best"``. When no weighting reaches
    ``min_ai``, the one with the highest impact ratio, its point
    ``"highest"``, and a :class:`FourFifthsWarning` saying so.

    With ``calibration_n`` (and ``replications``, ``seed``, ``threads`` as
    for :func:`pareto`), the row also gives the level to ask of a
    calibration sample so that 95 % of samples keep new applicants at
    ``min_ai`` (``pareto --min-ai --calibration-n``): robust_found,
    cv_level, the cv_ spreads, p_below_min_ai, and as_asked_validity,
    as_asked_lowest_ratio_q05 and p_as_asked_below_min_ai for ``min_ai``
    itself asked of the samples.
    """
    s = read(scenario)
    columns, errors, unreachable = _core.best_columns(s, ratio, min_ai, majority, objective,
                                                      weights, calibration_n, replications,
                                                      seed, threads)
    if columns is None:
        raise FourFifthsError("best_weighting", errors)
    if unreachable is not None:
        warnings.warn(unreachable, FourFifthsWarning, stacklevel=2)
    return _dataframe(*columns)


# --- Observed data ----------------------------------------------------------------------------

ObservedSource = Union[pd.DataFrame, Mapping[str, Any], str, bytes, "os.PathLike[str]"]


def _counts_frame(data: pd.DataFrame) -> pd.DataFrame:
    """The frame with whole numbers held as floats (as pandas holds a column
    with a missing value or with one number that is not whole) written as
    whole numbers: 48.0 is the count 48, each on its own, so that only the
    numbers that are not whole are faults. Any other number is written as
    it is, for the reader to judge."""
    out = data.copy(deep=False)
    for column in out.columns:
        values = out[column]
        if pd.api.types.is_float_dtype(values):
            whole = np.isfinite(values) & (values == np.floor(values))
            if whole.all() or (whole | values.isna()).all():
                out[column] = values.astype("Int64")
            elif whole.any():
                out[column] = pd.Series([int(v) if w else v for v, w in zip(values, whole)],
                                        index=values.index, dtype=object)
    return out


def observed(data: ObservedSource, *, reference: Optional[str] = None,
             alpha: Optional[float] = None,
             steps: Optional[Iterable[str]] = None) -> pd.DataFrame:
    """Adverse impact in observed hiring data: the columns of
    ``fourfifths-explore observed --format csv``, one row per group (and unit
    or step).

    ``data`` is a DataFrame of counts (columns group, applicants, selected
    and optionally unit or step) or of applicants, one per row (group,
    selected as 0/1 or yes/no, optionally unit, or step: the last step
    reached); or a path or text of either CSV form or of the JSON form; or a
    dict of the JSON form. Faults of a DataFrame are placed as in its CSV:
    line 2 is the first row. ``reference`` names the reference group
    (default: the highest rate in each unit); ``alpha`` is the tests' level
    (default 0.05, or the JSON form's); ``steps`` the order of the steps of
    a process, first to last (default: as the data first name them), as
    ``--steps`` gives it.
    """
    name = "the data"
    if isinstance(data, pd.DataFrame):
        text: Union[str, bytes] = _counts_frame(data).to_csv(index=False)
    elif isinstance(data, Mapping):
        import json
        text = json.dumps(data)
    elif isinstance(data, bytes):
        text = data
    elif isinstance(data, str) and _looks_like_text(data):
        text = data
    elif isinstance(data, (str, os.PathLike)):
        name = os.fspath(data)
        with open(data, "rb") as f:
            text = f.read()
    else:
        raise TypeError("observed data are a DataFrame, a dict, a path or a CSV or JSON text, not "
                        f"{type(data).__name__}")
    order = None if steps is None else [str(s) for s in steps]
    columns, errors = _core.observed_columns(text, reference, alpha, order)
    if columns is None:
        raise FourFifthsError(name, errors)
    return _dataframe(*columns)


# --- Validation samples --------------------------------------------------------------------


def _scores(data: pd.DataFrame, name: str, position: int) -> np.ndarray:
    """A column of scores as doubles, missing values (None, NaN, NA) as NaN.
    A cell that is not a number is a fault, placed as in the frame's CSV."""
    column = data[name]
    if pd.api.types.is_bool_dtype(column) or not (pd.api.types.is_numeric_dtype(column)
                                                  or column.dtype == object):
        raise FourFifthsError("the data", [("", f'the column "{name}" must hold numbers, not '
                                                f'{column.dtype}')])
    numbers = pd.to_numeric(column, errors="coerce")
    bad = numbers.isna() & column.notna()
    if bad.any():
        faults = [(f"line {row + 2}, column {position} ({name})",
                   f'must be a number, not "{column.iloc[row]}"')
                  for row in np.flatnonzero(bad.to_numpy())[:20]]
        raise FourFifthsError("the data", faults)
    return numbers.to_numpy(dtype=np.float64, na_value=np.nan)


def fit(data: pd.DataFrame, group: str, predictors: Sequence[str], criteria: Sequence[str] = (),
        reference: Optional[str] = None) -> Scenario:
    """A scenario estimated from a validation sample, as ``fourfifths-explore
    fit`` writes it: the pooled within-group correlations, each group's
    effect sizes against the reference group (in pooled within-group
    standard deviations) and its share, with the sample's sizes
    (``calibration_n``).

    ``data`` has a row per person: the ``group`` column's labels and the
    scores of the ``predictors`` and ``criteria`` columns. Missing values
    (None, NaN, NA) leave their row out (listwise, said in a warning). The
    reference group is ``reference``, or else the group with the most
    complete rows. The scenario has regression weights on the criteria, each
    weighted 1 (without criteria, each predictor weighted 1).

    Raises :class:`FourFifthsError` listing every fault, placed as in the
    frame's CSV (line 2 is the first row), and ``KeyError`` for a column the
    frame lacks.
    """
    if not isinstance(data, pd.DataFrame):
        raise TypeError(f"a validation sample is a DataFrame, not {type(data).__name__}")
    predictors, criteria = [str(p) for p in predictors], [str(c) for c in criteria]
    names = [group] + predictors + criteria
    columns = list(data.columns)
    missing = [n for n in names if n not in columns]
    if missing:
        raise KeyError(f'no column "{missing[0]}" in the data (it has '
                       f'{", ".join(str(c) for c in columns)})')
    twice = [n for n in names if columns.count(n) > 1]
    if twice:
        raise FourFifthsError("the data", [("", f'the column "{twice[0]}" appears twice')])
    positions = [columns.index(n) + 1 for n in names]
    codes, labels = pd.factorize(data[group], sort=False)
    scores = [_scores(data, n, p) for n, p in zip(names[1:], positions[1:])]
    answer = _core.fit_columns([str(x) for x in labels], codes.astype(np.int32), scores,
                               positions, str(group), predictors, criteria, reference)
    scenario, errors, warned = answer
    for w in warned:
        warnings.warn(f"the data: warning: {Fault(*w).text}", FourFifthsWarning, stacklevel=2)
    if scenario is None:
        raise FourFifthsError("the data", errors)
    return scenario


# --- Many scenarios -------------------------------------------------------------------------


def batch(scenarios: Iterable[Union[str, bytes, Mapping[str, Any]]],
          ratios: Optional[Iterable[float]] = None, method: str = "precise") -> pd.DataFrame:
    """The tables of many JSON scenarios, each with an ``"id"``, in one
    DataFrame: the columns of ``fourfifths-explore batch`` (``id`` first,
    then the table's), the scenarios in the order given. Each scenario is a
    JSON text (a line of a JSON Lines file; blank ones are skipped) or a
    dict; scenarios of one minority group.

    Raises :class:`FourFifthsError` naming every scenario that cannot be
    analysed (by its id, or ``line N`` counted from 1) with its faults.
    This is what a Dask bag or DataFrame maps over its partitions.
    """
    import json
    lines = [s if isinstance(s, (str, bytes)) else json.dumps(s) for s in scenarios]
    columns, failed = _core.batch_columns(lines, _ratios(ratios), method)
    if failed:
        faults = [(f"{name}: {path}" if path else name, message)
                  for name, errors in failed for path, message in errors]
        raise FourFifthsError("batch", faults)
    return _dataframe(*columns)
