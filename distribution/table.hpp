// The sampling distribution table of AI: parallel arrays indexed by entry
// from 1 (index 0 is unused), sized to the problem at hand (size_table) and at
// most TABLE_CAPACITY entries long.
#pragma once

#include <cstdint>
#include <vector>

namespace kemro {

inline constexpr std::int32_t TABLE_CAPACITY = 150000;
inline constexpr double UNDEFINED_RATIO = -1.0;  // AI code of an entry without majority hires
// A point probability below this is warned about: a difference of two
// cumulative probabilities that rounding alone cannot make so negative.
inline constexpr double NEGATIVE_PROBABILITY_TOLERANCE = -5e-5;

struct Table {
  std::vector<double> PROB;      // P(S <= L + m - 1); PROB(M) = 1
  std::vector<double> PVS;       // point probability
  std::vector<double> PVSC;      // running sum of PVS
  std::vector<std::int32_t> NY;  // minority hires, L + m - 1
  std::vector<std::int32_t> NX;  // majority hires, K - NY
  std::vector<double> SR1;       // NX / N1
  std::vector<double> SR2;       // NY / N2
  std::vector<double> AI;        // SR2 / SR1, or UNDEFINED_RATIO when SR1 = 0
  std::int32_t M = 0;            // entries in use

  // No room for any entry: a work area kept for many problems (one per worker
  // thread) holds only what its current problem needs.
  Table() = default;
  // Room for entries 1..entries, all zero.
  explicit Table(std::int32_t entries);
};

// Gives every array of the table room for entries 1..M, exactly M + 1
// elements, keeping the values of the entries up to M that are already there.
// An array is reallocated when it is shorter, or when its allocation is more
// than twice that: a table kept across problems then holds what the current
// one needs, not the largest one before it. M is clamped to [0, TABLE_CAPACITY].
void size_table(Table& table, std::int32_t M);

// A point probability below the negative-probability tolerance: the entry m
// before it and the two cumulative probabilities whose difference it is.
struct NegativeProbability {
  std::int32_t m = 0;
  double PROB_m = 0.0;     // PROB(m)
  double PROB_next = 0.0;  // PROB(m + 1)
};

// Completes PROB with PROB(M) = 1 and fills PVS, PVSC, NY, NX, SR1, SR2, AI
// and M for entries 1..M (growing any array too short for them, shrinking
// none), given PROB(1..M-1), which the caller has filled, the smallest number L of
// minority hires and the counts K, N1, N2. Returns the point probabilities
// below the tolerance, in entry order; they stay in the table unchanged.
// An M outside [1, TABLE_CAPACITY] builds nothing: the table is left empty
// (M = 0) and no warning is returned.
std::vector<NegativeProbability> build_table(Table& table, std::int32_t M, std::int32_t L,
                                             std::int32_t K, std::int32_t N1, std::int32_t N2);

// Whether entry m gets a distribution row: its point probability reaches the
// printing threshold, and the running sum PVSC(m - 1) before it has not
// reached 1 (an entry with an undefined ratio is exempt from that second
// condition). False for m outside [1, M].
bool row_is_printed(const Table& table, std::int32_t m);

}  // namespace kemro
