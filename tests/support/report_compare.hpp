// Line-by-line comparison of a report with an expected report.
#pragma once

#include <string>

namespace kemro::testing {

// Expects `actual` to equal `expected` line by line; the figure on the CPU-time
// line is not compared, only that the line has the right layout.
void expect_same_report(const std::string& actual, const std::string& expected);

// The expected report stored as tests/expected/<name>.
std::string expected_report(const std::string& name);

}  // namespace kemro::testing
