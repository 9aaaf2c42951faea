// The command-line layer every KEMRO tool shares: each option is one
// definition in a table (its spelling, the name of its value, its help text,
// its help section and what it does with its value), and the parse loop and
// the option list of --help are both made from that table, so that an option
// cannot exist without its documentation.
//
// Arguments are "--name value" or "--name=value"; a flag takes no value. Each
// option may be given once. --help (or -h) and --version anywhere win over
// every other argument, even ones that would be refused. Parsing only records
// what was typed; tools derive their work from it in a separate step.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/message_text.hpp"

namespace kemro::cli {

// Sets an option from its value (empty for a flag). On failure returns false
// and says why in `error`, without the option's name: the parser adds it.
using OptionSetter = std::function<bool(std::string_view value, std::string& error)>;

struct OptionDef {
  std::string_view name;        // "--applicants"
  std::string_view value_name;  // "N" in "--applicants N"; empty: a flag without a value
  std::string_view help;        // one or more lines ('\n'), shown beside the name in --help
  std::string_view section;     // the heading of the --help section that lists it
  OptionSetter set;
};

struct CommandLine {
  bool help = false;
  bool version = false;
  std::vector<std::string> given;  // the options given, in order, as spelled in the table
  std::string error;               // empty when every argument was understood
  bool ok() const { return error.empty(); }
  bool has(std::string_view name) const;
};

// What a tool's parse_options returns: its options, or why the command line
// was refused.
template <typename Options>
struct Parsed {
  Options options;
  std::string error;  // empty when the command line was understood
  bool ok() const { return error.empty(); }
};

// A setter's work for a value that may be any text but an empty one ("an empty value").
bool set_text(std::string_view text, std::string& value, std::string& error);

// Runs the table's setters over the arguments after the program name. Errors:
// "unknown option '--x'", "unexpected argument 'x'", "--x is given more than
// once", "--x takes no value", "--x needs a value", "--x: <setter's reason>".
// With --help or --version nothing is set and no error is reported.
CommandLine parse_command_line(std::span<const OptionDef> table,
                               std::span<const std::string_view> args);

// The lines of --help for the options of one section, in table order: the
// name and value name in a column HELP_COLUMN wide, the help text beside them
// and its further lines aligned under it.
inline constexpr std::size_t HELP_COLUMN = 25;
std::string option_help(std::span<const OptionDef> table, std::string_view section);

// The option spellings of a table, for tests and fuzzing.
std::vector<std::string_view> option_names(std::span<const OptionDef> table);

// "'text'": how messages quote what the user typed; the library's own
// (model/message_text.hpp), so that tools and library quote alike.
using message::quoted;

}  // namespace kemro::cli
