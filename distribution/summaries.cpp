#include "distribution/summaries.hpp"

#include <limits>

namespace kemro {

TableSums table_sums(const Table& table) {
  TableSums sums;
  for (std::int32_t m = 1; m <= table.M; ++m) {
    const double pvs = table.PVS[m];
    if (table.NX[m] != 0) sums.defined_ratio_mass += pvs;
    const double sra_term = pvs * table.SR1[m];
    sums.expected_SRA += sra_term;
    const double sri_term = pvs * table.SR2[m];
    sums.expected_SRI += sri_term;
    if (table.AI[m] != UNDEFINED_RATIO) {
      const double ai_term = pvs * table.AI[m];
      sums.AI_numerator += ai_term;
    }
  }
  return sums;
}

double expected_AI(const TableSums& sums) {
  return sums.AI_numerator / sums.defined_ratio_mass;
}

double percentile(const Table& table, std::int32_t level) {
  const double p = static_cast<double>(level);
  for (std::int32_t m = 1; m <= table.M; ++m) {
    // Written as "not less than" so that a NaN running sum counts as reached.
    if (!(100.0 * table.PVSC[m] < p)) return table.AI[m];
  }
  return table.M >= 1 ? table.AI[table.M] : std::numeric_limits<double>::quiet_NaN();
}

std::array<double, NLDAT.size()> percentiles(const Table& table) {
  std::array<double, NLDAT.size()> values{};
  for (std::size_t k = 0; k < NLDAT.size(); ++k) values[k] = percentile(table, NLDAT[k]);
  return values;
}

}  // namespace kemro
