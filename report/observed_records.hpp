// The three renderings of kemro-observed's results: a text report for
// reading, CSV and JSON for scripts.
//
// CSV and JSON carry one record per case and --d value, cases in input order
// and, within a case, the d values in the order given. A CSV file has one
// header line; JSON is an array with one object per line. The fields, in this
// order (the JSON keys are the same names):
//   label                  the case's label (a label column of --cases, or the
//                          --by value); present only when the cases have labels
//   N, N1, N2, K, S        applicants, majority and minority applicants, hires,
//                          minority hires (whole numbers)
//   SRA, SRI               observed selection rates (K - S) / N1 and S / N2
//   AI                     SRI / SRA; empty / null without a majority hire
//   four_fifths_violated   true when AI < 0.8 (decided in whole numbers),
//                          false otherwise and when AI is undefined
//   shortfall              K N2 / N - S: minority hires missing to equal rates
//                          (negative when the minority did better)
//   z, p_z_two_sided       two-proportion Z statistic with pooled variance,
//                          (SRA - SRI) / SE, and its two-sided normal p-value
//   p_fisher_one_sided     Fisher's exact test: P(S <= s) with the margins fixed
//   p_fisher_two_sided     the total probability of the tables no more probable
//                          than the observed one (relative tolerance 1e-7)
//   d                      the model effect size of this record
//   P_S_at_most_observed   P(S <= s | d) under top-down selection on normal scores
//   P_AI_at_most_observed  P(AI <= observed AI | d); equals the previous field
//                          because AI rises with S; empty / null when the
//                          observed AI is undefined
//   d_ml                   the d that maximises P(S = s | d)
//   d_lower, d_upper       the exact 1 - alpha interval for d:
//                          P(S <= s | d_lower) = alpha/2 = P(S >= s | d_upper)
//   alpha                  as given by --alpha
//   status                 "converged"; "no_bracket" when an end or the ML d
//                          lies beyond |d| = 40 (that value is empty / null);
//                          "engine_failed" when the engine reported trouble;
//                          "not analysed: <why>" for a pair of a --by subgroup
//                          that cannot be analysed (every value but the counts
//                          is then empty / null)
//   p_fisher_mid_p         Lancaster's mid-P, P(S < s) + P(S = s) / 2 (one-sided)
//   z_ir, p_z_ir           the Z statistic of ln AI, ln(SRI/SRA) / sqrt((1 - P)/(P N2)
//                          + (1 - P)/(P N1)) with P = K/N, and its two-sided
//                          p-value; empty / null when s = 0 or K - s = 0
//   AI_lower, AI_upper     the 1 - alpha interval of AI, exp(ln AI -+ z_{1-alpha/2}
//                          sqrt((1 - SRI)/s + (1 - SRA)/(K - s))); empty / null
//                          when s = 0 or K - s = 0 ...
//   AI_interval_missing    ... and then the reason, else empty / null
//   four_fifths_survives_flip  true when AI < threshold also with one majority
//                          hire replaced by a minority hire
//   threshold              the four-fifths rule's threshold, as given by --threshold
//   flags_<rule>           for each rule of distribution/rules.hpp, in its order
//                          (four_fifths, z, z_ir, fisher, fisher_one_sided,
//                          fisher_mid_p, four_fifths_and_z, four_fifths_and_fisher,
//                          four_fifths_flip): true when it flags this decision
//                          at alpha and threshold
//   false_flag_rate_<rule> for each rule in the same order: the exact probability
//                          that it flags a decision of this size (N1, N2, K)
//                          when hiring ignores group (hypergeometric S)
//   group, reference       applicant data only: the group compared (the
//                          minority of N2 and S) and the group it is compared
//                          with (the majority of N1); the counts are those of
//                          the two groups alone
//   P_any_flag_fair        applicant data only: P(some group's selection rate
//                          below four fifths of the highest) when every set of
//                          K hires from all the case's groups is equally likely
//                          (2 to 6 groups; empty / null otherwise)
// An end that does not exist (the upper end and the ML d when s is the smallest
// feasible value, the lower end and the ML d when it is the largest) lies at
// infinity: Inf or -Inf in CSV, the string "Inf" or "-Inf" in JSON, as R and
// pandas read them back. An undefined value is empty in CSV and null in JSON.
// Every other number is the shortest text that reads back as the same double.
//
// Records are written case by case as the cases are computed (CaseStream), so
// that a run stopped by a signal ends with every finished case written and a
// JSON array closed. Fields may be added after these in later versions; their
// names and order will not change.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "distribution/observed.hpp"
#include "distribution/observed_case.hpp"
#include "report/json.hpp"

namespace kemro::observed {

enum class Format { Text, Csv, Json };

// The results of one case: one per d value (one holding only the counts when
// the case cannot be analysed), and for applicant data the probability that a
// fair selection (every set of K hires from the case's groups equally likely)
// puts some group below four fifths of the highest selection rate.
struct CaseResult {
  Case input;
  std::vector<ObservedResult> records;
  double P_any_flag_fair = std::numeric_limits<double>::quiet_NaN();
};

// The results of one case for the d values: its analysis, or a record of
// its counts alone when it cannot be analysed, and for applicant data the
// fair-selection probability over all its groups. `error` is set (and the
// records are empty) when the analysis refuses the counts or alpha.
CaseResult analyse_case(const Case& c, std::span<const double> d, double alpha, double threshold,
                        std::string& error);

// One column of the machine-readable records: its name and what it means.
struct Column {
  std::string_view name;
  std::string_view meaning;
};
// Every column but label, in record order.
std::vector<Column> record_columns();

// One value of a record: a count, a number (NaN where the field is empty, an
// infinity where it reads Inf or -Inf), a flag or a text.
using RecordCell = std::variant<std::int64_t, double, bool, std::string>;

// The values of one record, in record_columns() order: the fields CSV and
// JSON write, read back (a number's shortest round-trip text gives back the
// same double).
std::vector<RecordCell> record_cells(const ObservedResult& record);

std::string render_csv(const std::vector<CaseResult>& results, bool labelled);
std::string render_json(const std::vector<CaseResult>& results, bool labelled);
std::string render_text(const std::vector<CaseResult>& results, bool labelled);

// One rendering written piece by piece: head() first, record() for each case
// in order, tail() last; together they equal the render_ function's text.
class CaseStream {
 public:
  // `grouped`: applicant data, whose records end in group, reference and P_any_flag_fair.
  CaseStream(Format format, bool labelled, bool grouped = false);
  std::string head() const;
  std::string record(const CaseResult& result);
  std::string tail() const;

 private:
  Format format_;
  bool labelled_;
  bool grouped_;
  std::size_t cases_ = 0;  // cases written
  cli::JsonArray array_;
};

// The sentence that closes a case in the text report.
std::string summary_sentence(const CaseResult& result);

// How a status is spelled in the records.
std::string_view status_name(EstimateStatus status);

}  // namespace kemro::observed
