// The shared command-line layer: the parse loop's refusals, values given
// either way, the --help lines made from an option table, echoed input shown
// escaped, and the bound on input files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/program_process.hpp"
#include "tools/common/diagnostics.hpp"
#include "tools/common/options.hpp"
#include "tools/common/text_file.hpp"

namespace {

using kemro::cli::OptionDef;
using kemro::cli::parse_command_line;

struct Target {
  std::string name;
  bool flag = false;
};

std::vector<OptionDef> table(Target& t) {
  return {
      {"--name", "TEXT", "a value\nits second line", "A",
       [&t](std::string_view v, std::string& e) {
         if (v == "bad") {
           e = "'bad' is not allowed";
           return false;
         }
         t.name = std::string(v);
         return true;
       }},
      {"--flag", "", "a flag", "A",
       [&t](std::string_view, std::string&) {
         t.flag = true;
         return true;
       }},
      {"--a-very-long-option-name", "VALUE", "beside a name too long for the column", "B", nullptr},
  };
}

TEST(CliOptions, ParsesValuesGivenEitherWayAndRefusesWhatItCannotUse) {
  struct Case {
    std::vector<std::string_view> args;
    std::string error;  // empty: accepted
  } cases[] = {
      {{"--name", "x", "--flag"}, ""},
      {{"--name=x=y"}, ""},
      {{"--name", "--flag"}, ""},  // a value may start with dashes
      {{"--name"}, "--name needs a value"},
      {{"--flag=1"}, "--flag takes no value"},
      {{"--flag", "--flag"}, "--flag is given more than once"},
      {{"--nope"}, "unknown option '--nope'"},
      {{"stray"}, "unexpected argument 'stray'"},
      {{"--name", "bad"}, "--name: 'bad' is not allowed"},
      {{"--nope", "--version"}, ""},  // --version wins over anything refused
  };
  for (const Case& c : cases) {
    Target t;
    const auto defs = table(t);
    const auto line = parse_command_line(defs, c.args);
    EXPECT_EQ(line.error, c.error) << c.args.size() << " arguments, first " << c.args[0];
  }
  Target t;
  const auto defs = table(t);
  const std::vector<std::string_view> args = {"--name=x=y", "--flag"};
  const auto line = parse_command_line(defs, args);
  EXPECT_EQ(t.name, "x=y");
  EXPECT_TRUE(t.flag);
  EXPECT_TRUE(line.has("--flag"));
  EXPECT_FALSE(line.has("--a-very-long-option-name"));
}

TEST(CliOptions, HelpListsEachSectionInColumns) {
  Target t;
  const auto defs = table(t);
  EXPECT_EQ(kemro::cli::option_help(defs, "A"),
            "  --name TEXT            a value\n"
            "                         its second line\n"
            "  --flag                 a flag\n");
  EXPECT_EQ(kemro::cli::option_help(defs, "B"),
            "  --a-very-long-option-name VALUE\n"
            "                         beside a name too long for the column\n");
}

TEST(CliDiagnostics, EchoedInputIsShownEscapedNeverRaw) {
  struct Case {
    std::string_view text, shown;
  } cases[] = {
      {"plain 'text' \\ kept", "plain 'text' \\ kept"},
      {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},  // UTF-8 letters stay
      {"a\x1B[2Jb", "a\\x1B[2Jb"},                               // an escape sequence
      {"tab\there\nnew\rline", "tab\\there\\nnew\\rline"},
      {std::string_view("nul\0del\x7F", 8), "nul\\x00del\\x7F"},
      {"c1 \xC2\x9B"
       "2J",
       "c1 \\xC2\\x9B2J"},                 // the 8-bit CSI as UTF-8
      {"bad \xFF\xC3", "bad \\xFF\\xC3"},  // not UTF-8, and cut short
  };
  for (const Case& c : cases) EXPECT_EQ(kemro::cli::printable(c.text), c.shown) << c.shown;
}

TEST(CliTextFile, SizeIsBoundedBeforeAndWhileReading) {
  const std::filesystem::path dir = kemro::testing::make_temp_dir();
  kemro::testing::write_file(dir / "f.csv", "0123456789");
  std::string text;
  std::string error;
  using kemro::cli::read_text_file;
  using kemro::cli::ReadStatus;
  EXPECT_EQ(read_text_file((dir / "f.csv").string(), 10, text, error), ReadStatus::read);
  EXPECT_EQ(text, "0123456789");
  EXPECT_EQ(read_text_file((dir / "f.csv").string(), 9, text, error), ReadStatus::too_large);
  EXPECT_EQ(error, (dir / "f.csv").string() + " is larger than 9 bytes");
  // A device has no size to check first: the bound holds while reading.
  EXPECT_EQ(read_text_file("/dev/zero", std::size_t{1} << 20, text, error), ReadStatus::too_large);
  EXPECT_EQ(error, "/dev/zero is larger than 1 MiB");
  EXPECT_EQ(read_text_file((dir / "none").string(), 9, text, error), ReadStatus::unreadable);
  EXPECT_EQ(error, "cannot read " + (dir / "none").string() + ": No such file or directory");
  std::filesystem::remove_all(dir);
}

}  // namespace
