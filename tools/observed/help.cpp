// The text of kemro-observed --help: the option lists come from the option
// table, the record fields from the column list of the output.
#include "report/observed_records.hpp"
#include "tools/observed/options.hpp"

namespace kemro::observed {

std::string help_text() {
  ObservedOptions unused;
  const std::vector<cli::OptionDef> table = option_table(unused);
  std::string fields;
  for (const Column& c : record_columns()) {
    std::string name = "  " + std::string(c.name);
    name.resize(cli::HELP_COLUMN, ' ');
    fields += name + std::string(c.meaning) + "\n";
  }
  return R"(Usage: kemro-observed --applicants N --majority N1 --hires K --minority-hires S
                      [--d D] [--alpha A] [output options]
       kemro-observed --cases FILE.csv [--d D] [--alpha A] [output options]
       kemro-observed --applicant-data FILE.csv --group-column NAME
                      --hired-column NAME [--minority VALUE] [--reference VALUE]
                      [--by COLUMN] [...]

Analyses actual hiring decisions: K hires from N applicants (N1 majority,
N2 = N - N1 minority), S of the hires from the minority. For each decision it
reports the observed selection rates and adverse impact ratio AI = SRI / SRA,
the four-fifths rule, the two-proportion Z test and Fisher's exact test, and,
under top-down selection on normal scores (majority mean d, minority mean 0,
unit variances), P(S <= s | d) for each --d, the maximum-likelihood d and an
exact 1 - alpha interval for d.

Input options.
)" + cli::option_help(table, INPUT_SECTION) +
         R"(  With --applicant-data every value of the group column is a group of its
  own. Each group is compared with the reference group alone (the counts of
  a record are those of the two groups), one record per compared group, and
  the report lists every group with its counts and rates. Under --by, a
  subgroup pair that cannot be analysed (no applicants of the group, say)
  gets a record whose status says why, and the others are still analysed.
  Count options take one value, a comma list or a range start:stop:step (or
  start:stop, stepping by 1); there is one case per combination. Files are CSV
  (RFC 4180: quoted fields, CR LF) in UTF-8 with or without a byte-order mark,
  the first line naming the columns, separated by commas, semicolons or tabs
  (whichever the first line holds most of, or --delimiter); unnamed empty
  columns at the end are ignored. A file may hold at most 256 MiB and a run at
  most 100000 records (cases times --d values). Every case is checked before
  anything is computed.

Model options.
)" + cli::option_help(table, MODEL_SECTION) +
         R"(
Output options.
)" + cli::option_help(table, OUTPUT_SECTION) +
         R"(  Options take their value as the next argument or after '=' (--d=0.5).

Record fields of --csv and --json (one record per case and d; a label field
first when the cases have labels):
)" + fields +
         R"(  Undefined values are empty in CSV and null in JSON; unbounded ends of the
  interval (and the ML d at an end) are Inf or -Inf in CSV, "Inf" or "-Inf"
  in JSON. Records are written as each case is computed; SIGINT or SIGTERM
  stops the run with every finished case written and a JSON array closed.

Exit status: 0 when every case was computed; 1 when an input file cannot be
read, the output cannot be written or memory runs out; 2 for invalid options
or input; 130 or 143 when stopped by SIGINT or SIGTERM.
)";
}

}  // namespace kemro::observed
