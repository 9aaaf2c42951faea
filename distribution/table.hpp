// The sampling distribution table of AI: parallel arrays indexed by entry
// from 1 (index 0 is unused), allocated once at full capacity.
#pragma once

#include <cstdint>
#include <vector>

namespace kemro {

inline constexpr std::int32_t TABLE_CAPACITY = 150000;
inline constexpr double UNDEFINED_RATIO = -1.0;  // AI code of an entry without majority hires

struct Table {
  std::vector<double> PROB;  // P(S <= L + m - 1); PROB(M) = 1
  std::vector<double> PVS;   // point probability
  std::vector<double> PVSC;  // running sum of PVS
  std::vector<std::int32_t> NY;  // minority hires, L + m - 1
  std::vector<std::int32_t> NX;  // majority hires, K - NY
  std::vector<double> SR1;   // NX / N1
  std::vector<double> SR2;   // NY / N2
  std::vector<double> AI;    // SR2 / SR1, or UNDEFINED_RATIO when SR1 = 0
  std::int32_t M = 0;        // entries in use

  Table()
      : PROB(TABLE_CAPACITY + 1),
        PVS(TABLE_CAPACITY + 1),
        PVSC(TABLE_CAPACITY + 1),
        NY(TABLE_CAPACITY + 1),
        NX(TABLE_CAPACITY + 1),
        SR1(TABLE_CAPACITY + 1),
        SR2(TABLE_CAPACITY + 1),
        AI(TABLE_CAPACITY + 1) {}
};

}  // namespace kemro
