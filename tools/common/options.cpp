#include "tools/common/options.hpp"

#include <algorithm>

namespace kemro::cli {

namespace {

// The option name and its value of one argument, "--name value" or "--name=value".
struct OptionValue {
  std::string_view name;
  std::string_view value;
  bool has_value = false;
};

OptionValue split_option(std::string_view arg) {
  const std::size_t equals = arg.find('=');
  if (arg.starts_with("--") && equals != std::string_view::npos) {
    return {arg.substr(0, equals), arg.substr(equals + 1), true};
  }
  return {arg, {}, false};
}

const OptionDef* find_option(std::span<const OptionDef> table, std::string_view name) {
  const auto it =
      std::find_if(table.begin(), table.end(), [&](const OptionDef& o) { return o.name == name; });
  return it == table.end() ? nullptr : &*it;
}

}  // namespace

bool set_text(std::string_view text, std::string& value, std::string& error) {
  if (text.empty()) {
    error = "an empty value";
    return false;
  }
  value = std::string(text);
  return true;
}

bool CommandLine::has(std::string_view name) const {
  return std::find(given.begin(), given.end(), name) != given.end();
}

CommandLine parse_command_line(std::span<const OptionDef> table,
                               std::span<const std::string_view> args) {
  CommandLine line;
  for (std::string_view arg : args) {
    if (arg == "--help" || arg == "-h") line.help = true;
    if (arg == "--version") line.version = true;
  }
  if (line.help || line.version) return line;

  for (std::size_t i = 0; i < args.size(); ++i) {
    OptionValue option = split_option(args[i]);
    const std::string name(option.name);
    const OptionDef* def = find_option(table, option.name);
    if (def == nullptr) {
      line.error = option.name.starts_with("-") ? "unknown option " + quoted(option.name)
                                                : "unexpected argument " + quoted(option.name);
      return line;
    }
    if (line.has(name)) {
      line.error = name + " is given more than once";
      return line;
    }
    line.given.push_back(name);
    const bool flag = def->value_name.empty();
    if (flag && option.has_value) {
      line.error = name + " takes no value";
      return line;
    }
    if (!flag && !option.has_value) {
      if (i + 1 == args.size()) {
        line.error = name + " needs a value";
        return line;
      }
      option.value = args[++i];
    }
    std::string error;
    if (def->set && !def->set(option.value, error)) {
      line.error = name + ": " + error;
      return line;
    }
  }
  return line;
}

std::string option_help(std::span<const OptionDef> table, std::string_view section) {
  std::string text;
  for (const OptionDef& o : table) {
    if (o.section != section) continue;
    std::string head(2, ' ');
    head.append(o.name);
    if (!o.value_name.empty()) {
      head.push_back(' ');
      head.append(o.value_name);
    }
    std::string_view help = o.help;
    bool first = true;
    for (;;) {
      const std::size_t end = help.find('\n');
      const std::string_view line = help.substr(0, end);
      std::string lead = first ? head : std::string();
      if (lead.size() + 1 > HELP_COLUMN) {
        text += lead + "\n";
        lead.clear();
      }
      lead.resize(HELP_COLUMN, ' ');
      text += lead;
      text += line;
      text += "\n";
      first = false;
      if (end == std::string_view::npos) break;
      help.remove_prefix(end + 1);
    }
  }
  return text;
}

std::vector<std::string_view> option_names(std::span<const OptionDef> table) {
  std::vector<std::string_view> names;
  for (const OptionDef& o : table) names.push_back(o.name);
  return names;
}

}  // namespace kemro::cli
