// Command-line options of kemro-observed, on the shared option layer
// (tools/common/options.hpp). The decisions to analyse come from exactly one of
// three sources: the four count options (each one value, a list or a range;
// one case per combination), a --cases file of counts, or an --applicant-data
// file with one row per applicant. Parsing reads no file and computes nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "report/observed_records.hpp"
#include "tools/common/options.hpp"
#include "tools/observed/cases.hpp"

namespace kemro::observed {

// Most records (cases times --d values) one run may compute: about an hour
// at the slowest cases' pace, and a bound on the output.
inline constexpr std::size_t MAX_RECORDS = 100000;
// The largest file read: 256 MiB. A file is held whole while its records are
// read one at a time, so memory stays near this; larger data sets are split.
inline constexpr std::size_t MAX_FILE_BYTES = std::size_t{256} << 20;

struct ObservedOptions {
  std::vector<std::int32_t> applicants;      // N
  std::vector<std::int32_t> majority;        // N1
  std::vector<std::int32_t> hires;           // K
  std::vector<std::int32_t> minority_hires;  // S
  std::string cases_file;                    // --cases
  std::string applicant_file;                // --applicant-data
  ApplicantColumns columns;                  // --group-column, --minority, --hired-column, --by
  char delimiter = 0;                        // --delimiter; 0: detected from the header line
  std::vector<double> d = {0.0};             // model effect sizes
  double alpha = DEFAULT_ALPHA;
  double threshold = DEFAULT_THRESHOLD;  // of the four-fifths rule in the rule table
  Format format = Format::Text;
  bool help = false;
  bool version = false;
};

using ParsedOptions = cli::Parsed<ObservedOptions>;

inline constexpr std::string_view INPUT_SECTION = "Input options.";
inline constexpr std::string_view MODEL_SECTION = "Model options.";
inline constexpr std::string_view OUTPUT_SECTION = "Output options.";

// The option definitions; the setters write into `target`.
std::vector<cli::OptionDef> option_table(ObservedOptions& target);

// Parses the arguments after the program name: one source of cases, its
// companions only with it, --csv and --json not together.
ParsedOptions parse_options(std::span<const std::string_view> args);

// The cases spanned by the count options, the minority hires varying fastest;
// the first invalid one is named in the error.
CaseList cases_from_counts(const ObservedOptions& options);

// Why `cases` cases at `d_values` values of d (at least 1) make too many
// records, or an empty text.
std::string records_error(std::size_t cases, std::size_t d_values);

// The text of --help.
std::string help_text();

}  // namespace kemro::observed
