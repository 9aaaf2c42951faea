// Population values to full double precision: the cutoff and the three values
// against 30-digit references (high-precision bisection of the cutoff
// equation), in the tails and for effect sizes far beyond any data; the
// limits as |d| grows reached monotonely; the statuses of values beyond the
// range of a double; and kemro-grid's CSV carrying the precise values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "model/fast/population.hpp"
#include "tests/support/kemro_process.hpp"
#include "tests/support/program_process.hpp"

namespace kemro::testing {
namespace {

constexpr double VALUE_TOLERANCE = 1e-12;   // relative, each population value
constexpr double CUTOFF_TOLERANCE = 1e-15;  // relative, the cutoff

struct Reference {
  int N, N1, K;
  double d;
  double cutoff, SRA, SRI, AI;
  PopulationStatus status;
};

void PrintTo(const Reference& r, std::ostream* os) {
  *os << "(N " << r.N << ", N1 " << r.N1 << ", K " << r.K << ", d " << r.d << ")";
}

void expect_relative(double value, double reference, double tolerance, const char* what) {
  if (reference == 0.0 || std::isinf(reference)) {
    EXPECT_EQ(value, reference) << what;
    return;
  }
  EXPECT_LE(std::fabs(value - reference), tolerance * std::fabs(reference))
      << what << " " << value << " against " << reference;
}

constexpr PopulationStatus EXACT = PopulationStatus::exact;
constexpr double INF = std::numeric_limits<double>::infinity();

// References from a 150-digit bisection of r Q(u - d) + (1 - r) Q(u) = K/N.
// A value beyond the range of a double is given as the double it rounds to.
const Reference REFERENCES[] = {
    // The rates of 1e-13 whose digits the earlier 1e-8 cutoff lost.
    {46, 22, 15, 7.8145, 7.3417108790080550791, 0.68181818181806679242, 1.0544027916695646661e-13,
     1.5464574277822890711e-13, EXACT},
    {7721, 1636, 260, -5.3969, 1.7198701946944197771, 5.5242735376624697015e-13,
     0.042728019720475962013, 77345952240.004054353, EXACT},
    {100, 80, 20, 1.0, 1.7092807666428168603, 0.23907513071959996764, 0.043699477121600129432,
     0.18278554105593358876, EXACT},
    {1000, 999, 1, 3.0, 6.0899351531654937844, 0.0010010010004356534939, 5.6478215958322864162e-10,
     5.6421737774230532206e-7, EXACT},
    {1000, 1, 999, -3.0, -3.2408941092681029443, 0.59518140607759376367, 0.99940422281673914538,
     1.6791590137250471795, EXACT},
    {2147483647, 2147483000, 3, 0.5, 6.4432669611870041333, 1.3969842658468300768e-9,
     5.8464376825650107463e-11, 0.041850418973910142037, EXACT},
    // The minority wholly hired at d = -40: AI about 7e88, not 9e15.
    {100, 80, 20, -40.0, -19.965428642611242792, 1.3759915623208737294e-89, 1.0,
     7.2674864249407762921e+88, EXACT},
    // Equal groups, half hired: u = d/2 by symmetry, SRI = Q(30).
    {100, 50, 50, 60.0, 30.0, 1.0, 4.9067139271481870595e-198, 4.9067139271481870595e-198, EXACT},
    // SRI and AI below the normal range (subnormal), SRA at its limit p/r.
    {100, 80, 20, 37.0, 37.674489750196081743, 0.25, 6.4996603096654231844e-311,
     2.5998641238661692738e-310, PopulationStatus::rate_underflow},
    // Far beyond any data: the limits SRA = p/r = 0.25 and SRI = 0 (about 1e-21714727024442).
    {100, 80, 20, 1e7, 10000000.674489750196, 0.25, 0.0, 0.0, PopulationStatus::rate_underflow},
    {100, 80, 21, 1e9, 1000000000.6356570137, 0.2625, 0.0, 0.0, PopulationStatus::rate_underflow},
    // AI about 2e1515: SRA underflows, AI is beyond the largest double.
    {100, 80, 20, -100.0, -49.513055131098376, 0.0, 1.0, INF, PopulationStatus::ratio_overflow},
    {100, 80, 19, -1e9, -1.6448536269514727149, 0.0, 0.95, INF, PopulationStatus::ratio_overflow},
};

class PopulationReference : public ::testing::TestWithParam<Reference> {};

TEST_P(PopulationReference, MatchesToFullDoublePrecision) {
  const Reference& r = GetParam();
  const PrecisePopulation p = precise_population(r.N1, r.N - r.N1, r.K, r.d);
  EXPECT_EQ(p.status, r.status) << population_status_name(p.status);
  // The cutoff of AI beyond range only to 1e-12: its equation balances two underflowing tails.
  expect_relative(p.cutoff, r.cutoff,
                  r.status == PopulationStatus::ratio_overflow ? VALUE_TOLERANCE : CUTOFF_TOLERANCE,
                  "cutoff");
  // Subnormal values keep fewer digits.
  const double tolerance = r.status == EXACT ? VALUE_TOLERANCE : 1e-10;
  expect_relative(p.SRA, r.SRA, tolerance, "SRA");
  expect_relative(p.SRI, r.SRI, tolerance, "SRI");
  expect_relative(p.AI, r.AI, tolerance, "AI");
  EXPECT_LE(p.evaluations, 200);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, PopulationReference, ::testing::ValuesIn(REFERENCES));

// Over d from 1e-3 to 1e300 in both directions, SRA rises and SRI falls
// monotonely (no jump back, as the earlier search gave at d = 1e10) and both
// end at their limits: min(1, p/r) and max(0, (p - r)/(1 - r)) as d grows,
// and the mirror images as d falls.
TEST(PopulationLimits, AreReachedMonotonelyForEveryFiniteD) {
  constexpr double STEPS_PER_DECADE = 8;
  for (const int K : {19, 20, 21, 50, 99}) {
    const double p = K / 100.0;
    const double r = 0.8;
    for (const double sign : {1.0, -1.0}) {
      double previous_SRA = sign > 0 ? 0.0 : 1.0;
      double previous_SRI = sign > 0 ? 1.0 : 0.0;
      PrecisePopulation last;
      for (double e = -3.0; e <= 300.0; e += 1.0 / STEPS_PER_DECADE) {
        const double d = sign * std::pow(10.0, e);
        last = precise_population(80, 20, K, d);
        ASSERT_NE(last.status, PopulationStatus::invalid_input) << d;
        if (sign > 0) {
          EXPECT_GE(last.SRA, previous_SRA * (1 - 1e-14)) << "K " << K << " d " << d;
          EXPECT_LE(last.SRI, previous_SRI * (1 + 1e-14) + 1e-300) << "K " << K << " d " << d;
        } else {
          EXPECT_LE(last.SRA, previous_SRA * (1 + 1e-14) + 1e-300) << "K " << K << " d " << d;
          EXPECT_GE(last.SRI, previous_SRI * (1 - 1e-14)) << "K " << K << " d " << d;
        }
        previous_SRA = last.SRA;
        previous_SRI = last.SRI;
      }
      const double high_SRA = sign > 0 ? std::min(1.0, p / r) : std::max(0.0, (p - (1 - r)) / r);
      const double high_SRI =
          sign > 0 ? std::max(0.0, (p - r) / (1 - r)) : std::min(1.0, p / (1 - r));
      EXPECT_NEAR(last.SRA, high_SRA, 1e-12) << "K " << K << " sign " << sign;
      EXPECT_NEAR(last.SRI, high_SRI, 1e-12) << "K " << K << " sign " << sign;
    }
  }
}

TEST(PopulationInput, OutsideTheModelIsRefusedWithNaN) {
  const double NaN = std::numeric_limits<double>::quiet_NaN();
  for (const auto& [N1, N2, K, d] :
       std::vector<std::tuple<int, int, int, double>>{{0, 10, 3, 0.5},
                                                      {10, 0, 3, 0.5},
                                                      {5, 5, 0, 0.5},
                                                      {5, 5, 10, 0.5},
                                                      {5, 5, 3, INF},
                                                      {5, 5, 3, NaN}}) {
    const PrecisePopulation p = precise_population(N1, N2, K, d);
    EXPECT_EQ(p.status, PopulationStatus::invalid_input) << N1 << " " << N2 << " " << K << " " << d;
    EXPECT_TRUE(std::isnan(p.SRA) && std::isnan(p.SRI) && std::isnan(p.AI));
  }
}

// kemro-grid's CSV carries the precise values, also far out in d.
TEST(PopulationInGrid, CsvHasTheFullPrecisionValues) {
  const auto dir = make_temp_dir();
  const ProcessRun r = run_program(
      KEMRO_GRID_EXE,
      {"--applicants", "100", "--majority", "80", "--hires", "20", "--d", "1,1e7,1e10", "--csv"},
      dir);
  std::filesystem::remove_all(dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = split_lines(r.out);
  ASSERT_EQ(lines.size(), 4u) << r.out;
  const std::string columns = "population_SRA,population_SRI,population_AI";
  const auto first = lines[0].find(columns);
  ASSERT_NE(first, std::string::npos) << lines[0];
  const auto field_index = std::count(lines[0].begin(), lines[0].begin() + first, ',');
  std::vector<std::string> population;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string rest = lines[i];
    for (long f = 0; f < field_index; ++f) rest.erase(0, rest.find(',') + 1);
    std::size_t end = 0;
    for (int f = 0; f < 3; ++f) end = rest.find(',', end) + 1;
    population.push_back(rest.substr(0, end - 1));
  }
  EXPECT_EQ(population, (std::vector<std::string>{"0.23907513071959996,0.04369947712160013,"
                                                  "0.18278554105593361",
                                                  "0.25,0,0", "0.25,0,0"}));
}

}  // namespace
}  // namespace kemro::testing
