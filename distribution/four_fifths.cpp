#include "distribution/four_fifths.hpp"

namespace kemro {

bool below_four_fifths(std::int32_t NY, std::int32_t NX, std::int32_t N1, std::int32_t N2) {
  // N1 + N2 < 2^31 keeps 5 * NY * N1 <= 5 * N1 * N2 below 2^63.
  return NX > 0 && 5 * std::int64_t{NY} * N1 < 4 * std::int64_t{NX} * N2;
}

}  // namespace kemro
