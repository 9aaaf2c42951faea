// Building the distribution table from the cumulative probabilities, and
// sizing it to the problem.
#include "distribution/table.hpp"

#include <algorithm>

namespace kemro {

namespace {

// How many times the elements a problem needs an array may hold before it is
// reallocated smaller: small enough that a worker's table follows its current
// problem, large enough that similar problems in turn reuse the allocation.
constexpr std::size_t SPARE_FACTOR = 2;

// `array` with exactly `size` elements, the first ones kept (new ones zero).
template <typename T>
void fit(std::vector<T>& array, std::size_t size) {
  if (array.capacity() < size || array.capacity() > SPARE_FACTOR * size) {
    std::vector<T> fitted;
    fitted.reserve(size);  // exactly `size`: resize alone may allocate twice the old size
    const std::size_t kept = std::min(array.size(), size);
    fitted.assign(array.begin(), array.begin() + static_cast<std::ptrdiff_t>(kept));
    fitted.resize(size);
    array.swap(fitted);
  } else {
    array.resize(size);
  }
}

constexpr double PRINT_THRESHOLD = 1e-6;  // smallest point probability that gets a row

// SR = hires / applicants, both converted to double before the division
double selection_rate(std::int32_t hires, std::int32_t applicants) {
  return static_cast<double>(hires) / static_cast<double>(applicants);
}

// AI = SR2 / SR1, or the undefined-ratio code when SR1 = 0
double adverse_impact(double SR1, double SR2) {
  return SR1 == 0.0 ? UNDEFINED_RATIO : SR2 / SR1;
}

// SR1(m), SR2(m) and AI(m) from the hires NX(m), NY(m) already in place
void set_rates(Table& table, std::int32_t m, std::int32_t N1, std::int32_t N2) {
  table.SR1[m] = selection_rate(table.NX[m], N1);
  table.SR2[m] = selection_rate(table.NY[m], N2);
  table.AI[m] = adverse_impact(table.SR1[m], table.SR2[m]);
}

}  // namespace

Table::Table(std::int32_t entries) {
  size_table(*this, entries);
}

void size_table(Table& table, std::int32_t M) {
  const auto size = static_cast<std::size_t>(std::clamp(M, 0, TABLE_CAPACITY)) + 1;
  fit(table.PROB, size);
  fit(table.PVS, size);
  fit(table.PVSC, size);
  fit(table.NY, size);
  fit(table.NX, size);
  fit(table.SR1, size);
  fit(table.SR2, size);
  fit(table.AI, size);
  table.M = std::min(table.M, static_cast<std::int32_t>(size - 1));
}

namespace {

// Room for entries 1..M in every array, none made smaller: the caller's
// PROB(1..M-1) and any room beyond M stay as they are.
void make_room(Table& table, std::int32_t M) {
  const auto size = static_cast<std::size_t>(M) + 1;
  for (auto* array : {&table.PROB, &table.PVS, &table.PVSC, &table.SR1, &table.SR2, &table.AI}) {
    if (array->size() < size) fit(*array, size);
  }
  for (auto* array : {&table.NY, &table.NX}) {
    if (array->size() < size) fit(*array, size);
  }
}

}  // namespace

std::vector<NegativeProbability> build_table(Table& table, std::int32_t M, std::int32_t L,
                                             std::int32_t K, std::int32_t N1, std::int32_t N2) {
  std::vector<NegativeProbability> warnings;
  if (M < 1 || M > TABLE_CAPACITY) {
    table.M = 0;
    return warnings;
  }
  make_room(table, M);
  table.M = M;
  table.PROB[M] = 1.0;

  table.NY[1] = L;
  table.NX[1] = K - L;
  table.PVS[1] = table.PROB[1];
  table.PVSC[1] = table.PROB[1];
  set_rates(table, 1, N1, N2);

  for (std::int32_t m = 1; m < M; ++m) {
    table.PVS[m + 1] = table.PROB[m + 1] - table.PROB[m];
    table.PVSC[m + 1] = table.PVSC[m] + table.PVS[m + 1];
    if (table.PVS[m + 1] < NEGATIVE_PROBABILITY_TOLERANCE) {
      warnings.push_back({m, table.PROB[m], table.PROB[m + 1]});
    }
    table.NY[m + 1] = table.NY[m] + 1;
    table.NX[m + 1] = table.NX[m] - 1;
    set_rates(table, m + 1, N1, N2);
  }
  return warnings;
}

bool row_is_printed(const Table& table, std::int32_t m) {
  if (m < 1 || m > table.M) return false;
  // A NaN running sum fails the comparison and so never causes a skip.
  if (m > 1 && table.PVSC[m - 1] >= 1.0 && table.AI[m] != UNDEFINED_RATIO) return false;
  // A NaN point probability fails the comparison and so is never printed.
  return table.PVS[m] >= PRINT_THRESHOLD;
}

}  // namespace kemro
