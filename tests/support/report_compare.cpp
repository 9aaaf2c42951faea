#include "tests/support/report_compare.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "tests/support/kemro_process.hpp"

namespace kemro::testing {

namespace {

const std::regex CPU_LINE(R"(CPU TIME IN SECONDS [ 0-9]{8}[0-9]\.[0-9]{2})");

bool is_cpu_line(const std::string& line) {
  return line.rfind("CPU TIME IN SECONDS ", 0) == 0;
}

}  // namespace

void expect_same_report(const std::string& actual, const std::string& expected) {
  const auto got = split_lines(actual);
  const auto want = split_lines(expected);
  EXPECT_EQ(got.size(), want.size())
      << "report has " << got.size() << " lines, expected " << want.size() << ":\n"
      << actual;
  const std::size_t n = std::min(got.size(), want.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (is_cpu_line(want[i])) {
      EXPECT_TRUE(std::regex_match(got[i], CPU_LINE)) << "line " << i + 1 << ": " << got[i];
    } else {
      EXPECT_EQ(got[i], want[i]) << "line " << i + 1;
    }
  }
}

std::string expected_report(const std::string& name) {
  return read_file(std::filesystem::path(KEMRO_SOURCE_DIR) / "tests" / "expected" / name);
}

}  // namespace kemro::testing
