// Independent high-accuracy values of the distribution of S, the number of
// minority applicants among the K hired, as a yardstick for the model: exact
// hypergeometric sums at d = 0, and for any d one adaptive integral over the
// order statistics of the two samples. Uses none of the model code.
#pragma once

#include <cstdint>
#include <vector>

namespace kemro::test {

// P(S <= t) at d = 0: the sum over s <= t of C(N2, s) C(N1, K - s) / C(N1 + N2, K).
// 0 below the feasible range max(0, K - N1) .. min(K, N2), 1 from its top on.
double hypergeometric_cdf(std::int32_t N1, std::int32_t N2, std::int32_t K, std::int32_t t);

// P(S <= t) for N1 majority scores N(d, 1), N2 minority scores N(0, 1) and the
// K best hired, to an absolute accuracy near 1e-12; 0 and 1 outside the
// feasible range as above. Throws std::runtime_error when an integration
// cannot reach its accuracy.
double reference_cdf(std::int32_t N1, std::int32_t N2, std::int32_t K, double d, std::int32_t t);

// P(S <= t) for t = L, ..., min(K, N2) with L = max(0, K - N1): one value per
// table entry, the last one 1.
std::vector<double> reference_distribution(std::int32_t N1, std::int32_t N2, std::int32_t K,
                                           double d);

}  // namespace kemro::test
