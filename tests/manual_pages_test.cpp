// The manual pages against the programs' own help: every option that a
// program's --help names appears on that program's page in man/, so that an
// option added to an option table cannot go undocumented there.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "tests/support/kemro_process.hpp"
#include "tests/support/program_process.hpp"

namespace kemro::testing {
namespace {

// The long options ("--name") a text names.
std::set<std::string> long_options(const std::string& text) {
  static const std::regex OPTION("--[a-z][a-z0-9]*(-[a-z0-9]+)*");
  std::set<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), OPTION);
       it != std::sregex_iterator(); ++it) {
    found.insert(it->str());
  }
  return found;
}

// A manual page as plain text: the escaped hyphens (\-) made plain and the
// font changes (\fB, \fR, ...) removed, so that "\fB\-\-hires\fR" reads "--hires".
std::string plain_page(std::string page) {
  page = std::regex_replace(page, std::regex(R"(\\f[A-Z])"), "");
  return std::regex_replace(page, std::regex(R"(\\-)"), "-");
}

struct Tool {
  const char* executable;
  const char* page;  // in man/
};

TEST(ManualPages, NameEveryOptionTheirProgramsHelpNames) {
  const Tool tools[] = {{KEMRO_EXE, "kemro.1"},
                        {KEMRO_GRID_EXE, "kemro-grid.1"},
                        {KEMRO_OBSERVED_EXE, "kemro-observed.1"},
                        {KEMRO_SERVE_EXE, "kemro-serve.1"}};
  const auto dir = make_temp_dir();
  for (const Tool& tool : tools) {
    const ProcessRun help = run_program(tool.executable, {"--help"}, dir);
    ASSERT_EQ(help.status, 0) << tool.executable << ": " << help.err;
    const std::set<std::string> options = long_options(help.out);
    EXPECT_FALSE(options.empty()) << tool.executable;
    const std::set<std::string> documented = long_options(
        plain_page(read_file(std::filesystem::path(KEMRO_SOURCE_DIR) / "man" / tool.page)));
    for (const std::string& option : options) {
      EXPECT_TRUE(documented.count(option)) << option << " is missing from man/" << tool.page;
    }
  }
}

// A help line ended by a word that leads into the next ("Records: the") and
// still short with the next line's first word added is a paragraph broken
// by hand in the wrong place.
TEST(ManualPages, HelpParagraphsAreNotBrokenAfterALeadingWord) {
  constexpr std::size_t SHORT_LINE = 60;  // the help texts fill lines to 66 to 80 columns
  static const std::regex DANGLING(R"((^|\s)(the|a|an|to|and|or)$)");
  const auto dir = make_temp_dir();
  for (const char* executable : {KEMRO_EXE, KEMRO_GRID_EXE, KEMRO_OBSERVED_EXE, KEMRO_SERVE_EXE}) {
    const auto lines = split_lines(run_program(executable, {"--help"}, dir).out);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
      const std::string& next = lines[i + 1];
      const std::size_t word = next.find_first_not_of(' ');
      if (word == std::string::npos || !std::regex_search(lines[i], DANGLING)) continue;
      const std::size_t word_size = std::min(next.find(' ', word), next.size()) - word;
      EXPECT_GE(lines[i].size() + 1 + word_size, SHORT_LINE)
          << executable << ": \"" << lines[i] << "\" before \"" << next << "\"";
    }
  }
}

}  // namespace
}  // namespace kemro::testing
