// The effect size of a composite predictor: several predictors, each with its
// own majority-minority difference d_i in standard deviations, combined as a
// weighted sum. With weights w_i and predictor intercorrelations r_ij (r_ii = 1)
// the composite's difference in its own standard deviations is
//   d = sum_i w_i d_i / sqrt(sum_i sum_j w_i w_j r_ij).
// Nothing here prints or throws: every refusal comes back as a reason.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace kemro {

// Eigenvalues of a correlation matrix may fall this far below 0 through
// rounding alone and still count as positive semi-definite (times the order).
inline constexpr double CORRELATION_EIGENVALUE_TOLERANCE = 1e-10;

// The full n x n matrix (row by row) with a unit diagonal, from the upper
// triangle without the diagonal given row by row: r12, r13, ..., r1n, r23, ...
// Needs upper.size() == n (n - 1) / 2.
std::vector<double> matrix_from_upper_triangle(std::span<const double> upper, std::size_t n);

// Why `matrix` (n x n, row by row) is not a correlation matrix, or an empty
// text: its size, a non-finite entry, an entry outside [-1, 1], a diagonal
// entry other than 1, asymmetry, or a negative eigenvalue (not positive
// semi-definite, found with GSL's symmetric eigensolver).
std::string correlation_matrix_error(std::span<const double> matrix, std::size_t n);

struct CompositeEffect {
  double d = 0.0;
  std::string error;  // empty when d is the composite's effect size
  bool ok() const { return error.empty(); }
};

// sum_i w_i d_i / sqrt(w' R w) for the predictors' effect sizes `d`, their
// `weights` (empty: all 1) and their correlation matrix R (n x n, row by row).
// Refuses mismatched counts, non-finite values, an invalid matrix, and weights
// that give the composite no variance.
CompositeEffect composite_effect_size(std::span<const double> d, std::span<const double> weights,
                                      std::span<const double> matrix);

}  // namespace kemro
