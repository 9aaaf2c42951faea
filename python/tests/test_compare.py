"""The package's numbers against the programs and an independent reference:
ai_summary equals kemro-grid's CSV, ai_solve its solve records and
ai_observed kemro-observed's CSV, every value to the last bit, on a table of
scenarios; at d = 0 the distribution is scipy's hypergeometric."""

import numpy as np
import pandas as pd
import pytest
import scipy.stats

import kemro
from conftest import assert_column_equals_text, run_program

# (kemro-grid's options, ai_summary's arguments for the same scenarios).
SUMMARY_CASES = [
    (["--applicants", "20,57", "--minority-share", "0.3", "--selection-ratio", "0.1,0.5",
      "--d", "-0.5,0,1.25"],
     dict(N=[20, 57], minority_share=0.3, selection_ratio=[0.1, 0.5], d=[-0.5, 0, 1.25],
          grid=True)),
    (["--applicants", "30", "--majority", "24", "--hires", "6", "--d", "0.3,2",
      "--engine", "nested"],
     dict(N=30, N1=24, K=6, d=[0.3, 2], engine="nested")),
    # Few majority applicants: the ratio is often undefined.
    (["--applicants", "10", "--majority", "1,2", "--hires", "8", "--d", "1"],
     dict(N=10, N1=[1, 2], K=8, d=1, grid=True)),
    (["--applicants", "400", "--majority", "300", "--hires", "40", "--predictor-d", "1,0.5,0.2",
      "--weights", "1,2,1", "--intercorrelations", "0.3,0.1,0.4"],
     dict(N=400, N1=300, K=40, predictor_d=[1, 0.5, 0.2], weights=[1, 2, 1],
          intercorrelations=[0.3, 0.1, 0.4])),
    # The rules' levels as lists, crossed after d.
    (["--applicants", "60", "--majority", "45", "--hires", "12", "--d", "0,0.5",
      "--alpha", "0.01,0.1", "--threshold", "0.75,1"],
     dict(N=60, N1=45, K=12, d=[0, 0.5], alpha=[0.01, 0.1], threshold=[0.75, 1], grid=True)),
]


@pytest.mark.parametrize("options, arguments", SUMMARY_CASES)
def test_summary_equals_kemro_grid_csv(options, arguments):
    expected = run_program("KEMRO_GRID", options)
    frame = kemro.ai_summary(**arguments)
    assert list(frame.columns) == list(expected), options
    for name in frame.columns:
        assert_column_equals_text(name, frame[name].tolist(), expected[name])


# (kemro-grid's group options, ai_summary's group arguments for the same scenarios).
GROUP_CASES = [
    (["--group-names", "White,Black,Hispanic", "--group-counts", "43,19,15", "--group-d",
      "0,1,0.5", "--hires", "10,20"],
     dict(group_names=["White", "Black", "Hispanic"], group_counts=[43, 19, 15],
          group_d=[0, 1, 0.5], K=[10, 20])),
    (["--group-names", "A,B,C,D", "--group-shares", "0.6,0.2,0.12,0.08", "--group-d",
      "0,1,0.7,0.3", "--applicants", "50,120", "--selection-ratio", "0.1,0.3"],
     dict(groups=pd.DataFrame(dict(name=list("ABCD"), share=[0.6, 0.2, 0.12, 0.08],
                                   d=[0, 1, 0.7, 0.3])),
          N=[50, 120], selection_ratio=[0.1, 0.3], grid=True)),
    (["--group-names", "W,B,H", "--group-counts", "43,19,15", "--group-d", "0,1,0.5",
      "--cut-score", "-0.5,0.5"],
     dict(groups=dict(name=["W", "B", "H"], count=[43, 19, 15], d=[0, 1, 0.5]),
          cut_score=[-0.5, 0.5])),
    (["--group-names", "R,O", "--group-shares", "0.7,0.3", "--group-d", "0,0.8",
      "--applicants", "40,90", "--selection", "cut-score", "--selection-ratio", "0.25"],
     dict(group_names=["R", "O"], group_shares=[0.7, 0.3], group_d=[0, 0.8], N=[40, 90],
          selection="cut-score", selection_ratio=0.25)),
]


@pytest.mark.parametrize("options, arguments", GROUP_CASES)
def test_group_summary_equals_kemro_grid_csv(options, arguments):
    expected = run_program("KEMRO_GRID", options)
    frame = kemro.ai_summary(**arguments)
    assert list(frame.columns) == list(expected), options
    for name in frame.columns:
        assert_column_equals_text(name, frame[name].tolist(), expected[name])


# (kemro-grid's options, ai_solve's arguments for the same searches).
SOLVE_CASES = [
    (["--applicants", "100,200", "--majority", "80", "--hires", "20", "--d", "0:2",
      "--solve", "d", "--target", "P_below_four_fifths=0.5"],
     dict(target="P_below_four_fifths=0.5", N=[100, 200], N1=80, K=20, d=[0, 2])),
    (["--applicants", "50:500:10", "--minority-share", "0.2", "--selection-ratio", "0.2",
      "--d", "0,0.2", "--solve", "applicants", "--target", "P_below_four_fifths<=0.3"],
     dict(target="P_below_four_fifths<=0.3", solve_for="N", N=np.arange(50, 501, 10),
          minority_share=0.2, selection_ratio=0.2, d=[0, 0.2])),
    # A rule's detection rate as the target, at two levels.
    (["--applicants", "50:400:50", "--minority-share", "0.3", "--selection-ratio", "0.2",
      "--d", "0.8", "--alpha", "0.05,0.2", "--solve", "applicants", "--target",
      "P_flag_fisher>=0.5"],
     dict(target="P_flag_fisher>=0.5", solve_for="N", N=np.arange(50, 401, 50),
          minority_share=0.3, selection_ratio=0.2, d=0.8, alpha=[0.05, 0.2])),
    (["--applicants", "200", "--majority", "150", "--hires", "30", "--d", "0:2",
      "--threshold", "0.9", "--solve", "d", "--target", "P_flag_four_fifths_flip=0.5"],
     dict(target="P_flag_four_fifths_flip=0.5", N=200, N1=150, K=30, d=[0, 2], threshold=0.9)),
]


@pytest.mark.parametrize("options, arguments", SOLVE_CASES)
def test_solve_equals_kemro_grid_csv(options, arguments):
    expected = run_program("KEMRO_GRID", options)
    frame = kemro.ai_solve(**arguments)
    assert list(frame.columns) == list(expected), options
    for name in frame.columns:
        assert_column_equals_text(name, frame[name].tolist(), expected[name])


# Decisions (N, N1, K, S) with d values: an ordinary one, one without a
# majority hire (AI undefined), one at the smallest S (an unbounded end).
# The last decision at other rule levels.
OBSERVED_CASES = [
    ((100, 80, 20, 2), [0, 0.5], {}),
    ((12, 3, 9, 6), [0.25], {}),
    ((40, 30, 10, 0), [-1, 0, 1], {}),
    ((77, 43, 19, 3), [0], dict(alpha=0.1, threshold=0.9)),
]


@pytest.mark.parametrize("counts, d, levels", OBSERVED_CASES)
def test_observed_equals_kemro_observed_csv(counts, d, levels):
    N, N1, K, S = counts
    options = [f"--{name}={value}" for name, value in levels.items()]
    expected = run_program("KEMRO_OBSERVED", [
        "--applicants", str(N), "--majority", str(N1), "--hires", str(K),
        "--minority-hires", str(S), "--d", ",".join(map(str, d)), *options])
    frame = kemro.ai_observed(N, N1, K, S, d=d, **levels)
    assert list(frame.columns) == list(expected)
    for name in frame.columns:
        assert_column_equals_text(name, frame[name].tolist(), expected[name])


# (kemro-observed's options for applicant data, ai_observed's group arguments).
GROUP_OBSERVED_CASES = [
    (["--d", "0,0.5"], dict(d=[0, 0.5])),
    (["--reference", "Hispanic", "--alpha", "0.1", "--threshold", "0.9"],
     dict(reference="Hispanic", alpha=0.1, threshold=0.9)),
    (["--minority", "Black"], dict(minority="Black")),
]
GROUPS = dict(name=["White", "Black", "Hispanic"], applicants=[43, 19, 15], hires=[10, 2, 3])


@pytest.mark.parametrize("options, arguments", GROUP_OBSERVED_CASES)
def test_observed_groups_equal_kemro_observed_on_applicant_data(options, arguments, tmp_path):
    rows = ["group,hired"]
    for name, applicants, hires in zip(*GROUPS.values()):
        rows += [f"{name},{int(i < hires)}" for i in range(applicants)]
    data = tmp_path / "applicants.csv"
    data.write_text("\n".join(rows) + "\n")
    expected = run_program("KEMRO_OBSERVED", [
        "--applicant-data", str(data), "--group-column", "group", "--hired-column", "hired",
        *options])
    frame = kemro.ai_observed(groups=pd.DataFrame(GROUPS), **arguments)
    assert list(frame.columns) == list(expected)
    for name in frame.columns:
        assert_column_equals_text(name, frame[name].tolist(), expected[name])


def test_observed_rows_are_the_decisions_one_by_one():
    together = kemro.ai_observed([100, 40], [80, 30], [20, 10], [2, 0], d=[0, 1])
    apart = [kemro.ai_observed(100, 80, 20, 2, d=[0, 1]), kemro.ai_observed(40, 30, 10, 0, d=[0, 1])]
    pd.testing.assert_frame_equal(together, pd.concat(apart, ignore_index=True))


# The nested engine takes seconds at N = 300, so only the fast one goes there.
@pytest.mark.parametrize("N, N1, K, engine", [(20, 15, 5, "fast"), (20, 15, 5, "nested"),
                                              (57, 9, 30, "fast"), (57, 9, 30, "nested"),
                                              (300, 200, 100, "fast")])
def test_distribution_at_d_zero_is_hypergeometric(N, N1, K, engine):
    frame = kemro.ai_distribution(N, N1, K, 0, engine=engine)
    S = frame["minority_hires"].to_numpy()
    reference = scipy.stats.hypergeom(N, N - N1, K)
    assert S.tolist() == list(range(max(0, K - N1), min(K, N - N1) + 1))
    # The fast engine sums exactly formed terms; the nested engine integrates,
    # to about 1e-9 absolutely.
    tolerance = dict(rtol=1e-9, atol=1e-15) if engine == "fast" else dict(rtol=0, atol=1e-8)
    np.testing.assert_allclose(frame["probability"], reference.pmf(S), **tolerance)
    np.testing.assert_allclose(frame["cumulative"], reference.cdf(S), **tolerance)
    # The summary in .attrs is that of ai_summary for the same scenario.
    summary = kemro.ai_summary(N, N1, K, 0, engine=engine).iloc[0].to_dict()
    assert frame.attrs["P_below_four_fifths"] == summary["P_below_four_fifths"]
    below = frame["AI"] < 0.8
    np.testing.assert_allclose(frame.attrs["P_below_four_fifths"],
                               reference.pmf(S[below]).sum(), **tolerance)
