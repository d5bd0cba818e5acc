"""Types of the package fourfifths: what editors complete and type checkers
check. The docstrings are in the package itself (help(fourfifths.table))."""
import os
from typing import (Any, Dict, Iterable, List, Literal, Mapping, NamedTuple, Optional, Sequence,
                    Tuple, TypedDict, Union)

import numpy as np
import numpy.typing as npt
import pandas as pd

from ._core import Outcome as Outcome
from ._core import Scenario as Scenario

__version__: str

ScenarioSource = Union[Scenario, Mapping[str, Any], str, bytes, os.PathLike[str]]
ObservedSource = Union[pd.DataFrame, Mapping[str, Any], str, bytes, os.PathLike[str]]
Method = Literal["precise", "classic"]
Objective = Literal["validity", "mean"]
Signs = Literal["nonnegative", "any"]
Status = Literal["solved", "no_cut_score", "ratio_outside_0_1", "invalid_argument"]

class Fault(NamedTuple):
    path: str
    message: str
    @property
    def text(self) -> str: ...

class FourFifthsError(ValueError):
    source: str
    faults: List[Fault]
    def __init__(self, source: str, faults: Sequence[Tuple[str, str]]) -> None: ...

class FourFifthsWarning(UserWarning): ...

class Minimum(TypedDict, total=False):
    """One group: found, status, ratio, cut_score, sr, sr_majority,
    sr_minority, ai_ratio, ratio_to_highest. Several groups: found, status,
    ratio, cut_score,
    lowest_group, highest_group."""
    found: bool
    status: Status
    ratio: Optional[float]
    cut_score: Optional[float]
    sr: Optional[float]
    sr_majority: Optional[float]
    sr_minority: Optional[float]
    ai_ratio: Optional[float]
    ratio_to_highest: Optional[float]
    lowest_group: str
    highest_group: str

def read(source: ScenarioSource) -> Scenario: ...
def table(scenario: ScenarioSource, ratios: Optional[Iterable[float]] = None,
          method: Method = "precise", *, applicants: Optional[int] = None,
          replications: int = 10000, seed: int = 1, alpha: float = 0.05) -> pd.DataFrame: ...
def outcome(scenario: ScenarioSource, ratio: float, method: Method = "precise") -> Outcome: ...
def outcomes(scenario: ScenarioSource, ratios: Union[npt.NDArray[np.float64], Iterable[float]],
             method: Method = "precise") -> Dict[str, Any]: ...
def minimum(scenario: ScenarioSource, method: Method = "precise") -> Minimum: ...
def pareto(scenario: ScenarioSource, ratio: float, points: int = 21, *, majority: bool = False,
           objective: Objective = "validity", weights: Signs = "nonnegative",
           calibration_n: Optional[int] = None, replications: int = 1000, seed: int = 1,
           threads: Optional[int] = None) -> pd.DataFrame: ...
def calibration_draws(scenario: ScenarioSource, ratio: float, points: int = 21, *,
                      calibration_n: int, replications: int = 1000, seed: int = 1,
                      first_replication: int = 0, majority: bool = False,
                      objective: Objective = "validity", weights: Signs = "nonnegative",
                      threads: Optional[int] = None) -> pd.DataFrame: ...
def best_weighting(scenario: ScenarioSource, ratio: float, min_ai: float, *,
                   majority: bool = False, objective: Objective = "validity",
                   weights: Signs = "nonnegative", calibration_n: Optional[int] = None,
                   replications: int = 1000, seed: int = 1,
                   threads: Optional[int] = None) -> pd.DataFrame: ...
def observed(data: ObservedSource, *, reference: Optional[str] = None,
             alpha: Optional[float] = None,
             steps: Optional[Iterable[str]] = None) -> pd.DataFrame: ...
def fit(data: pd.DataFrame, group: str, predictors: Sequence[str],
        criteria: Sequence[str] = (), reference: Optional[str] = None) -> Scenario: ...
def batch(scenarios: Iterable[Union[str, bytes, Mapping[str, Any]]],
          ratios: Optional[Iterable[float]] = None, method: Method = "precise") -> pd.DataFrame: ...
