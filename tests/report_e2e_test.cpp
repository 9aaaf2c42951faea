// Whole reports of build/kemro for a set of problems, compared line by line
// with stored reports; and the stored reports' numbers checked against an
// independent high-accuracy computation, so that they are known to be right
// and not merely unchanged.
#include <gsl/gsl_cdf.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_roots.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "report/record_writer.hpp"
#include "tests/support/kemro_process.hpp"
#include "tests/support/reference.hpp"
#include "tests/support/report_compare.hpp"

namespace kemro::testing {
namespace {

struct Problem {
  const char* file;
  int N, N1, K;
  double d;
  const char* d_answer;
};

// K <= N1 and K <= N2; K > N1; K > N2; K = N; a negative d; d = 0.
const Problem PROBLEMS[] = {
    {"both_groups_large.txt", 30, 18, 6, 0.5, "0.5"},
    {"hires_exceed_majority.txt", 12, 4, 6, 1.0, "1.0"},
    {"hires_exceed_minority.txt", 25, 20, 8, 1.0, "1"},
    {"k_equals_n.txt", 10, 6, 10, 0.5, ".5"},
    {"negative_effect.txt", 40, 30, 10, -0.5, "-5e-1"},
    {"no_effect.txt", 100, 80, 20, 0.0, "0"},
};

void PrintTo(const Problem& p, std::ostream* os) { *os << p.file; }

// What a report states, read back from its text.
struct Row {
  double ai, prob, cprob;
  int ny, nx;
};
struct StatedValues {
  std::vector<Row> rows;
  std::array<double, 3> expected{};
  std::array<double, 7> percentiles{};
  std::array<double, 3> population{};
};

StatedValues parse_report(const std::string& text) {
  const auto lines = split_lines(text);
  StatedValues v;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == "AIvalue    Prob   CProb     N2     N1") {
      for (std::size_t j = i + 1; j < lines.size() && !lines[j].empty(); ++j) {
        Row r{};
        EXPECT_EQ(std::sscanf(lines[j].c_str(), "%lf %lf %lf %d %d", &r.ai, &r.prob, &r.cprob,
                              &r.ny, &r.nx),
                  5);
        v.rows.push_back(r);
      }
    } else if (lines[i] == "      SRA      SRI       AI" && i + 1 < lines.size()) {
      auto& target = lines[i - 1].empty() ? v.expected : v.population;
      EXPECT_EQ(
          std::sscanf(lines[i + 1].c_str(), "%lf %lf %lf", &target[0], &target[1], &target[2]), 3);
    } else if (lines[i].rfind("    P05", 0) == 0 && i + 1 < lines.size()) {
      auto& p = v.percentiles;
      EXPECT_EQ(std::sscanf(lines[i + 1].c_str(), "%lf %lf %lf %lf %lf %lf %lf", &p[0], &p[1],
                            &p[2], &p[3], &p[4], &p[5], &p[6]),
                7);
    }
  }
  return v;
}

// Population cutoff solved independently: r Q(u - d) + (1 - r) Q(u) = K/N.
std::array<double, 3> population_values(const Problem& p) {
  struct Params {
    double r, d, ratio;
  } params{double(p.N1) / p.N, p.d, double(p.K) / p.N};
  gsl_function f{[](double u, void* raw) {
                   const auto* q = static_cast<Params*>(raw);
                   return q->r * gsl_cdf_ugaussian_Q(u - q->d) +
                          (1 - q->r) * gsl_cdf_ugaussian_Q(u) - q->ratio;
                 },
                 &params};
  if (GSL_FN_EVAL(&f, -8.0) * GSL_FN_EVAL(&f, 8.0) > 0) return {1.0, 1.0, 1.0};  // K = N
  gsl_root_fsolver* s = gsl_root_fsolver_alloc(gsl_root_fsolver_brent);
  gsl_root_fsolver_set(s, &f, -8.0, 8.0);
  for (int i = 0; i < 200; ++i) {
    gsl_root_fsolver_iterate(s);
    if (gsl_root_test_interval(gsl_root_fsolver_x_lower(s), gsl_root_fsolver_x_upper(s), 1e-14,
                               0) == GSL_SUCCESS)
      break;
  }
  const double u = gsl_root_fsolver_root(s);
  gsl_root_fsolver_free(s);
  const double sra = gsl_cdf_ugaussian_Q(u - p.d), sri = gsl_cdf_ugaussian_Q(u);
  return {sra, sri, sri / sra};
}

// A printed value agrees with the true one when it is the true one rounded,
// allowing for the true value's own uncertainty near a rounding boundary.
void expect_rounded(double printed, double truth, double half_unit, const std::string& what) {
  EXPECT_LE(std::fabs(printed - truth), half_unit + 1e-6)
      << what << ": printed " << printed << ", true " << truth;
}

class StoredReport : public ::testing::TestWithParam<Problem> {};

TEST_P(StoredReport, ProgramReproducesIt) {
  const Problem& p = GetParam();
  const auto dir = make_temp_dir();
  const std::string answers = std::string("r.txt\n") + std::to_string(p.N) + "\n" +
                              std::to_string(p.N1) + "\n" + std::to_string(p.K) + "\n" +
                              p.d_answer + "\ny\n";
  const ProcessRun run = run_kemro_process(answers, dir);
  EXPECT_EQ(run.status, 0) << run.err;
  expect_same_report(read_file(dir / "r.txt"), expected_report(p.file));
  std::filesystem::remove_all(dir);
}

TEST_P(StoredReport, AgreesWithAnIndependentComputation) {
  const Problem& p = GetParam();
  const int N2 = p.N - p.N1;
  const int L = std::max(0, p.K - p.N1);
  const StatedValues stated = parse_report(expected_report(p.file));

  // Entry m (from 0 here) is S = L + m; cum[m] = P(S <= L + m).
  const std::vector<double> cum = kemro::test::reference_distribution(p.N1, N2, p.K, p.d);
  const auto point = [&](std::size_t m) { return m == 0 ? cum[0] : cum[m] - cum[m - 1]; };
  const auto ratio = [&](int ny) {
    const int nx = p.K - ny;
    return nx == 0 ? -1.0 : (double(ny) / N2) / (double(nx) / p.N1);
  };

  // Every clearly visible entry has its row, and every row states its entry.
  std::vector<int> expected_rows;
  for (std::size_t m = 0; m < cum.size(); ++m) {
    const bool after_certainty = m > 0 && cum[m - 1] >= 1.0 - 1e-6;
    const bool undefined = p.K - (L + int(m)) == 0;
    if (point(m) >= 2e-6 && (!after_certainty || undefined)) expected_rows.push_back(L + int(m));
  }
  std::vector<int> stated_rows;
  for (const Row& r : stated.rows) {
    stated_rows.push_back(r.ny);
    const std::size_t m = r.ny - L;
    ASSERT_LT(m, cum.size());
    EXPECT_EQ(r.nx, p.K - r.ny);
    EXPECT_EQ(format_fixed(r.ai, 7, 3), format_fixed(ratio(r.ny), 7, 3));
    expect_rounded(r.prob, point(m), 5e-5, "Prob of S = " + std::to_string(r.ny));
    expect_rounded(r.cprob, cum[m], 5e-5, "CProb of S = " + std::to_string(r.ny));
  }
  for (int ny : expected_rows) {
    EXPECT_NE(std::find(stated_rows.begin(), stated_rows.end(), ny), stated_rows.end())
        << "no row for S = " << ny;
  }

  // Expected rates and AI.
  double sra = 0, sri = 0, ai_sum = 0, defined = 0;
  for (std::size_t m = 0; m < cum.size(); ++m) {
    const int ny = L + int(m), nx = p.K - ny;
    sra += point(m) * nx / p.N1;
    sri += point(m) * ny / N2;
    if (nx != 0) {
      ai_sum += point(m) * ratio(ny);
      defined += point(m);
    }
  }
  expect_rounded(stated.expected[0], sra, 5e-6, "expected SRA");
  expect_rounded(stated.expected[1], sri, 5e-6, "expected SRI");
  expect_rounded(stated.expected[2], ai_sum / defined, 5e-6, "expected AI");
  EXPECT_NEAR(p.N1 * stated.expected[0] + N2 * stated.expected[1], p.K, 2e-5 * p.N);

  // Percentiles: the AI of the first entry whose cumulative probability reaches the level.
  const int levels[] = {5, 10, 25, 50, 75, 90, 95};
  for (int i = 0; i < 7; ++i) {
    const double level = levels[i] / 100.0;
    const bool ambiguous =
        std::any_of(cum.begin(), cum.end(), [&](double c) { return std::fabs(c - level) < 1e-6; });
    if (ambiguous) continue;
    std::size_t m = 0;
    while (m + 1 < cum.size() && cum[m] < level) ++m;
    EXPECT_EQ(format_fixed(stated.percentiles[i], 7, 3), format_fixed(ratio(L + int(m)), 7, 3))
        << "P" << levels[i];
  }

  const auto population = population_values(p);
  for (int i = 0; i < 3; ++i) {
    expect_rounded(stated.population[i], population[i], 5e-6, "population value");
  }
}

INSTANTIATE_TEST_SUITE_P(Problems, StoredReport, ::testing::ValuesIn(PROBLEMS),
                         [](const auto& info) {
                           std::string name = info.param.file;
                           name = name.substr(0, name.find('.'));
                           std::erase(name, '_');
                           return name;
                         });

}  // namespace
}  // namespace kemro::testing
