// The shared command-line layer: the parse loop's refusals, values given
// either way, and the --help lines made from an option table.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tools/common/options.hpp"

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

}  // namespace
