#include "tools/observed/options.hpp"

#include <cmath>

#include "tools/common/values.hpp"

namespace kemro::observed {
namespace {

using cli::quoted;

bool set_file(std::string_view value, std::string& file, std::string& error) {
  if (value.empty()) {
    error = "an empty file name";
    return false;
  }
  file = std::string(value);
  return true;
}

bool set_alpha(std::string_view value, double& alpha, std::string& error) {
  if (!cli::parse_real(value, alpha, error)) return false;
  if (!(alpha > 0.0 && alpha < 1.0)) {
    error = quoted(value) + " is not between 0 and 1 (exclusive)";
    return false;
  }
  return true;
}

bool set_threshold(std::string_view value, double& threshold, std::string& error) {
  if (!cli::parse_real(value, threshold, error)) return false;
  if (!(threshold > 0.0 && threshold <= 1.0)) {
    error = quoted(value) + " is not in (0, 1]";
    return false;
  }
  return true;
}

bool set_delimiter(std::string_view value, char& delimiter, std::string& error) {
  if (cli::parse_delimiter(value, delimiter)) return true;
  error = quoted(value) + " is not comma, semicolon or tab";
  return false;
}

// Which source the options name, or why they do not name exactly one.
std::string source_error(const cli::CommandLine& line) {
  const bool counts = line.has("--applicants") || line.has("--majority") || line.has("--hires") ||
                      line.has("--minority-hires");
  const int sources =
      (counts ? 1 : 0) + (line.has("--cases") ? 1 : 0) + (line.has("--applicant-data") ? 1 : 0);
  if (sources == 0) {
    return "no cases: give --applicants, --majority, --hires and --minority-hires, or --cases, "
           "or --applicant-data";
  }
  if (sources > 1) return "give the counts, --cases or --applicant-data, only one of them";
  if (counts) {
    for (std::string_view name : {"--applicants", "--majority", "--hires", "--minority-hires"}) {
      if (!line.has(name)) return std::string(name) + " is required with the other counts";
    }
  }
  const bool data = line.has("--applicant-data");
  for (std::string_view name : {"--group-column", "--hired-column"}) {
    if (data && !line.has(name)) return std::string(name) + " is required with --applicant-data";
  }
  for (std::string_view name : {"--group-column", "--minority", "--reference", "--hired-column"}) {
    if (!data && line.has(name)) return std::string(name) + " needs --applicant-data";
  }
  if (!data && line.has("--by")) return "--by needs --applicant-data";
  if (!data && !line.has("--cases") && line.has("--delimiter")) {
    return "--delimiter needs --cases or --applicant-data";
  }
  return {};
}

}  // namespace

std::vector<cli::OptionDef> option_table(ObservedOptions& o) {
  const auto counts = [](std::vector<std::int32_t>& v) {
    return [&v](std::string_view s, std::string& e) { return cli::parse_count_list(s, v, e); };
  };
  const auto file = [](std::string& f) {
    return [&f](std::string_view s, std::string& e) { return set_file(s, f, e); };
  };
  const auto text = [](std::string& t) {
    return [&t](std::string_view s, std::string& e) { return cli::set_text(s, t, e); };
  };
  const auto format = [&o](Format f) {
    return [&o, f](std::string_view, std::string&) {
      o.format = f;
      return true;
    };
  };
  return {
      {"--applicants", "N", "total number of applicants", INPUT_SECTION, counts(o.applicants)},
      {"--majority", "N1", "majority applicants, 1 <= N1 <= N - 1", INPUT_SECTION,
       counts(o.majority)},
      {"--hires", "K", "number hired, 1 <= K <= N - 1", INPUT_SECTION, counts(o.hires)},
      {"--minority-hires", "S", "minority applicants hired,\nmax(0, K - N1) <= S <= min(K, N2)",
       INPUT_SECTION, counts(o.minority_hires)},
      {"--cases", "FILE.csv",
       "instead of the counts: one case per row, columns N,\nN1, K, S and an optional label",
       INPUT_SECTION, file(o.cases_file)},
      {"--applicant-data", "FILE.csv",
       "instead of the counts: one row per applicant; needs\nthe three options below",
       INPUT_SECTION, file(o.applicant_file)},
      {"--group-column", "NAME", "the column holding each applicant's group", INPUT_SECTION,
       text(o.columns.group)},
      {"--minority", "VALUE",
       "compare only this group with the reference (default:\n"
       "every group other than the reference, one record each)",
       INPUT_SECTION, text(o.columns.minority)},
      {"--reference", "VALUE",
       "the group the others are compared with (default: in\n"
       "each case the group with the highest selection rate)",
       INPUT_SECTION, text(o.columns.reference)},
      {"--hired-column", "NAME",
       "the column saying hired: 1/0, yes/no, y/n, true/false,\nin any letter case", INPUT_SECTION,
       text(o.columns.hired)},
      {"--by", "COLUMN", "one case per value of this column (default: one case)", INPUT_SECTION,
       text(o.columns.by)},
      {"--delimiter", "SEP",
       "the files' field separator: comma, semicolon or tab\n(default: found in the header line)",
       INPUT_SECTION,
       [&o](std::string_view s, std::string& e) { return set_delimiter(s, o.delimiter, e); }},
      {"--d", "D",
       "effect sizes of the model at which P(S <= s | d) is\nreported (default 0; lists and "
       "ranges allowed)",
       MODEL_SECTION,
       [&o](std::string_view s, std::string& e) { return cli::parse_real_list(s, o.d, e); }},
      {"--alpha", "A",
       "1 - confidence of the intervals for d and AI, and the\n"
       "rules' two-sided level (default 0.05)",
       MODEL_SECTION,
       [&o](std::string_view s, std::string& e) { return set_alpha(s, o.alpha, e); }},
      {"--threshold", "T", "the four-fifths rule's threshold, 0 < T <= 1 (default 0.8)",
       MODEL_SECTION,
       [&o](std::string_view s, std::string& e) { return set_threshold(s, o.threshold, e); }},
      {"--csv", "", "comma-separated values, one record per case and d", OUTPUT_SECTION,
       format(Format::Csv)},
      {"--json", "", "a JSON array, one object per case and d", OUTPUT_SECTION,
       format(Format::Json)},
      {"--help", "", "this text", OUTPUT_SECTION, nullptr},
      {"--version", "", "the program version", OUTPUT_SECTION, nullptr},
  };
}

ParsedOptions parse_options(std::span<const std::string_view> args) {
  ParsedOptions parsed;
  ObservedOptions& o = parsed.options;
  const std::vector<cli::OptionDef> table = option_table(o);
  const cli::CommandLine line = cli::parse_command_line(table, args);
  o.help = line.help;
  o.version = line.version;
  if (!line.ok() || o.help || o.version) {
    parsed.error = line.error;
    return parsed;
  }
  parsed.error = line.has("--csv") && line.has("--json") ? "--csv and --json exclude each other"
                                                         : source_error(line);
  if (parsed.error.empty() && !o.columns.minority.empty() &&
      o.columns.minority == o.columns.reference) {
    parsed.error = "--minority and --reference name the same group";
  }
  return parsed;
}

std::string records_error(std::size_t cases, std::size_t d_values) {
  if (cases <= MAX_RECORDS / d_values) return {};
  return std::to_string(cases) + " cases times " + std::to_string(d_values) +
         " --d values make more than " + std::to_string(MAX_RECORDS) +
         " records; split the cases or give fewer d values";
}

CaseList cases_from_counts(const ObservedOptions& o) {
  CaseList list;
  const std::size_t total =
      o.applicants.size() * o.majority.size() * o.hires.size() * o.minority_hires.size();
  if (total > MAX_CASES) {
    list.error = "the counts span " + std::to_string(total) + " cases, more than " +
                 std::to_string(MAX_CASES);
    return list;
  }
  if (std::string why = records_error(total, o.d.size()); !why.empty()) {
    list.error = why;
    return list;
  }
  for (std::int32_t N : o.applicants) {
    for (std::int32_t N1 : o.majority) {
      for (std::int32_t K : o.hires) {
        for (std::int32_t S : o.minority_hires) {
          Case c;
          c.counts = {N, N1, K, S};
          const std::string why = observed_counts_error(c.counts);
          if (!why.empty()) {
            list.error = "case N = " + std::to_string(N) + ", N1 = " + std::to_string(N1) +
                         ", K = " + std::to_string(K) + ", S = " + std::to_string(S) + ": " + why;
            return list;
          }
          list.cases.push_back(c);
        }
      }
    }
  }
  return list;
}

}  // namespace kemro::observed
