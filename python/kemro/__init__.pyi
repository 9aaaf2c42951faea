# Type stub of the kemro package: the signatures of its functions for
# editors and type checkers (the docstrings are in __init__.py).
from typing import Any, Literal, Mapping, Sequence, Union

import numpy as np
import numpy.typing as npt
import pandas as pd

__version__: str

Count = Union[int, np.integer, Sequence[int], npt.NDArray[np.integer]]
Real = Union[float, int, np.floating, np.integer, Sequence[float], npt.NDArray[np.floating]]
Engine = Literal["fast", "nested"]

class KemroWarning(UserWarning): ...

def summary_columns() -> pd.DataFrame: ...
def observed_columns() -> pd.DataFrame: ...
def ai_distribution(N: int, N1: int, K: int, d: float, *, engine: Engine = ...) -> pd.DataFrame: ...
def ai_summary(
    N: Count | None = ...,
    N1: Count | None = ...,
    K: Count | None = ...,
    d: Real | None = ...,
    *,
    minority_share: Real | None = ...,
    selection_ratio: Real | None = ...,
    predictor_d: Real | None = ...,
    weights: Real | None = ...,
    intercorrelations: Real | None = ...,
    alpha: Real = ...,
    threshold: Real = ...,
    groups: pd.DataFrame | Mapping[str, Sequence[Any]] | None = ...,
    group_names: Sequence[str] | None = ...,
    group_shares: Real | None = ...,
    group_counts: Count | None = ...,
    group_d: Real | None = ...,
    selection: Literal["top-down", "cut-score"] | None = ...,
    cut_score: Real | None = ...,
    engine: Engine = ...,
    grid: bool = ...,
    jobs: int = ...,
) -> pd.DataFrame: ...
def ai_solve(
    target: str,
    solve_for: Literal["d", "N", "minority_share", "selection_ratio"] = ...,
    *,
    N: Count | None = ...,
    N1: Count | None = ...,
    K: Count | None = ...,
    d: Real | None = ...,
    minority_share: Real | None = ...,
    selection_ratio: Real | None = ...,
    alpha: Real = ...,
    threshold: Real = ...,
    engine: Engine = ...,
    jobs: int = ...,
) -> pd.DataFrame: ...
def ai_observed(
    N: Count | None = ...,
    N1: Count | None = ...,
    K: Count | None = ...,
    S: Count | None = ...,
    *,
    d: Real = ...,
    alpha: float = ...,
    threshold: float = ...,
    groups: pd.DataFrame | Mapping[str, Sequence[Any]] | None = ...,
    group_names: Sequence[str] | None = ...,
    group_applicants: Count | None = ...,
    group_hires: Count | None = ...,
    reference: str | None = ...,
    minority: str | None = ...,
) -> pd.DataFrame: ...
