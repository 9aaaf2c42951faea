"""Exact adverse-impact analysis for personnel selection, from Python.

The functions of this package call the same C++ library as the programs
kemro-grid and kemro-observed and the R package, and report the same numbers
under the same column names:

- ai_distribution: the exact distribution of minority hires and of the
  adverse impact ratio AI for one scenario;
- ai_summary: kemro-grid's summary record of each scenario, for arrays of
  scenarios broadcast as numpy broadcasts or crossed as a grid;
- ai_solve: kemro-grid's planning solves, the design value at which a
  quantity reaches a target;
- ai_observed: kemro-observed's analysis of actual hiring decisions.

A scenario has N applicants, N1 of them majority and N2 = N - N1 minority,
K hires, and the effect size d (majority mean minus minority mean of the
normal predictor scores, in standard deviations); the K best-scoring
applicants are hired. AI = SRI / SRA, the minority's selection rate over the
majority's.

Arguments are checked before anything is computed: NaN, infinities, counts
that are negative or not whole, shares outside (0, 1), arrays that do not
broadcast and texts where numbers belong raise ValueError naming the
argument; scenarios the library cannot compute raise ValueError with its
reason. The computation runs on worker threads without the interpreter's
lock; Ctrl-C stops it between scenarios with KeyboardInterrupt.
"""

import numbers
import warnings

import numpy as np
import pandas as pd

from . import _kemro

__version__ = _kemro.version

__all__ = [
    "ai_distribution",
    "ai_summary",
    "ai_solve",
    "ai_observed",
    "summary_columns",
    "observed_columns",
    "KemroWarning",
]

ENGINES = ("fast", "nested")
# Largest count the library takes: counts are 32-bit integers there.
LARGEST_COUNT = 2**31 - 1
# The arguments a planning solve may search over, and the name kemro-grid
# gives each of them in its records and in `solved_for`.
SOLVE_FIELDS = {
    "N": "applicants",
    "N1": "majority",
    "minority_share": "minority_share",
    "K": "hires",
    "selection_ratio": "selection_ratio",
    "d": "d",
}
SOLVABLE = ("d", "N", "minority_share", "selection_ratio")
SOLVE_OPTION_NAMES = {
    "d": "d",
    "N": "applicants",
    "minority_share": "minority-share",
    "selection_ratio": "selection-ratio",
}


class KemroWarning(UserWarning):
    """Scenarios that could not be computed, or numerical warnings."""


# --- Argument checks -------------------------------------------------------


def _numbers(x, name):
    """`x` as a float64 array of at least one element, or ValueError naming `name`."""
    if isinstance(x, (str, bytes)):
        raise ValueError(f"{name} must be numeric, not the text {x!r}")
    if isinstance(x, (bool, np.bool_)):
        raise ValueError(f"{name} must be numeric, not {x!r}")
    try:
        array = np.asarray(x)
    except Exception as error:  # ragged nested sequences and the like
        raise ValueError(f"{name} must be a number or an array of numbers ({error})") from None
    if array.dtype.kind not in "iuf":
        if array.dtype.kind == "O":
            bad = [v for v in array.ravel() if not isinstance(v, numbers.Real)
                   or isinstance(v, (bool, np.bool_))]
            if bad:
                raise ValueError(f"{name} must hold numbers, not {bad[0]!r}")
        else:
            raise ValueError(f"{name} must be numeric, not of type {array.dtype}")
    array = array.astype(np.float64)
    if array.size == 0:
        raise ValueError(f"{name} must not be empty")
    if np.isnan(array).any():
        raise ValueError(f"{name} must not be NaN (index {_first(np.isnan(array))})")
    return array


def _first(mask):
    """The index of the first true element of `mask`, as text (a tuple for arrays of
    more than one dimension)."""
    where = np.argwhere(mask)[0]
    return str(int(where[0])) if len(where) == 1 else str(tuple(int(i) for i in where))


def _counts(x, name, lowest=1):
    """Whole numbers from `lowest` to 2^31 - 1, as an int64 array."""
    array = _numbers(x, name)
    bad = ~np.isfinite(array) | (array != np.round(array))
    if bad.any():
        value = array[tuple(np.argwhere(bad)[0])]
        raise ValueError(f"{name} must hold whole numbers, not {value!r} (index {_first(bad)})")
    bad = (array < lowest) | (array > LARGEST_COUNT)
    if bad.any():
        value = array[tuple(np.argwhere(bad)[0])]
        raise ValueError(f"{name} must be at least {lowest} and below 2^31, "
                         f"not {value:.17g} (index {_first(bad)})")
    return array.astype(np.int64)


def _reals(x, name):
    """Finite real numbers, as a float64 array."""
    array = _numbers(x, name)
    bad = ~np.isfinite(array)
    if bad.any():
        value = array[tuple(np.argwhere(bad)[0])]
        raise ValueError(f"{name} must be finite, not {value!r} (index {_first(bad)})")
    return array


def _shares(x, name):
    """Shares strictly between 0 and 1, as a float64 array."""
    array = _reals(x, name)
    bad = (array <= 0) | (array >= 1)
    if bad.any():
        value = array[tuple(np.argwhere(bad)[0])]
        raise ValueError(f"{name} must lie strictly between 0 and 1, "
                         f"not {value!r} (index {_first(bad)})")
    return array


def _alpha(x, name="alpha"):
    """The rules' two-sided levels: strictly between 0 and 1, as a float64 array."""
    return _shares(x, name)


def _threshold(x, name="threshold"):
    """The four-fifths rule's thresholds: above 0 and at most 1, as a float64 array."""
    array = _reals(x, name)
    bad = (array <= 0) | (array > 1)
    if bad.any():
        value = array[tuple(np.argwhere(bad)[0])]
        raise ValueError(f"{name} must lie above 0 and at most 1, "
                         f"not {value!r} (index {_first(bad)})")
    return array


def _scalar(array, name):
    """The one element of a checked array."""
    if array.size != 1:
        raise ValueError(f"{name} must be a single value, not one of {array.size}")
    return array.reshape(())[()]


def _engine(engine):
    if not isinstance(engine, str) or engine not in ENGINES:
        raise ValueError(f"engine must be \"fast\" or \"nested\", not {engine!r}")
    return engine


def _jobs(jobs):
    return int(_scalar(_counts(jobs, "jobs", lowest=0), "jobs"))


def _flag(x, name):
    if not isinstance(x, (bool, np.bool_)):
        raise ValueError(f"{name} must be True or False, not {x!r}")
    return bool(x)


def _exactly_one(a, a_name, b, b_name):
    if (a is None) == (b is None):
        raise ValueError(f"give exactly one of {a_name} and {b_name}")


def _round_half_away(x):
    """round(x) with halves away from zero for x >= 0, as the tools round shares of
    counts; x - floor(x) is exact here."""
    lower = np.floor(x)
    return lower + (x - lower >= 0.5)


def _derived_counts(N, N1, minority_share, K, selection_ratio):
    """N1 and K of each scenario, formed from the shares as kemro-grid forms them,
    and the names by which the library's refusals call them."""
    N1_name, K_name = "N1", "K"
    if N1 is None:
        N1 = N - _round_half_away(minority_share * N).astype(np.int64)
        N1_name = "N1 = N - round(minority_share * N)"
    if K is None:
        K = _round_half_away(selection_ratio * N).astype(np.int64)
        K_name = "K = round(selection_ratio * N)"
    return N1, K, N1_name, K_name


def _spanned(args, grid):
    """The scenarios of checked argument arrays, as flat arrays by name: every
    combination of their values in the arguments' order, the first slowest
    (grid), or their numpy broadcast in C order."""
    if grid:
        values = [a.ravel() for a in args.values()]
        return dict(zip(args, (m.ravel() for m in np.meshgrid(*values, indexing="ij"))))
    try:
        return dict(zip(args, (a.ravel() for a in np.broadcast_arrays(*args.values()))))
    except ValueError:
        shapes = ", ".join(f"{name} has shape {a.shape}" for name, a in args.items())
        raise ValueError(f"the arguments do not broadcast to one shape: {shapes}") from None


def _composite_d(predictor_d, weights, intercorrelations):
    """The composite's effect size, by the library."""
    effects = _reals(predictor_d, "predictor_d").ravel()
    w = (np.ones_like(effects) if weights is None
         else _reals(weights, "weights").ravel())
    if w.size != effects.size:
        raise ValueError(f"weights: {w.size} weights for {effects.size} predictors")
    if intercorrelations is None:
        if effects.size > 1:
            raise ValueError(f"intercorrelations is required with {effects.size} predictors")
        r = np.empty(0)
    else:
        r = _reals(intercorrelations, "intercorrelations").ravel()
    return _kemro.composite_d(effects, w, r)


def _frame(columns, index=None):
    return pd.DataFrame(columns, index=index)


def _warn_summary(frame):
    abandoned = np.flatnonzero(frame["status"].to_numpy() != "computed")
    if abandoned.size:
        shown = ", ".join(str(int(frame["scenario"].iloc[i])) for i in abandoned[:10])
        warnings.warn(f"{abandoned.size} of {len(frame)} scenarios could not be computed "
                      f"(their exact values are NaN): scenario {shown}", KemroWarning,
                      stacklevel=3)
    troubled = int((frame["warnings"] > 0).sum())
    if troubled:
        warnings.warn(f"numerical warnings in {troubled} scenario(s); see the warnings column",
                      KemroWarning, stacklevel=3)


# --- The column catalogues -------------------------------------------------


def summary_columns():
    """The columns of ai_summary (and of kemro-grid's CSV summary).

    Returns a DataFrame with one row per column, in record order: its name,
    the header kemro-grid's text table gives it, and its meaning.
    """
    return pd.DataFrame(_kemro.summary_catalogue(), columns=["name", "header", "meaning"])


def observed_columns():
    """The columns of ai_observed (and of kemro-observed's CSV records).

    Returns a DataFrame with one row per column, in record order: its name
    and its meaning.
    """
    return pd.DataFrame(_kemro.observed_catalogue(), columns=["name", "meaning"])


# --- The analyses ----------------------------------------------------------


def ai_distribution(N, N1, K, d, *, engine="fast"):
    """The exact distribution of minority hires and of AI for one scenario.

    Parameters
    ----------
    N : int
        Applicants, at least 2.
    N1 : int
        Majority applicants, 1 <= N1 <= N - 1 (N2 = N - N1 are minority).
    K : int
        Hires, 1 <= K <= N - 1.
    d : float
        Effect size: majority mean minus minority mean, in standard deviations.
    engine : {"fast", "nested"}
        The library's engine; "nested" is the original integration.

    Returns
    -------
    pandas.DataFrame
        One row per outcome S = 0, 1, ..., with the columns minority_hires (S),
        majority_hires (K - S), AI (NaN when no majority applicant is hired),
        probability P(S) and cumulative P(S or fewer). ``.attrs`` holds the
        scenario's summary record (the columns of ai_summary) and the engine.
        The frame is empty when the computation was abandoned (a KemroWarning
        says so).

    Raises
    ------
    ValueError
        An argument that is not a single finite number, a count that is not
        whole, or a scenario the engine cannot compute (the library's reason).
    """
    N = int(_scalar(_counts(N, "N", lowest=2), "N"))
    N1 = int(_scalar(_counts(N1, "N1"), "N1"))
    K = int(_scalar(_counts(K, "K"), "K"))
    d = float(_scalar(_reals(d, "d"), "d"))
    engine = _engine(engine)
    table, summary = _kemro.distribution(N, N1, K, d, engine)
    frame = _frame(table)
    frame.attrs.update({name: (values[0].item() if hasattr(values, "dtype") else values[0])
                        for name, values in summary.items()})
    frame.attrs["engine"] = engine
    if frame.attrs["status"] != "computed":
        warnings.warn(f"the outcome probabilities for N = {N}, N1 = {N1}, K = {K}, d = {d!r} "
                      "could not be computed: the result has no rows", KemroWarning,
                      stacklevel=2)
    elif frame.attrs["warnings"] > 0:
        warnings.warn(f"{frame.attrs['warnings']} numerical warning(s) for N = {N}, N1 = {N1}, "
                      f"K = {K}, d = {d!r}", KemroWarning, stacklevel=2)
    return frame


def ai_summary(N=None, N1=None, K=None, d=None, *, minority_share=None, selection_ratio=None,
               predictor_d=None, weights=None, intercorrelations=None, alpha=0.05,
               threshold=0.8, groups=None, group_names=None, group_shares=None,
               group_counts=None, group_d=None, selection=None, cut_score=None, engine="fast",
               grid=False, jobs=0):
    """kemro-grid's summary record for each scenario, as a DataFrame.

    Each scenario argument may be a number or an array. Without ``grid`` the
    arrays broadcast against each other as numpy broadcasts them, and the
    scenarios are the broadcast's elements in C order; with ``grid=True`` the
    scenarios are every combination of the values, N outermost and the
    threshold fastest (N, N1 or minority_share, K or selection_ratio, d,
    alpha, threshold), as kemro-grid spans its grid.

    Parameters
    ----------
    N : int or array of int
        Applicants, at least 2.
    N1 : int or array of int, optional
        Majority applicants, 1 <= N1 <= N - 1. Give N1 or minority_share.
    K : int or array of int, optional
        Hires, 1 <= K <= N - 1. Give K or selection_ratio.
    d : float or array of float, optional
        Effect size, majority mean minus minority mean in standard
        deviations. Give d or predictor_d.
    minority_share : float or array of float, optional
        Instead of N1: N2 / N in (0, 1); N1 = N - round(minority_share * N),
        halves rounded away from zero.
    selection_ratio : float or array of float, optional
        Instead of K: K / N in (0, 1); K = round(selection_ratio * N).
    predictor_d : array of float, optional
        Instead of d: the effect sizes of the predictors of one weighted
        composite, whose effect size is sum w_i d_i / sqrt(w' R w).
    weights : array of float, optional
        The predictors' weights (default: all 1).
    intercorrelations : array of float, optional
        The predictors' correlations: the upper triangle row by row
        (r12, r13, ..., r23, ...) or the whole matrix. Required with more
        than one predictor.
    alpha : float or array of float
        The two-sided level of the significance tests in the P_flag_*
        columns, in (0, 1); one-sided tests are taken at alpha / 2.
    threshold : float or array of float
        The four-fifths rule's threshold T in P_flag_four_fifths and the
        rules built on it, in (0, 1].
    groups : pandas.DataFrame or dict, optional
        Several groups (2 to 6) instead of a majority and a minority, one
        row per group, the reference group first: columns ``name``,
        ``share`` or ``count`` and ``d`` (the reference's mean minus the
        group's mean; the first 0). The same as group_names with
        group_shares or group_counts and group_d.
    group_names : sequence of str, optional
        The groups' names (letters, digits, underscores), the reference
        first; they become part of the column names.
    group_shares : array of float, optional
        Each group's share of the N applicants, adding up to 1; the counts
        are rounded by largest remainder so that they add up to N.
    group_counts : array of int, optional
        Instead of group_shares: each group's applicants (N, when given,
        must be their sum; by default it is).
    group_d : array of float, optional
        Each group's effect size, the first 0.
    selection : {"top-down", "cut-score"}, optional
        With groups: the K best are hired (the default; K or
        selection_ratio), or every score at or above a cut score passes
        (cut_score, or selection_ratio for the cut score whose expected
        pass rate it is).
    cut_score : float or array of float, optional
        The cut score in standard units above the reference group's mean;
        implies selection="cut-score".
    engine : {"fast", "nested"}
        The library's engine.
    grid : bool
        Cross the arguments' values instead of broadcasting them.
    jobs : int
        Worker threads, 0 to 256; 0 (the default) uses one per core, and no
        more than 8 per core are started.

    Returns
    -------
    pandas.DataFrame
        One row per scenario with kemro-grid's CSV columns, in its order
        (see summary_columns()): scenario (1-based), N, N1, N2, K, d, status,
        P_below_four_fifths, P_undefined, the expected rates and AI, the
        population values, the percentiles of AI, warnings, alpha, threshold,
        each rule's flag rate P_flag_<rule>, then engine_status (the fast
        engine's "converged", "subdivision_limit", "roundoff" or
        "bad_integrand"), error_estimate and evaluations (None and NaN for
        the nested engine) and population_status ("exact", "rate_underflow"
        or "ratio_overflow"). Undefined values, and the exact values of an
        abandoned scenario, are NaN.

        With groups, kemro-grid's several-group records instead: scenario,
        N, selection, K (NaN under a cut score), cut_score, N_<group> for
        each group, status, error_estimate, evaluations, expected_SR of the
        reference, then for each other group P_below_four_fifths_<g>
        (against the reference), P_below_four_fifths_vs_highest_<g>,
        expected_SR_<g> and expected_AI_<g>, then P_any_below_four_fifths
        and, under a cut score, expected_selected and P_none_selected. The
        scenarios are N by K, selection_ratio or cut_score.

    Raises
    ------
    ValueError
        A bad argument (named), arrays that do not broadcast, or a scenario
        the engine cannot compute (the library's reason, with its number).
    KeyboardInterrupt
        Ctrl-C; the scenarios running finish first.
    """
    group_arguments = dict(groups=groups, group_names=group_names, group_shares=group_shares,
                           group_counts=group_counts, group_d=group_d, selection=selection,
                           cut_score=cut_score)
    if any(value is not None for value in group_arguments.values()):
        others = dict(N1=N1, minority_share=minority_share, d=d, predictor_d=predictor_d,
                      weights=weights, intercorrelations=intercorrelations)
        for name, value in others.items():
            if value is not None:
                raise ValueError(f"{name} cannot be combined with the group arguments")
        if not (isinstance(alpha, float) and alpha == 0.05) or not (
                isinstance(threshold, float) and threshold == 0.8):
            raise ValueError("alpha and threshold do not apply to several groups")
        if engine != "fast":
            raise ValueError("the group arguments need engine=\"fast\"")
        return _group_summary(N, K, selection_ratio, grid, jobs, **group_arguments)
    if N is None:
        raise ValueError("N is required")
    _exactly_one(N1, "N1", minority_share, "minority_share")
    _exactly_one(K, "K", selection_ratio, "selection_ratio")
    _exactly_one(d, "d", predictor_d, "predictor_d")
    if predictor_d is None and (weights is not None or intercorrelations is not None):
        raise ValueError("weights and intercorrelations need predictor_d")
    engine = _engine(engine)
    grid = _flag(grid, "grid")
    jobs = _jobs(jobs)

    args = {"N": _counts(N, "N", lowest=2)}
    if N1 is not None:
        args["N1"] = _counts(N1, "N1")
    else:
        args["minority_share"] = _shares(minority_share, "minority_share")
    if K is not None:
        args["K"] = _counts(K, "K")
    else:
        args["selection_ratio"] = _shares(selection_ratio, "selection_ratio")
    if d is not None:
        args["d"] = _reals(d, "d")
    else:
        args["d"] = np.array(_composite_d(predictor_d, weights, intercorrelations))
    args["alpha"] = _alpha(alpha)
    args["threshold"] = _threshold(threshold)

    s = _spanned(args, grid)
    N1, K, N1_name, K_name = _derived_counts(s["N"], s.get("N1"), s.get("minority_share"),
                                             s.get("K"), s.get("selection_ratio"))
    frame = _frame(_kemro.summary(s["N"], N1, K, s["d"], s["alpha"], s["threshold"], engine, jobs,
                                  N1_name, K_name))
    _warn_summary(frame)
    return frame


def _group_design(groups, group_names, group_shares, group_counts, group_d):
    """(names, shares, counts, d) of the groups, from a table or from the vectors."""
    if groups is not None:
        for name, value in dict(group_names=group_names, group_shares=group_shares,
                                group_counts=group_counts, group_d=group_d).items():
            if value is not None:
                raise ValueError(f"{name} cannot be combined with groups")
        if isinstance(groups, dict):
            groups = pd.DataFrame(groups)
        if not isinstance(groups, pd.DataFrame):
            raise ValueError(f"groups must be a DataFrame or a dict of columns, not "
                             f"{type(groups).__name__}")
        for column in ("name", "d"):
            if column not in groups.columns:
                raise ValueError(f"groups must have a column {column!r}")
        if ("share" in groups.columns) == ("count" in groups.columns):
            raise ValueError("groups must have one of the columns 'share' and 'count'")
        group_names = groups["name"].tolist()
        group_shares = groups["share"].to_numpy() if "share" in groups.columns else None
        group_counts = groups["count"].to_numpy() if "count" in groups.columns else None
        group_d = groups["d"].to_numpy()
    if group_names is None:
        raise ValueError("group_names (or groups) is required with the group arguments")
    if isinstance(group_names, str) or not all(isinstance(n, str) for n in group_names):
        raise ValueError(f"group_names must be a sequence of texts, not {group_names!r}")
    _exactly_one(group_shares, "group_shares", group_counts, "group_counts")
    if group_d is None:
        raise ValueError("group_d is required with the group arguments")
    shares = (np.empty(0) if group_shares is None
              else _shares(group_shares, "group_shares").ravel())
    counts = (np.empty(0, dtype=np.int64) if group_counts is None
              else _counts(group_counts, "group_counts").ravel())
    return list(group_names), shares, counts, _reals(group_d, "group_d").ravel()


def _group_summary(N, K, selection_ratio, grid, jobs, groups, group_names, group_shares,
                   group_counts, group_d, selection, cut_score):
    """ai_summary with several groups (its arguments checked in this order)."""
    names, shares, counts, d = _group_design(groups, group_names, group_shares, group_counts,
                                             group_d)
    if selection is None:
        selection = "cut-score" if cut_score is not None else "top-down"
    if selection not in ("top-down", "cut-score"):
        raise ValueError(f"selection must be \"top-down\" or \"cut-score\", not {selection!r}")
    if selection == "top-down":
        if cut_score is not None:
            raise ValueError("cut_score needs selection=\"cut-score\"")
        _exactly_one(K, "K", selection_ratio, "selection_ratio")
    else:
        if K is not None:
            raise ValueError("selection=\"cut-score\" takes cut_score or selection_ratio, not K")
        _exactly_one(cut_score, "cut_score", selection_ratio, "selection_ratio")
    grid = _flag(grid, "grid")
    jobs = _jobs(jobs)
    if N is None:
        if counts.size == 0:
            raise ValueError("N is required with group_shares")
        N = counts.sum()
    args = {"N": _counts(N, "N", lowest=2)}
    if K is not None:
        args["K"] = _counts(K, "K")
    elif selection_ratio is not None:
        args["selection_ratio"] = _shares(selection_ratio, "selection_ratio")
    else:
        args["cut_score"] = _reals(cut_score, "cut_score")
    s = _spanned(args, grid)
    n = s["N"].size
    frame = _frame(_kemro.group_summary(
        names, shares, counts, d, selection, s["N"], s.get("K", np.zeros(n, dtype=np.int64)),
        s.get("selection_ratio", np.full(n, np.nan)), s.get("cut_score", np.full(n, np.nan)),
        jobs))
    abandoned = np.flatnonzero(frame["status"].to_numpy() == "abandoned")
    if abandoned.size:
        shown = ", ".join(str(int(frame["scenario"].iloc[i])) for i in abandoned[:10])
        warnings.warn(f"{abandoned.size} of {len(frame)} scenarios could not be computed "
                      f"(their values are NaN): scenario {shown}", KemroWarning, stacklevel=3)
    return frame


def ai_solve(target, solve_for="d", *, N=None, N1=None, K=None, d=None, minority_share=None,
             selection_ratio=None, alpha=0.05, threshold=0.8, engine="fast", jobs=0):
    """kemro-grid's planning solves: the design value at which a quantity reaches a target.

    Parameters
    ----------
    target : str
        "QUANTITY=VALUE" when solving for d, "QUANTITY<=VALUE" or
        "QUANTITY>=VALUE" otherwise; QUANTITY is a column of ai_summary such
        as P_below_four_fifths, expected_AI, AI_P50 or a rule's flag rate
        (P_flag_fisher, P_flag_z, ...).
    solve_for : {"d", "N", "minority_share", "selection_ratio"}
        The argument searched. For d, the bisection finds the d in the range
        ``d = (low, high)`` at which the quantity equals VALUE. For the
        others, the search finds the first value of the given range meeting
        the target and the value from which on every value meets it.
    N, N1, K, d, minority_share, selection_ratio : number or array
        The scenario as in ai_summary: N and d, one of N1 and minority_share,
        one of K and selection_ratio. The argument solved for gives the
        values to search (for d: its range, low and high); every other
        argument may hold several values, and there is one search per
        combination of them, N slowest and the threshold fastest.
    alpha, threshold : float or array of float
        The levels the rules decide at, as in ai_summary; several values
        give one search each.
    engine : {"fast", "nested"}
        The library's engine.
    jobs : int
        Worker threads, 0 to 256; 0 (the default) uses one per core, and no
        more than 8 per core are started.

    Returns
    -------
    pandas.DataFrame
        One row per search: the values of the other arguments (named
        applicants, majority, minority_share, hires, selection_ratio, d as in
        kemro-grid's records), solved_for, value, stable_from, quantity,
        target, quantity_at_value, status ("solved", "not reached",
        "abandoned", "evaluation limit"), evaluations, alpha and threshold.
        value, stable_from and quantity_at_value are NaN unless solved.

    Raises
    ------
    ValueError
        A bad argument or target, or a scenario the engine cannot compute.
    KeyboardInterrupt
        Ctrl-C; the scenarios running finish first.
    """
    if not isinstance(target, str):
        raise ValueError(f"target must be a text such as \"P_below_four_fifths<=0.1\", "
                         f"not {target!r}")
    if solve_for not in SOLVABLE:
        raise ValueError(f"solve_for must be one of {', '.join(SOLVABLE)}, not {solve_for!r}")
    bounded = "<=" in target or ">=" in target
    if solve_for == "d" and bounded:
        raise ValueError("solving for d needs a target QUANTITY=VALUE")
    if solve_for != "d" and not bounded:
        raise ValueError(f"solving for {solve_for} needs a target QUANTITY<=VALUE or "
                         "QUANTITY>=VALUE")
    engine = _engine(engine)
    jobs = _jobs(jobs)
    if N is None:
        raise ValueError("N is required")
    if d is None:
        raise ValueError("d is required")
    _exactly_one(N1, "N1", minority_share, "minority_share")
    _exactly_one(K, "K", selection_ratio, "selection_ratio")
    given = {"N": N, "N1": N1, "minority_share": minority_share, "K": K,
             "selection_ratio": selection_ratio, "d": d}
    if given[solve_for] is None:
        raise ValueError(f"{solve_for} must give the values to search, as solve_for is "
                         f"{solve_for!r}")
    checks = {"N": lambda x: _counts(x, "N", lowest=2), "N1": lambda x: _counts(x, "N1"),
              "K": lambda x: _counts(x, "K"),
              "minority_share": lambda x: _shares(x, "minority_share"),
              "selection_ratio": lambda x: _shares(x, "selection_ratio"),
              "d": lambda x: _reals(x, "d")}
    checked = {name: checks[name](x).ravel() for name, x in given.items() if x is not None}
    checked["alpha"] = _alpha(alpha).ravel()
    checked["threshold"] = _threshold(threshold).ravel()
    if solve_for == "d":
        if checked["d"].size != 2 or not checked["d"][0] < checked["d"][1]:
            raise ValueError("d must be the range to search, two values (low, high) with "
                             "low < high")

    # One search per combination of the other arguments' values, N slowest.
    others = {name: a for name, a in checked.items() if name != solve_for}
    grid = dict(zip(others, (m.ravel() for m in np.meshgrid(*others.values(), indexing="ij"))))
    searches = len(next(iter(grid.values())))

    def scenarios(rows, values):
        """The scenario of each search in `rows` with the solved argument at `values`."""
        s = {name: a[rows] for name, a in grid.items()}
        s[solve_for] = values
        N1, K, N1_name, K_name = _derived_counts(s["N"], s.get("N1"), s.get("minority_share"),
                                                 s.get("K"), s.get("selection_ratio"))
        return s["N"].astype(np.int64), N1, K, s["d"], s["alpha"], s["threshold"]

    if solve_for == "d":
        low, high = checked["d"]
        n, n1, k, _, a, t = scenarios(np.arange(searches), np.full(searches, low))
        raw = _kemro.solve_d(n, n1, k, a, t, float(low), float(high), target, engine, jobs)
    else:
        values = checked[solve_for]
        rows = np.repeat(np.arange(searches), values.size)
        searched = np.tile(values, searches)
        n, n1, k, effect, a, t = scenarios(rows, searched)
        raw = _kemro.solve_discrete(rows + 1, searched.astype(np.float64), n, n1, k, effect, a, t,
                                    target, engine, jobs)

    # The model's arguments first; the rules' levels close the record, as in kemro-grid.
    frame = _frame({SOLVE_FIELDS[name]: a for name, a in grid.items()
                    if name not in ("alpha", "threshold")})
    frame["solved_for"] = SOLVE_OPTION_NAMES[solve_for]
    for name in ("value", "stable_from", "quantity", "target", "quantity_at_value", "status",
                 "evaluations"):
        frame[name] = raw[name]
    frame["alpha"] = grid["alpha"]
    frame["threshold"] = grid["threshold"]
    unsolved = frame["status"].isin(["abandoned", "evaluation limit"])
    if unsolved.any():
        statuses = ", ".join(sorted(set(frame["status"][unsolved])))
        warnings.warn(f"{int(unsolved.sum())} of {searches} searches ended early: {statuses}",
                      KemroWarning, stacklevel=2)
    return frame


def _observed_levels(d, alpha, threshold):
    """The d values, alpha and threshold of ai_observed, checked."""
    d = _reals(d, "d").ravel()
    alpha = float(_scalar(_reals(alpha, "alpha"), "alpha"))
    if not 0 < alpha < 1:
        raise ValueError(f"alpha must lie strictly between 0 and 1, not {alpha!r}")
    return d, alpha, float(_scalar(_threshold(threshold), "threshold"))


def _group_name(x, name, names):
    """`x` as one of the groups' names ("" for None), or ValueError naming the argument."""
    if x is None:
        return ""
    if not isinstance(x, str):
        raise ValueError(f"{name} must be one group's name, not {x!r}")
    if x not in names:
        shown = ", ".join(repr(n) for n in names)
        raise ValueError(f"{name} {x!r} is not a group; the groups are {shown}")
    return x


def _observed_groups(groups, group_names, group_applicants, group_hires, reference, minority,
                     d, alpha, threshold):
    """ai_observed with several groups (its arguments checked in this order)."""
    if groups is not None:
        for name, value in dict(group_names=group_names, group_applicants=group_applicants,
                                group_hires=group_hires).items():
            if value is not None:
                raise ValueError(f"{name} cannot be combined with groups")
        if isinstance(groups, dict):
            groups = pd.DataFrame(groups)
        if not isinstance(groups, pd.DataFrame):
            raise ValueError(f"groups must be a DataFrame or a dict of columns, not "
                             f"{type(groups).__name__}")
        for column in ("name", "applicants", "hires"):
            if column not in groups.columns:
                raise ValueError(f"groups must have a column {column!r}")
        group_names = groups["name"].tolist()
        group_applicants = groups["applicants"].to_numpy()
        group_hires = groups["hires"].to_numpy()
    for name, value in dict(group_names=group_names, group_applicants=group_applicants,
                            group_hires=group_hires).items():
        if value is None:
            raise ValueError(f"{name} is required with several groups")
    if isinstance(group_names, str) or not all(isinstance(n, str) and n for n in group_names):
        raise ValueError(f"group_names must be a sequence of non-empty texts, not {group_names!r}")
    names = list(group_names)
    if len(set(names)) != len(names):
        raise ValueError("group_names must not repeat a name")
    applicants = _counts(group_applicants, "group_applicants").ravel()
    hires = _counts(group_hires, "group_hires", lowest=0).ravel()
    for name, array in (("group_applicants", applicants), ("group_hires", hires)):
        if array.size != len(names):
            raise ValueError(f"{name} has {array.size} values for {len(names)} groups")
    over = np.flatnonzero(hires > applicants)
    if over.size:
        g = int(over[0])
        raise ValueError(f"group_hires must not exceed group_applicants: group {names[g]!r} has "
                         f"{hires[g]} of {applicants[g]}")
    reference = _group_name(reference, "reference", names)
    minority = _group_name(minority, "minority", names)
    d, alpha, threshold = _observed_levels(d, alpha, threshold)
    frame = _frame(_kemro.observed_groups(names, applicants, hires, reference, minority, d, alpha,
                                          threshold))
    troubled = frame["status"] != "converged"
    if troubled.any():
        statuses = ", ".join(sorted(set(frame["status"][troubled])))
        warnings.warn(f"the estimates of d did not all converge: status {statuses}",
                      KemroWarning, stacklevel=3)
    return frame


def ai_observed(N=None, N1=None, K=None, S=None, *, d=0.0, alpha=0.05, threshold=0.8,
                groups=None, group_names=None, group_applicants=None, group_hires=None,
                reference=None, minority=None):
    """kemro-observed's analysis of actual hiring decisions, one row per decision and d.

    N, N1, K and S may be arrays that broadcast against each other; each of
    their elements is one decision. Every decision is checked before any is
    analysed.

    Parameters
    ----------
    N : int or array of int
        Applicants.
    N1 : int or array of int
        Majority applicants, 1 <= N1 <= N - 1.
    K : int or array of int
        Hires, 1 <= K <= N - 1.
    S : int or array of int
        Minority hires, max(0, K - N1) <= S <= min(K, N - N1).
    d : float or array of float
        The model effect sizes at which P(S <= s | d) and P(AI <= AI | d) are
        reported; each decision gets one row per d, in this order.
    alpha : float
        1 - the confidence level of the exact interval for d and of the
        impact ratio's interval, and the two-sided level of the rules'
        tests, in (0, 1).
    threshold : float
        The four-fifths rule's threshold, in (0, 1].
    groups : pandas.DataFrame or dict, optional
        Instead of N, N1, K and S: several groups of one decision, one row
        per group with the columns ``name``, ``applicants`` and ``hires``.
    group_names, group_applicants, group_hires : sequences, optional
        The same as three sequences in one order.
    reference : str, optional
        The group the others are compared with; by default the group with
        the highest selection rate (the first of equal ones).
    minority : str, optional
        The one group compared with the reference; by default every other.

    Returns
    -------
    pandas.DataFrame
        kemro-observed's CSV columns, in its order (see observed_columns()):
        the counts, SRA, SRI, AI, four_fifths_violated, shortfall, the Z and
        Fisher tests, d, the model probabilities, d_ml, the interval
        d_lower..d_upper, alpha, status, then the mid-P and log-ratio tests,
        the impact ratio's interval AI_lower..AI_upper (with
        AI_interval_missing saying why it is missing), whether the
        violation survives moving one hire, threshold, and for each rule
        flags_<rule> and false_flag_rate_<rule>. An undefined AI is NaN; an
        unbounded end of the interval is -inf or +inf.

        With groups, one row per group compared and d, for the counts of
        that group (the minority) and the reference (the majority) alone,
        ending in group, reference and P_any_flag_fair (the probability
        that a selection treating every set of K hires alike puts some
        group below four fifths of the highest rate), as kemro-observed's
        records of applicant data.

    Raises
    ------
    ValueError
        A bad argument, or a decision the library refuses (its reason, with
        the decision's number).
    KeyboardInterrupt
        Ctrl-C, between two decisions.
    """
    if groups is not None or group_names is not None or group_applicants is not None or (
            group_hires is not None):
        for name, value in dict(N=N, N1=N1, K=K, S=S).items():
            if value is not None:
                raise ValueError(f"{name} cannot be combined with several groups")
        return _observed_groups(groups, group_names, group_applicants, group_hires, reference,
                                minority, d, alpha, threshold)
    if reference is not None or minority is not None:
        raise ValueError("reference and minority need several groups")
    for name, value in dict(N=N, N1=N1, K=K, S=S).items():
        if value is None:
            raise ValueError(f"{name} is required")
    counts = {"N": _counts(N, "N", lowest=2), "N1": _counts(N1, "N1"), "K": _counts(K, "K"),
              "S": _counts(S, "S", lowest=0)}
    d, alpha, threshold = _observed_levels(d, alpha, threshold)
    decisions = _spanned(counts, grid=False).values()
    frame = _frame(_kemro.observed(*decisions, d, alpha, threshold))
    troubled = frame["status"] != "converged"
    if troubled.any():
        statuses = ", ".join(sorted(set(frame["status"][troubled])))
        warnings.warn(f"the estimates of d did not all converge: status {statuses}",
                      KemroWarning, stacklevel=2)
    return frame
