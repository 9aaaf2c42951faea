// Streaming output of kemro-grid: records leave in grid order as they are
// done, a stopped run's output is a prefix of the complete run's and still a
// whole document (CSV rows whole, the JSON array closed), and SIGINT or
// SIGTERM end the program with 130 or 143 after writing what is complete.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "report/grid_records.hpp"
#include "tests/support/json_checker.hpp"
#include "tests/support/program_process.hpp"
#include "tools/grid/options.hpp"
#include "tools/grid/scenario.hpp"

namespace {

namespace fs = std::filesystem;
using namespace kemro::grid;
using kemro::testing::JsonChecker;
using kemro::testing::read_file;

Grid grid_from(const std::vector<std::string>& args) {
  const std::vector<std::string_view> views(args.begin(), args.end());
  const ParsedOptions parsed = parse_options(views);
  EXPECT_TRUE(parsed.ok()) << parsed.error;
  GridOutcome built = build_grid(parsed.options);
  EXPECT_TRUE(built.ok()) << built.error;
  return built.grid;
}

// The document a run writes when it delivers the scenarios in `results`
// (a prefix of the grid, all of it for a complete run).
std::string document(const Grid& grid, Format format, bool distribution,
                     const std::vector<ScenarioResult>& results) {
  RecordStream stream(grid, format, distribution);
  std::string text = stream.head();
  for (std::size_t i = 0; i < results.size(); ++i) text += stream.record(i, results[i]);
  return text + stream.tail();
}

std::size_t lines_in(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

const std::vector<std::string> SMALL = {
    "--applicants", "20,30", "--minority-share", "0.3", "--hires", "5", "--d", "0,0.5,-1"};

TEST(GridStream, ResultsArriveInGridOrderOnTheCallingThread) {
  const Grid grid = grid_from(SMALL);
  const auto caller = std::this_thread::get_id();
  std::vector<std::size_t> order;
  GridCallbacks callbacks;
  callbacks.deliver = [&](std::size_t i, ScenarioResult& r) {
    EXPECT_EQ(std::this_thread::get_id(), caller);
    EXPECT_TRUE(r.completed);
    order.push_back(i);
  };
  EXPECT_EQ(compute_grid_in_order(grid.scenarios, kemro::Engine::fast, false, 3, callbacks),
            grid.scenarios.size());
  std::vector<std::size_t> expected(grid.scenarios.size());
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = i;
  EXPECT_EQ(order, expected);
}

TEST(GridStream, AStoppedRunWritesAPrefixOfTheCompleteOutputThatIsStillWhole) {
  const Grid grid = grid_from(SMALL);
  const std::vector<ScenarioResult> all =
      compute_grid(grid.scenarios, kemro::Engine::fast, true, 2, [](std::size_t) {});
  struct Case {
    Format format;
    bool distribution;
  };
  const Case cases[] = {{Format::Csv, false},
                        {Format::Csv, true},
                        {Format::Json, false},
                        {Format::Json, true},
                        {Format::Text, false}};
  for (std::size_t stop_after : {1u, 3u}) {
    std::vector<ScenarioResult> delivered;
    GridCallbacks callbacks;
    callbacks.deliver = [&](std::size_t, ScenarioResult& r) { delivered.push_back(r); };
    callbacks.stop = [&] { return delivered.size() >= stop_after; };
    const std::size_t n =
        compute_grid_in_order(grid.scenarios, kemro::Engine::fast, true, 1, callbacks);
    ASSERT_EQ(n, delivered.size());
    // Everything finished before the stop was seen is delivered too: on a busy
    // machine the worker may have completed several scenarios by then.
    EXPECT_GE(n, stop_after);
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message()
                   << "stop after " << stop_after << ", format " << static_cast<int>(c.format)
                   << ", distribution " << c.distribution);
      const std::string complete = document(grid, c.format, c.distribution, all);
      const std::string part = document(grid, c.format, c.distribution, delivered);
      if (c.format == Format::Json) {
        EXPECT_TRUE(JsonChecker(part).well_formed()) << part;
        ASSERT_TRUE(part.ends_with("\n]\n"));
        EXPECT_TRUE(complete.starts_with(part.substr(0, part.size() - 3))) << part;
      } else {
        EXPECT_TRUE(complete.starts_with(part)) << part;
        EXPECT_TRUE(part.ends_with("\n"));
      }
      if (c.format == Format::Csv && !c.distribution) {
        EXPECT_EQ(lines_in(part), 1 + n);
      }
    }
  }
}

// kemro-grid started in `dir` with its output in out.txt; interrupted by
// `signal_number` once `lines` lines are written. Returns the exit status, or
// 128 + the signal that ended it.
int interrupted_run(const fs::path& dir, const std::vector<std::string>& args, int signal_number,
                    std::size_t lines) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(dir.c_str()) != 0 || !std::freopen("out.txt", "w", stdout) ||
        !std::freopen("err.txt", "w", stderr)) {
      ::_exit(127);
    }
    std::vector<char*> argv = {const_cast<char*>(KEMRO_GRID_EXE)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(KEMRO_GRID_EXE, argv.data());
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ADD_FAILURE() << "the run did not write " << lines << " lines in time";
    } else if (lines_in(read_file(dir / "out.txt")) >= lines) {
      ::kill(child, signal_number);
      ::waitpid(child, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(GridStream, SignalsStopTheRunWithTheirStatusAndWholeOutput) {
  // Long enough on one thread (with the nested engine) that the signal comes while work remains.
  const std::vector<std::string> grid_args = {
      "--applicants", "200:4000:200", "--minority-share", "0.2", "--selection-ratio", "0.2",
      "--d",          "0.5",          "--jobs",           "1",   "--engine",          "nested"};
  const Grid grid = grid_from(grid_args);
  struct Case {
    int signal_number;
    std::string format;
    int status;
  };
  for (const Case& c : {Case{SIGINT, "--csv", 130}, Case{SIGTERM, "--json", 143},
                        Case{SIGINT, "--distribution", 130}}) {
    SCOPED_TRACE(c.format + " " + std::to_string(c.signal_number));
    const fs::path dir = kemro::testing::make_temp_dir();
    std::vector<std::string> args = grid_args;
    args.push_back(c.format);
    // Header and one record (the JSON array's opening line has no line end).
    EXPECT_EQ(interrupted_run(dir, args, c.signal_number, c.format == "--json" ? 1 : 2), c.status);
    const std::string out = read_file(dir / "out.txt");
    const std::string err = read_file(dir / "err.txt");
    fs::remove_all(dir);
    EXPECT_NE(err.find("kemro-grid: stopped after "), std::string::npos) << err;

    // The same scenarios computed here give the same document.
    const Format format = c.format == "--csv"    ? Format::Csv
                          : c.format == "--json" ? Format::Json
                                                 : Format::Text;
    const bool distribution = c.format == "--distribution";
    const std::size_t done = std::stoul(err.substr(err.find("after ") + 6));
    ASSERT_GE(done, 1u);
    ASSERT_LT(done, grid.scenarios.size());
    const std::vector<Scenario> first(grid.scenarios.begin(), grid.scenarios.begin() + done);
    const auto results =
        compute_grid(first, kemro::Engine::nested, distribution, 2, [](std::size_t) {});
    EXPECT_EQ(out, document(grid, format, distribution, results));
    if (format == Format::Json) {
      EXPECT_TRUE(JsonChecker(out).well_formed()) << out;
    }
  }
}

}  // namespace

namespace {

TEST(GridTextTable, ColumnWidthsAreFixedBeforeTheFirstRow) {
  // The widest N and d of the grid size their columns for every row, the first included.
  GridOptions o;
  o.applicants = {10, 12345678};
  o.majority = {5};
  o.hires = {2};
  o.d = {0.5, -1.23456789e-05};
  o.engine = kemro::Engine::nested;  // N beyond the fast engine's limit
  const Grid grid = build_grid(o).grid;
  std::vector<ScenarioResult> results(grid.scenarios.size());
  for (ScenarioResult& r : results) r.completed = true;
  results[3].expected_AI = 123456789.5;  // too wide for its column
  const auto lines = kemro::testing::split_lines(render_text(grid, results, false));
  ASSERT_EQ(lines.size(), 5u);
  for (const std::string& line : lines) EXPECT_EQ(line.size(), lines[0].size()) << line;
  EXPECT_EQ(lines[0].substr(0, 9), "        N");
  EXPECT_NE(lines[4].find(" 12345678 "), std::string::npos);
  EXPECT_NE(lines[4].find(" -1.23457e-05 "), std::string::npos);
  EXPECT_NE(lines[4].find(" 123456790 "), std::string::npos);
}

TEST(GridTextTable, ValuesTooWideKeepTheirMostSignificantDigits) {
  struct Case {
    double value;
    int width, decimals;
    std::string text;
  };
  const Case cases[] = {
      {0.25, 11, 5, "    0.25000"},
      {123456.5, 11, 5, "   123456.5"},
      {1234567.25, 11, 5, " 1234567.25"},
      {1.5e300, 11, 5, "   1.5e+300"},
      {-0.0004, 7, 3, "  0.000"},  // a zero shows no sign, as in the report         {12345.6, 7, 3,
                                   // "  12346"},
      {std::nan(""), 7, 3, "  undef"},
      {HUGE_VAL, 7, 3, "    Inf"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fit_number(c.value, c.width, c.decimals), c.text) << c.value << " in " << c.width;
  }
}

}  // namespace
