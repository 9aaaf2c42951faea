# Type stub of the extension module kemro._kemro, which the package's
# functions call; see src/entries.hpp for what each entry computes.
from typing import Any

import numpy.typing as npt

version: str

def summary_catalogue() -> list[tuple[str, str, str]]: ...
def summary(
    N: npt.ArrayLike, N1: npt.ArrayLike, K: npt.ArrayLike, d: npt.ArrayLike,
    alpha: npt.ArrayLike, threshold: npt.ArrayLike, engine: str, jobs: int,
    N1_name: str = ..., K_name: str = ...
) -> dict[str, Any]: ...
def group_summary(
    names: list[str], shares: npt.ArrayLike, counts: npt.ArrayLike, d: npt.ArrayLike,
    selection: str, N: npt.ArrayLike, hires: npt.ArrayLike, selection_ratio: npt.ArrayLike,
    cut_score: npt.ArrayLike, jobs: int
) -> dict[str, Any]: ...
def distribution(
    N: int, N1: int, K: int, d: float, engine: str
) -> tuple[dict[str, Any], dict[str, Any]]: ...
def composite_d(
    predictor_d: npt.ArrayLike, weights: npt.ArrayLike, intercorrelations: npt.ArrayLike
) -> float: ...
def solve_d(
    N: npt.ArrayLike, N1: npt.ArrayLike, K: npt.ArrayLike, alpha: npt.ArrayLike,
    threshold: npt.ArrayLike, d_low: float, d_high: float, target: str, engine: str, jobs: int
) -> dict[str, Any]: ...
def solve_discrete(
    range: npt.ArrayLike, value: npt.ArrayLike, N: npt.ArrayLike, N1: npt.ArrayLike,
    K: npt.ArrayLike, d: npt.ArrayLike, alpha: npt.ArrayLike, threshold: npt.ArrayLike,
    target: str, engine: str, jobs: int
) -> dict[str, Any]: ...
def observed_catalogue() -> list[tuple[str, str]]: ...
def observed(
    N: npt.ArrayLike, N1: npt.ArrayLike, K: npt.ArrayLike, S: npt.ArrayLike, d: npt.ArrayLike,
    alpha: float, threshold: float
) -> dict[str, Any]: ...
def observed_groups(
    names: list[str], applicants: npt.ArrayLike, hires: npt.ArrayLike, reference: str,
    minority: str, d: npt.ArrayLike, alpha: float, threshold: float
) -> dict[str, Any]: ...
