// The effect size of a composite predictor: textbook values, the degenerate
// cases (one predictor, perfectly correlated predictors), the layout of the
// upper triangle, and every refusal with its reason.
#include "model/composite.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using kemro::composite_effect_size;
using kemro::correlation_matrix_error;
using kemro::matrix_from_upper_triangle;

struct Valid {
  std::vector<double> d, weights, upper;
  double expected;  // worked out by hand
};

TEST(CompositeEffect, MatchesHandWorkedValues) {
  const Valid cases[] = {
      // Two predictors, d 1.0 and 0.23, r = 0.3, unit weights: 1.23 / sqrt(2.6).
      {{1.0, 0.23}, {}, {0.3}, 0.76281361772363199},
      // One predictor: its own d, whatever positive weight it gets.
      {{0.7}, {3.0}, {}, 0.7},
      {{0.7}, {-2.0}, {}, -0.7},
      // Perfectly correlated predictors: the mean of the d's, (1.0 + 0.5) / 2.
      {{1.0, 0.5}, {}, {1.0}, 0.75},
      // Three uncorrelated predictors of d 0.5: 1.5 / sqrt(3).
      {{0.5, 0.5, 0.5}, {}, {0, 0, 0}, 0.86602540378443860},
      // Weights 2 and 1, d 1 and 0, uncorrelated: 2 / sqrt(5).
      {{1.0, 0.0}, {2.0, 1.0}, {0.0}, 0.89442719099991586},
      // Scaling every weight leaves the composite as it is.
      {{1.0, 0.23}, {5.0, 5.0}, {0.3}, 0.76281361772363199},
      // ... even where w' R w itself would overflow or underflow.
      {{1.0, 0.23}, {1e200, 1e200}, {0.3}, 0.76281361772363199},
      {{1.0, 0.23}, {1e-200, 1e-200}, {0.3}, 0.76281361772363199},
      {{1.0, 0.0}, {2e300, 1e300}, {0.0}, 0.89442719099991586},
  };
  for (const Valid& c : cases) {
    const auto matrix = matrix_from_upper_triangle(c.upper, c.d.size());
    const kemro::CompositeEffect e = composite_effect_size(c.d, c.weights, matrix);
    ASSERT_TRUE(e.ok()) << e.error;
    EXPECT_NEAR(e.d, c.expected, 1e-15)
        << "d[0] = " << c.d[0] << ", " << c.d.size() << " predictors";
  }
}

TEST(CompositeEffect, UpperTriangleFillsTheMatrixRowByRow) {
  const std::vector<double> m = matrix_from_upper_triangle(std::vector<double>{0.1, 0.2, 0.3}, 3);
  EXPECT_EQ(m, (std::vector<double>{1, 0.1, 0.2, 0.1, 1, 0.3, 0.2, 0.3, 1}));
}

struct Invalid {
  std::vector<double> d, weights, matrix;
  std::string reason;
};

TEST(CompositeEffect, RefusesInvalidInputWithItsReason) {
  const double NaN = std::nan("");
  const Invalid cases[] = {
      {{1.0, 0.5}, {}, {1, 1.2, 1.2, 1}, "r(1,2) = 1.2 is outside [-1, 1]"},
      {{1.0, 0.5}, {}, {1, 0.3, 0.4, 1}, "r(1,2) differs from r(2,1) (not symmetric)"},
      {{1.0, 0.5}, {}, {0.9, 0.3, 0.3, 1}, "r(1,1) = 0.9 is not 1"},
      {{1.0, 0.5}, {}, {1, NaN, NaN, 1}, "r(1,2) is not a finite number"},
      {{1.0, 0.5}, {}, {1, 0.3, 0.3}, "needs 4 entries, not 3"},
      // Each pair is possible, all three together are not: eigenvalue 1 - 1.8 < 0.
      {{1, 1, 1}, {}, {1, 0.9, 0.9, 0.9, 1, -0.9, 0.9, -0.9, 1}, "not positive semi-definite"},
      {{1.0, 0.5}, {1.0}, {1, 0.3, 0.3, 1}, "1 weights for 2 predictors"},
      // Perfectly correlated predictors with opposite weights cancel out.
      {{1.0, 0.5}, {1.0, -1.0}, {1, 1, 1, 1}, "no variance"},
      {{1.0, 0.5}, {0.0, 0.0}, {1, 0.3, 0.3, 1}, "no variance"},
      {{}, {}, {}, "no predictor effect sizes"},
      {{1.0, NaN}, {}, {1, 0.3, 0.3, 1}, "is not finite"},
  };
  for (const Invalid& c : cases) {
    const kemro::CompositeEffect e = composite_effect_size(c.d, c.weights, c.matrix);
    EXPECT_FALSE(e.ok()) << c.reason;
    EXPECT_NE(e.error.find(c.reason), std::string::npos) << e.error << "\nwanted: " << c.reason;
  }
}

TEST(CompositeEffect, RoundingBelowZeroStillCountsAsSemiDefinite) {
  // Rank one (all r = 1): eigenvalues 3, 0, 0, which GSL finds within rounding of 0.
  EXPECT_EQ(correlation_matrix_error(std::vector<double>(9, 1.0), 3), "");
}

}  // namespace
