// The driver run in-process with substitute computing stages: what the report
// and the console show when the outcome stage gives up, and how often the
// outer integrator's complaints are shown.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "driver/run.hpp"
#include "model/nested/outcomes.hpp"
#include "tests/support/kemro_process.hpp"

namespace kemro::testing {
namespace {

// A stream in memory, readable as a string once closed.
class MemoryStream {
 public:
  MemoryStream() : file(open_memstream(&buffer_, &size_)) {}
  ~MemoryStream() {
    close();
    std::free(buffer_);
  }
  std::string text() {
    close();
    return std::string(buffer_, size_);
  }
  std::FILE* file;

 private:
  void close() {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
  }
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
};

// Runs the test body in a fresh temporary folder.
class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    dir_ = make_temp_dir();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(dir_);
  }

  int run(const std::string& answers, const AnalysisStages& stages) {
    std::istringstream in(answers);
    const int status = run_kemro(in, console.file, errors.file, stages);
    return status;
  }

  MemoryStream console;
  MemoryStream errors;

 private:
  std::filesystem::path previous_;
  std::filesystem::path dir_;
};

TEST_F(DriverTest, GivingUpLeavesOnlyTheHeaderAndTheCpuLine) {
  const AnalysisStages overshooting = [](ModelState& state, const CFUN& share, Integrators&,
                                         Table& table, OutcomeListener& listener) {
    Analysis analysis;
    analysis.population = population_stage(state, share);
    analysis.outcomes =
        outcome_loop(state, table.PROB, listener, [](std::int32_t, double, double) { return 2.0; });
    return analysis;
  };
  EXPECT_EQ(run("gave-up.txt\n100\n80\n20\n1.0\ny\n", overshooting), 0);

  const auto report = split_lines(read_file("gave-up.txt"));
  ASSERT_EQ(report.size(), 24u);
  EXPECT_EQ(report[20], "Effect size predictor (composite):  1.000000");
  EXPECT_EQ(report[21], "");
  EXPECT_EQ(report[22], "");
  EXPECT_EQ(report[23].substr(0, 20), "CPU TIME IN SECONDS ");

  const auto trace = split_lines(console.text());
  EXPECT_EQ(trace[trace.size() - 2], "                      I      J      Pij");
  EXPECT_EQ(trace.back(), " Ready to exit (Answer with y or n)?");
  EXPECT_EQ(errors.text(), "");
}

TEST_F(DriverTest, AbnormalReturnsAreShownAtMostTenTimesPerErrorNumber) {
  const AnalysisStages complaining = [](ModelState& state, const CFUN& share, Integrators& work,
                                        Table& table, OutcomeListener& listener) {
    for (int i = 0; i < 15; ++i) listener.abnormal_return(1);
    for (int i = 0; i < 3; ++i) listener.abnormal_return(2);
    return analyse(state, share, work, table, listener);
  };
  EXPECT_EQ(run("noisy.txt\n10\n6\n10\n0.5\ny\n", complaining), 0);

  const auto lines = split_lines(errors.text());
  int first = 0, second = 0;
  for (const auto& line : lines) {
    EXPECT_NE(line.find("ABNORMAL RETURN"), std::string::npos) << line;
    EXPECT_NE(line.find("the run continues"), std::string::npos) << line;
    first += line.find("ERROR NUMBER = 1") != std::string::npos;
    second += line.find("ERROR NUMBER = 2") != std::string::npos;
  }
  EXPECT_EQ(first, 10);
  EXPECT_EQ(second, 3);
  EXPECT_EQ(lines.size(), 13u);
}

}  // namespace
}  // namespace kemro::testing
