// The composite predictor's effect size and the checks of its weights and
// correlation matrix (composite.hpp).
#include "model/composite.hpp"

#include <gsl/gsl_eigen.h>
#include <gsl/gsl_matrix.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "model/integrator.hpp"
#include "model/message_text.hpp"

namespace kemro {

namespace {

// A symmetric matrix may differ from its transpose by this much through rounding.
constexpr double SYMMETRY_TOLERANCE = 1e-12;

std::string entry_name(std::size_t i, std::size_t j) {
  return "r(" + std::to_string(i + 1) + "," + std::to_string(j + 1) + ")";
}

// The smallest eigenvalue of the symmetric n x n matrix, or NaN when GSL fails.
double smallest_eigenvalue(std::span<const double> matrix, std::size_t n) {
  const QuietGslErrors quiet;
  const std::unique_ptr<gsl_matrix, decltype(&gsl_matrix_free)> a(gsl_matrix_alloc(n, n),
                                                                  gsl_matrix_free);
  const std::unique_ptr<gsl_vector, decltype(&gsl_vector_free)> values(gsl_vector_alloc(n),
                                                                       gsl_vector_free);
  const std::unique_ptr<gsl_eigen_symm_workspace, decltype(&gsl_eigen_symm_free)> work(
      gsl_eigen_symm_alloc(n), gsl_eigen_symm_free);
  if (!a || !values || !work) return NAN;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) gsl_matrix_set(a.get(), i, j, matrix[i * n + j]);
  }
  if (gsl_eigen_symm(a.get(), values.get(), work.get()) != GSL_SUCCESS) return NAN;
  return gsl_vector_min(values.get());
}

// w' R w: the variance of the weighted sum of standardised predictors.
double composite_variance(std::span<const double> w, std::span<const double> matrix) {
  const std::size_t n = w.size();
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) sum += w[i] * w[j] * matrix[i * n + j];
  }
  return sum;
}

// The weights times 2^-e, where 2^e <= max |w_i| < 2^(e+1); unchanged when all are 0.
std::vector<double> power_of_two_scaled(std::span<const double> weights) {
  double largest = 0.0;
  for (double w : weights) largest = std::max(largest, std::abs(w));
  std::vector<double> scaled(weights.begin(), weights.end());
  if (largest == 0.0) return scaled;
  const int exponent = std::ilogb(largest);
  for (double& w : scaled) w = std::ldexp(w, -exponent);
  return scaled;
}

}  // namespace

std::vector<double> matrix_from_upper_triangle(std::span<const double> upper, std::size_t n) {
  std::vector<double> matrix(n * n, 0.0);
  std::size_t k = 0;
  for (std::size_t i = 0; i < n; ++i) {
    matrix[i * n + i] = 1.0;
    for (std::size_t j = i + 1; j < n; ++j, ++k) {
      matrix[i * n + j] = upper[k];
      matrix[j * n + i] = upper[k];
    }
  }
  return matrix;
}

std::string correlation_matrix_error(std::span<const double> matrix, std::size_t n) {
  if (n == 0 || matrix.size() != n * n) {
    return "a correlation matrix of " + std::to_string(n) + " predictors needs " +
           std::to_string(n * n) + " entries, not " + std::to_string(matrix.size());
  }
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      const double r = matrix[i * n + j];
      if (!std::isfinite(r)) return entry_name(i, j) + " is not a finite number";
      if (r < -1.0 || r > 1.0)
        return entry_name(i, j) + " = " + message::number_text(r) + " is outside [-1, 1]";
      if (i == j && r != 1.0)
        return entry_name(i, j) + " = " + message::number_text(r) + " is not 1";
      if (std::abs(r - matrix[j * n + i]) > SYMMETRY_TOLERANCE) {
        return entry_name(i, j) + " differs from " + entry_name(j, i) + " (not symmetric)";
      }
    }
  }
  const double smallest = smallest_eigenvalue(matrix, n);
  if (std::isnan(smallest)) return "the eigenvalues of the correlation matrix cannot be computed";
  if (smallest < -CORRELATION_EIGENVALUE_TOLERANCE * static_cast<double>(n)) {
    return "the correlations are not positive semi-definite (smallest eigenvalue " +
           message::number_text(smallest) + "), so no predictors can have them";
  }
  return {};
}

CompositeEffect composite_effect_size(std::span<const double> d, std::span<const double> weights,
                                      std::span<const double> matrix) {
  const std::size_t n = d.size();
  if (n == 0) return {0.0, "no predictor effect sizes"};
  const std::vector<double> unit(n, 1.0);
  if (weights.empty()) weights = unit;
  if (weights.size() != n) {
    return {0.0,
            std::to_string(weights.size()) + " weights for " + std::to_string(n) + " predictors"};
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(d[i]))
      return {0.0, "predictor effect size " + message::number_text(d[i]) + " is not finite"};
    if (!std::isfinite(weights[i]))
      return {0.0, "weight " + message::number_text(weights[i]) + " is not finite"};
  }
  std::string error = correlation_matrix_error(matrix, n);
  if (!error.empty()) return {0.0, error};
  // d does not depend on the weights' scale; scaled by a power of two (exact,
  // so the result is the same to the bit) to a largest |w_i| in [1, 2), the
  // sums below neither overflow (1e200) nor underflow (1e-200).
  const std::vector<double> scaled = power_of_two_scaled(weights);
  weights = scaled;
  const double variance = composite_variance(weights, matrix);
  // Relative to the weights' size, a variance this small is a rounding remnant of 0.
  double scale = 0.0;
  for (double w : weights) scale += w * w;
  if (!(variance > CORRELATION_EIGENVALUE_TOLERANCE * scale * static_cast<double>(n))) {
    return {0.0, "these weights give the composite no variance"};
  }
  double numerator = 0.0;
  for (std::size_t i = 0; i < n; ++i) numerator += weights[i] * d[i];
  return {numerator / std::sqrt(variance), {}};
}

}  // namespace kemro
