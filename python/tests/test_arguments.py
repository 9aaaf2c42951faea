"""How the package takes its arguments: broadcasting and grids, refusals of
bad input before anything is computed, the column catalogues, and Ctrl-C
during a long computation that runs without the interpreter's lock."""

import os
import signal
import threading
import time

import numpy as np
import pandas as pd
import pytest

import kemro


def test_arguments_broadcast_like_numpy_in_c_order():
    frame = kemro.ai_summary(np.array([[60], [90]]), 45, [10, 20, 30], 0.4)
    assert frame["N"].tolist() == [60, 60, 60, 90, 90, 90]
    assert frame["K"].tolist() == [10, 20, 30] * 2
    assert frame["scenario"].tolist() == list(range(1, 7))
    one = kemro.ai_summary(90, 45, 20, 0.4)
    # Each row is what the scenario gives alone (its index aside).
    row = frame.iloc[4].drop("scenario")
    pd.testing.assert_series_equal(row, one.iloc[0].drop("scenario"), check_names=False)


def test_grid_crosses_the_values_N_outermost_d_fastest():
    frame = kemro.ai_summary([40, 80], minority_share=[0.25, 0.5], K=10, d=[0, 1], grid=True)
    assert frame["N"].tolist() == [40] * 4 + [80] * 4
    assert frame["N2"].tolist() == [10, 10, 20, 20, 20, 20, 40, 40]
    assert frame["d"].tolist() == [0, 1] * 4


def test_shares_round_halves_away_from_zero():
    # 0.25 * 10 = 2.5 and 0.35 * 10 = 3.5 both round up, as in kemro-grid.
    frame = kemro.ai_summary(10, minority_share=[0.25, 0.35], selection_ratio=0.25, d=0)
    assert frame["N2"].tolist() == [3, 4]
    assert frame["K"].tolist() == [3, 3]


def test_catalogues_name_every_column():
    frame = kemro.ai_summary(50, 40, 10, 0.5)
    assert list(frame.columns) == kemro.summary_columns()["name"].tolist()
    observed = kemro.ai_observed(50, 40, 10, 1)
    assert list(observed.columns) == kemro.observed_columns()["name"].tolist()
    assert frame["status"].tolist() == ["computed"]


NAN, INF = float("nan"), float("inf")
# (function, arguments, a part of the message).
BAD_INPUT = [
    (kemro.ai_summary, dict(N=NAN, N1=5, K=2, d=0), "N must not be NaN"),
    (kemro.ai_summary, dict(N=10, N1=5, K=2, d=INF), "d must be finite, not inf"),
    (kemro.ai_summary, dict(N=10, N1=5, K=[2, -1], d=0), "K must be at least 1 and below 2^31, not -1 (index 1)"),
    (kemro.ai_summary, dict(N=10, N1=5.5, K=2, d=0), "N1 must hold whole numbers, not 5.5"),
    (kemro.ai_summary, dict(N=2**40, N1=5, K=2, d=0), "N must be at least 2 and below 2^31"),
    (kemro.ai_summary, dict(N="100", N1=5, K=2, d=0), "N must be numeric, not the text '100'"),
    (kemro.ai_summary, dict(N=10, N1=["5"], K=2, d=0), "N1 must be numeric"),
    (kemro.ai_summary, dict(N=10, N1=5, K=2, d=[0, None]), "d must hold numbers, not None"),
    (kemro.ai_summary, dict(N=10, N1=5, K=2, d=[]), "d must not be empty"),
    (kemro.ai_summary, dict(N=10, N1=5, K=[2, 3], d=[0, 1, 2]), "do not broadcast"),
    (kemro.ai_summary, dict(N=10, N1=10, K=2, d=0), "scenario 1: N1 = 10 is not between 1 and N - 1 = 9"),
    (kemro.ai_summary, dict(N=10, minority_share=0.01, K=2, d=0), "N1 = N - round(minority_share * N)"),
    (kemro.ai_summary, dict(N=10, minority_share=1.5, K=2, d=0), "minority_share must lie strictly between 0 and 1"),
    (kemro.ai_summary, dict(N=10, N1=5, K=2, d=0, minority_share=0.5), "exactly one of N1 and minority_share"),
    (kemro.ai_summary, dict(N=10, N1=5, K=2, d=0, engine="slow"), "engine must be"),
    (kemro.ai_summary, dict(N=10, N1=5, K=2, d=0, grid="yes"), "grid must be True or False"),
    (kemro.ai_summary, dict(N=10, N1=5, K=2, d=0, jobs=-1), "jobs must be at least 0"),
    (kemro.ai_summary, dict(N=10, N1=5, K=2, d=0, jobs=257), "jobs must lie between 0 (one per core) and 256, not 257"),
    (kemro.ai_summary, dict(group_names=["A", "B"], group_counts=[5, 5], group_d=[0, 1], K=2, jobs=257), "and 256, not 257"),
    (kemro.ai_solve, dict(target="P_below_four_fifths=0.1", N=10, N1=5, K=2, d=[0, 1], jobs=257), "and 256, not 257"),
    (kemro.ai_summary, dict(N=10, N1=5, K=2, predictor_d=[1, 0.5]), "intercorrelations is required"),
    (kemro.ai_summary, dict(N=10, N1=5, K=2, predictor_d=[1, 0.5], intercorrelations=[1.5]), "intercorrelations:"),
    (kemro.ai_summary, dict(N=10, N1=5, K=2, d=0, alpha=[0.05, 1]), "alpha must lie strictly between 0 and 1, not 1.0 (index 1)"),
    (kemro.ai_summary, dict(N=10, N1=5, K=2, d=0, threshold=NAN), "threshold must not be NaN"),
    (kemro.ai_summary, dict(N=10, N1=5, K=2, d=0, threshold=0), "threshold must lie above 0 and at most 1"),
    (kemro.ai_solve, dict(target="P_flag_z>=0.5", solve_for="N", N=[10, 20], N1=5, K=2, d=1, threshold=1.2), "threshold must lie above 0"),
    (kemro.ai_observed, dict(N=10, N1=5, K=3, S=1, threshold=[0.8, 0.9]), "threshold must be a single value"),
    (kemro.ai_summary, dict(group_names=["A", "B"], group_counts=[5, 5], group_d=[0, 1], K=2, d=0), "d cannot be combined with the group arguments"),
    (kemro.ai_summary, dict(group_names=["A", "A"], group_counts=[5, 5], group_d=[0, 1], K=2), "group_names: "),
    (kemro.ai_summary, dict(group_names=["A", "B"], group_shares=[0.5, 0.6], group_d=[0, 1], N=10, K=2), "group_shares: "),
    (kemro.ai_summary, dict(group_names=["A", "B"], group_counts=[5, 5], group_d=[0.5, 1], K=2), "group_d: "),
    (kemro.ai_summary, dict(group_names=["A", "B"], group_counts=[5, 5], group_d=[0, NAN], K=2), "group_d must not be NaN"),
    (kemro.ai_summary, dict(group_names=["A", "B"], group_counts=[5, 5], group_d=[0, 1], N=12, K=2), "scenario 1 (N = 12): the counts add up to 10"),
    (kemro.ai_summary, dict(group_names=["A", "B"], group_counts=[5, 5], group_d=[0, 1], cut_score=INF), "cut_score must be finite"),
    (kemro.ai_summary, dict(group_names=["A", "B"], group_counts=[5, 5], group_d=[0, 1], K=2, selection="cut-score"), "takes cut_score or selection_ratio, not K"),
    (kemro.ai_summary, dict(groups=dict(name=["A", "B"], d=[0, 1]), K=2), "one of the columns 'share' and 'count'"),
    (kemro.ai_summary, dict(group_names=["A", "B"], group_shares=[0.5, 0.5], group_d=[0, 1], K=2), "N is required with group_shares"),
    (kemro.ai_observed, dict(N=10, groups=dict(name=["A", "B"], applicants=[10, 5], hires=[3, 1])), "N cannot be combined with several groups"),
    (kemro.ai_observed, dict(group_names=["A", "B"], group_applicants=[10, 5], group_hires=[3, 1], reference="C"), "reference 'C' is not a group; the groups are 'A', 'B'"),
    (kemro.ai_observed, dict(group_names=["A", "B"], group_applicants=[10, 5], group_hires=[3, 6]), "group_hires must not exceed group_applicants: group 'B' has 6 of 5"),
    (kemro.ai_observed, dict(group_names=["A", "B"], group_applicants=[10, 5, 3], group_hires=[3, 1]), "group_applicants has 3 values for 2 groups"),
    (kemro.ai_observed, dict(group_names=["A", "B"], group_applicants=[10, NAN], group_hires=[3, 1]), "group_applicants must not be NaN"),
    (kemro.ai_observed, dict(group_names=["A", "B"], group_applicants=[10, 5], group_hires=[0, 0]), "B against A: "),
    (kemro.ai_observed, dict(N=10, N1=5, K=3, S=1, minority="A"), "reference and minority need several groups"),
    (kemro.ai_distribution, dict(N=10, N1=5, K=[2, 3], d=0), "K must be a single value"),
    (kemro.ai_distribution, dict(N=10, N1=5, K=True, d=0), "K must be numeric, not True"),
    (kemro.ai_observed, dict(N=10, N1=5, K=3, S=4), "decision 1: S = 4"),
    (kemro.ai_observed, dict(N=10, N1=5, K=3, S=1, alpha=1), "alpha must lie strictly between 0 and 1"),
    (kemro.ai_solve, dict(target="P_below=0.1", N=10, N1=5, K=2, d=[0, 1]), "target:"),
    (kemro.ai_solve, dict(target="P_below_four_fifths=0.1", N=10, N1=5, K=2, d=[1, 0]), "d must be the range"),
    (kemro.ai_solve, dict(target="P_below_four_fifths=0.1", solve_for="N", N=10, N1=5, K=2, d=0), "needs a target QUANTITY<=VALUE"),
]


@pytest.mark.parametrize("function, arguments, message", BAD_INPUT)
def test_bad_input_is_a_value_error_naming_it(function, arguments, message):
    with pytest.raises(ValueError) as raised:
        function(**arguments)
    assert message in str(raised.value), (arguments, str(raised.value))


# Long runs: hundreds of nested-engine scenarios, and four equal groups at
# K = N/2 (each scenario a large part of a second).
LONG_RUNS = [
    dict(N=300, N1=200, K=np.arange(1, 299), d=0.5, engine="nested", jobs=2),
    dict(group_names=list("ABCD"), group_shares=[0.25] * 4, group_d=[0, 0.2, 0.4, 0.6],
         N=np.arange(4000, 4200, 2), selection_ratio=0.5, jobs=2),
]


@pytest.mark.parametrize("arguments", LONG_RUNS)
def test_ctrl_c_stops_a_long_grid_between_scenarios(arguments):
    # The interrupt is sent by a Python thread, which runs only because the
    # computation does not hold the interpreter's lock.
    timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
    started = time.monotonic()
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            kemro.ai_summary(**arguments)
    finally:
        timer.cancel()
    assert time.monotonic() - started < 30
    # The package is usable again afterwards.
    assert kemro.ai_summary(20, 10, 5, 0)["status"].tolist() == ["computed"]
