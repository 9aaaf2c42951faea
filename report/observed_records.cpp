#include "report/observed_records.hpp"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "distribution/groups.hpp"
#include "report/json.hpp"
#include "report/numbers.hpp"

namespace kemro::observed {
namespace {

// Numbers in the records: shortest round-trip text, infinities as Inf and
// -Inf, NaN empty.
std::string exact_number(double value) {
  return cli::signed_number(value);
}

enum class Kind { Count, Number, Boolean, Text };

// One record column; `rule` is the position in RULES of a per-rule column.
struct ColumnDef {
  std::string name;
  std::string meaning;
  Kind kind;
  std::string (*field)(const ObservedResult&, std::size_t rule);
  std::size_t rule = 0;
};

std::string count(std::int32_t n) {
  return std::to_string(n);
}

std::string boolean(bool b) {
  return b ? "true" : "false";
}

// The record columns after label; the output header documents them.
std::vector<ColumnDef> base_columns() {
  return {
      {"N", "applicants", Kind::Count,
       [](const ObservedResult& r, std::size_t) { return count(r.N); }},
      {"N1", "majority applicants", Kind::Count,
       [](const ObservedResult& r, std::size_t) { return count(r.N1); }},
      {"N2", "minority applicants", Kind::Count,
       [](const ObservedResult& r, std::size_t) { return count(r.N2); }},
      {"K", "hires", Kind::Count, [](const ObservedResult& r, std::size_t) { return count(r.K); }},
      {"S", "minority hires", Kind::Count,
       [](const ObservedResult& r, std::size_t) { return count(r.S); }},
      {"SRA", "majority selection rate (K - S) / N1", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.SRA); }},
      {"SRI", "minority selection rate S / N2", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.SRI); }},
      {"AI", "SRI / SRA; undefined without a majority hire", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.AI); }},
      {"four_fifths_violated", "AI < 0.8 (false when AI is undefined)", Kind::Boolean,
       [](const ObservedResult& r, std::size_t) { return boolean(r.four_fifths_violated); }},
      {"shortfall", "K N2 / N - S: minority hires missing to equal rates", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.shortfall); }},
      {"z", "(SRA - SRI) / pooled standard error", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.z); }},
      {"p_z_two_sided", "two-sided normal p-value of z", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.p_z_two_sided); }},
      {"p_fisher_one_sided", "Fisher's exact test, P(S <= s) with fixed margins", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.p_fisher_one_sided); }},
      {"p_fisher_two_sided", "Fisher's exact test, tables no more probable", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.p_fisher_two_sided); }},
      {"d", "the model effect size of the record", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.d); }},
      {"P_S_at_most_observed", "P(S <= s | d)", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.P_S_at_most_observed); }},
      {"P_AI_at_most_observed", "P(AI <= observed AI | d); undefined with AI", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.P_AI_at_most_observed); }},
      {"d_ml", "the d maximising P(S = s | d)", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.d_ml); }},
      {"d_lower", "P(S <= s | d_lower) = alpha/2; empty when unbounded", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.d_lower); }},
      {"d_upper", "P(S >= s | d_upper) = alpha/2; empty when unbounded", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.d_upper); }},
      {"alpha", "1 - confidence of the interval", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.alpha); }},
      {"status", "converged, no_bracket or engine_failed", Kind::Text,
       [](const ObservedResult& r, std::size_t) { return std::string(status_name(r.estimate)); }},
      {"p_fisher_mid_p", "Fisher's mid-P, P(S < s) + P(S = s) / 2", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.p_fisher_mid_p); }},
      {"z_ir", "Z of ln AI; undefined when s = 0 or K - s = 0", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.z_ir); }},
      {"p_z_ir", "two-sided normal p-value of z_ir", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.p_z_ir); }},
      {"AI_lower", "1 - alpha interval of AI, lower end; empty when s = 0 or K - s = 0",
       Kind::Number, [](const ObservedResult& r, std::size_t) { return exact_number(r.AI_lower); }},
      {"AI_upper", "its upper end", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.AI_upper); }},
      {"AI_interval_missing", "why the AI interval is empty, else empty", Kind::Text,
       [](const ObservedResult& r, std::size_t) { return std::string(r.AI_interval_missing); }},
      {"four_fifths_survives_flip", "AI < threshold also with one hire moved to the minority",
       Kind::Boolean,
       [](const ObservedResult& r, std::size_t) { return boolean(r.four_fifths_survives_flip); }},
      {"threshold", "the four-fifths rule's threshold in the rule results", Kind::Number,
       [](const ObservedResult& r, std::size_t) { return exact_number(r.threshold); }},
  };
}

// The base columns, then flags_<rule> for every rule, then false_flag_rate_<rule>.
std::vector<ColumnDef> make_columns() {
  std::vector<ColumnDef> columns = base_columns();
  for (std::size_t k = 0; k < RULE_COUNT; ++k) {
    columns.push_back(
        {"flags_" + std::string(RULES[k].name),
         "whether " + std::string(RULES[k].words) + " flags the decision", Kind::Boolean,
         [](const ObservedResult& r, std::size_t rule) { return boolean(r.flags[rule]); }, k});
  }
  for (std::size_t k = 0; k < RULE_COUNT; ++k) {
    columns.push_back({"false_flag_rate_" + std::string(RULES[k].name),
                       "its flag rate for decisions of this size at d = 0", Kind::Number,
                       [](const ObservedResult& r, std::size_t rule) {
                         return exact_number(r.false_flag_rates[rule]);
                       },
                       k});
  }
  return columns;
}

const std::vector<ColumnDef>& all_columns() {
  static const std::vector<ColumnDef> columns = make_columns();
  return columns;
}

// A number field read back: empty is NaN, Inf and -Inf the infinities; any
// other field is the shortest round-trip text of the double, which strtod
// (correctly rounded) turns back into that double.
double number_from_field(const std::string& text) {
  if (text.empty()) return std::numeric_limits<double>::quiet_NaN();
  if (text == "Inf") return std::numeric_limits<double>::infinity();
  if (text == "-Inf") return -std::numeric_limits<double>::infinity();
  return std::strtod(text.c_str(), nullptr);
}

constexpr std::string_view LABEL = "label";
constexpr std::string_view GROUP = "group";
constexpr std::string_view REFERENCE = "reference";
constexpr std::string_view FAIR = "P_any_flag_fair";

bool grouped(const std::vector<CaseResult>& results) {
  return !results.empty() && !results.front().input.group.empty();
}

// A column's field of one record; a case that was not analysed has its
// counts, its status and nothing else.
std::string field_of(const ColumnDef& column, const CaseResult& c, const ObservedResult& r) {
  if (c.input.unanalysable.empty() || column.kind == Kind::Count)
    return column.field(r, column.rule);
  if (column.name == "status") return "not analysed: " + c.input.unanalysable;
  return {};
}

}  // namespace

std::vector<RecordCell> record_cells(const ObservedResult& r) {
  std::vector<RecordCell> cells;
  for (const ColumnDef& c : all_columns()) {
    std::string text = c.field(r, c.rule);
    switch (c.kind) {
      case Kind::Count:
        cells.emplace_back(std::int64_t{std::stoll(text)});
        break;
      case Kind::Number:
        cells.emplace_back(number_from_field(text));
        break;
      case Kind::Boolean:
        cells.emplace_back(text == "true");
        break;
      case Kind::Text:
        cells.emplace_back(std::move(text));
        break;
    }
  }
  return cells;
}

namespace {

// A CSV field, quoted (quotes doubled) when it holds a comma, quote, line
// break or blanks at either end.
std::string csv_field(std::string_view text) {
  const bool plain = text.find_first_of(",\"\r\n") == std::string_view::npos &&
                     !text.starts_with(' ') && !text.ends_with(' ') && !text.starts_with('\t') &&
                     !text.ends_with('\t');
  if (plain) return std::string(text);
  std::string field = "\"";
  for (char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  return field + "\"";
}

// --- Text ---

// "%.Ng" for a probability-like number, "undefined" for NaN.
std::string significant(double value, int digits) {
  return std::isnan(value) ? "undefined" : cli::significant(value, digits);
}

std::string fixed(double value, int decimals) {
  return std::isnan(value) ? "undefined" : cli::fixed_decimals(value, decimals);
}

std::string pad(std::string text, std::size_t width) {
  if (text.size() < width) text.insert(0, width - text.size(), ' ');
  return text;
}

// "95 %" for alpha = 0.05.
std::string confidence(double alpha) {
  return significant(100.0 * (1.0 - alpha), 6) + " %";
}

// Where the model places the two groups at effect size d.
std::string effect_phrase(double d) {
  if (d == 0.0) return "if the predictor has no group difference (d = 0)";
  const std::string size = significant(std::abs(d), 6);
  return "if the majority's mean score is " + size + " standard deviation" +
         (std::abs(d) == 1.0 ? "" : "s") + (d > 0 ? " above" : " below") +
         " the minority's (d = " + significant(d, 6) + ")";
}

std::string interval_phrase(const ObservedResult& r) {
  const std::string level = " (" + confidence(r.alpha) + ")";
  if (std::isnan(r.d_lower) || std::isnan(r.d_upper)) {
    return "no interval for d was found within |d| <= 40";
  }
  const bool lower = std::isfinite(r.d_lower);
  const bool upper = std::isfinite(r.d_upper);
  if (lower && upper) {
    return "the outcome is consistent with effect sizes from " + fixed(r.d_lower, 2) + " to " +
           fixed(r.d_upper, 2) + level;
  }
  if (lower)
    return "the outcome is consistent with effect sizes of " + fixed(r.d_lower, 2) + " or more" +
           level;
  return "the outcome is consistent with effect sizes of " + fixed(r.d_upper, 2) + " or less" +
         level;
}

std::string d_text(double d) {
  if (std::isnan(d)) return "not found";
  if (std::isinf(d)) return d > 0 ? "+infinity" : "-infinity";
  return fixed(d, 3);
}

// The label for the text report: control characters (line breaks, tabs) as blanks.
std::string printable(std::string label) {
  for (char& c : label) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return label;
}

// Which rule answers which question, printed under the rule table.
constexpr std::string_view RULES_SENTENCE =
    "The four-fifths rules ask whether the rates differ by much, the tests whether the "
    "difference could be chance, and the flip whether it rests on one hire; the false-flag "
    "rate is how often a rule flags decisions of this size when hiring ignores group.";

// The assumption behind every model probability and the interval for d.
constexpr std::string_view MODEL_CAVEAT =
    "The interval for d and P(... | d) assume strict top-down selection on one predictor "
    "with normal scores.";

// The compact table of the rules: whether each flags this decision, and its
// false-flag rate for decisions of this size (d = 0).
std::string rule_table(const ObservedResult& r) {
  constexpr std::size_t WORDS_WIDTH = 44;  // the longest rule's words, indent and a space
  std::string t = "  Rules at alpha = " + significant(r.alpha, 6) +
                  ", threshold = " + significant(r.threshold, 6) + "\n";
  std::string head = "    rule";
  head.resize(WORDS_WIDTH, ' ');
  t += head + "flags   false-flag rate\n";
  for (std::size_t k = 0; k < RULE_COUNT; ++k) {
    std::string line = "    " + std::string(RULES[k].words);
    line.resize(std::max(WORDS_WIDTH, line.size() + 1), ' ');
    t += line + (r.flags[k] ? "yes  " : "no   ") + pad(significant(r.false_flag_rates[k], 4), 18) +
         "\n";
  }
  return t + "  " + std::string(RULES_SENTENCE) + "\n";
}

// "Case 2" or "Case 2: 'South'", numbered from 1 in input order.
std::string text_case(const CaseResult& c, std::size_t number, bool labelled) {
  const ObservedResult& r = c.records.front();
  std::string t = "Case " + std::to_string(number);
  t += labelled ? ": '" + printable(c.input.label) + "'\n" : std::string("\n");
  const Case& in = c.input;
  if (!in.group.empty()) {
    std::string groups;
    std::int64_t all_hires = 0;
    for (const GroupTally& g : in.groups) {
      if (!groups.empty()) groups += "; ";
      groups += printable(g.name) + " " + std::to_string(g.applicants) + " applicants, " +
                std::to_string(g.hires) + " hired (rate " +
                fixed(static_cast<double>(g.hires) / static_cast<double>(g.applicants), 5) + ")";
      all_hires += g.hires;
    }
    t += "  Groups               " + groups + "\n";
    t += "  Compared             " + printable(in.group) + " with " + printable(in.reference) +
         " (the reference)";
    if (!in.unanalysable.empty()) return t + ": not analysed, " + in.unanalysable + "\n";
    t += "\n";
    if (!std::isnan(c.P_any_flag_fair)) {
      t += "  Fair selection       P(some group below four fifths of the highest rate) = " +
           significant(c.P_any_flag_fair, 4) + " when every set of the " +
           std::to_string(all_hires) + " hires is equally likely\n";
    }
    t += "  N = " + count(r.N) + " applicants (N1 = " + count(r.N1) + " " +
         printable(in.reference) + ", N2 = " + count(r.N2) + " " + printable(in.group) +
         "), K = " + count(r.K) + " hired, S = " + count(r.S) + " of them " + printable(in.group) +
         "\n";
  } else {
    t += "  N = " + count(r.N) + " applicants (N1 = " + count(r.N1) +
         " majority, N2 = " + count(r.N2) + " minority), K = " + count(r.K) +
         " hired, S = " + count(r.S) + " of them minority\n";
  }
  t += "  Selection rates      SRA = " + fixed(r.SRA, 5) + ", SRI = " + fixed(r.SRI, 5) +
       ", AI = " + fixed(r.AI, 5) +
       (r.four_fifths_violated ? " (below four fifths)" : " (not below four fifths)") + "\n";
  t += "  Shortfall            " + fixed(r.shortfall, 2) +
       " minority hires against equal selection rates\n";
  t += "  Z test (pooled)      z = " + fixed(r.z, 4) +
       ", p two-sided = " + significant(r.p_z_two_sided, 4) + "\n";
  t += "  Fisher's exact test  p one-sided (S <= " + count(r.S) +
       ") = " + significant(r.p_fisher_one_sided, 4) +
       ", p two-sided = " + significant(r.p_fisher_two_sided, 4) + "\n";
  t += "  Effect size d        ML " + d_text(r.d_ml) + ", " + confidence(r.alpha) + " interval " +
       d_text(r.d_lower) + " to " + d_text(r.d_upper) + "\n";
  t += pad("d", 10) + pad("P(S <= " + count(r.S) + " | d)", 20) + pad("P(AI <= AI obs | d)", 22) +
       "\n";
  for (const ObservedResult& x : c.records) {
    t += pad(fixed(x.d, 3), 10) + pad(significant(x.P_S_at_most_observed, 6), 20) +
         pad(significant(x.P_AI_at_most_observed, 6), 22) + "\n";
  }
  // The tests beyond the classic two and the rules' table follow the summary sentence, so that
  // the lines above keep their places for readers and scripts that know them.
  t += "  " + summary_sentence(c) + "\n";
  t += "  Z test of ln AI      z = " + fixed(r.z_ir, 4) +
       ", p two-sided = " + significant(r.p_z_ir, 4) + "\n";
  t += "  Fisher's mid-P       p one-sided = " + significant(r.p_fisher_mid_p, 4) + "\n";
  t += "  AI interval          " +
       (r.AI_interval_missing.empty() ? fixed(r.AI_lower, 3) + " to " + fixed(r.AI_upper, 3) +
                                            " (" + confidence(r.alpha) + ")"
                                      : "none: " + std::string(r.AI_interval_missing)) +
       "\n";
  return t + rule_table(r) + "  " + std::string(MODEL_CAVEAT) + "\n";
}

}  // namespace

CaseResult analyse_case(const Case& c, std::span<const double> d, double alpha, double threshold,
                        std::string& error) {
  CaseResult result{c, {}};
  if (!c.unanalysable.empty()) {
    ObservedResult r;
    r.N = static_cast<std::int32_t>(c.counts.N);
    r.N1 = static_cast<std::int32_t>(c.counts.N1);
    r.N2 = static_cast<std::int32_t>(c.counts.N - c.counts.N1);
    r.K = static_cast<std::int32_t>(c.counts.K);
    r.S = static_cast<std::int32_t>(c.counts.S);
    result.records.push_back(r);
  } else {
    ObservedAnalysis analysis = analyse_observed(c.counts, d, alpha, threshold);
    if (!analysis.ok()) {
      error = analysis.error;
      return result;
    }
    result.records = std::move(analysis.results);
  }
  if (!c.groups.empty()) {
    std::vector<std::int64_t> applicants, hires;
    for (const GroupTally& g : c.groups) {
      applicants.push_back(g.applicants);
      hires.push_back(g.hires);
    }
    result.P_any_flag_fair = fair_flag_probability(applicants, hires);
  }
  return result;
}

std::string_view status_name(EstimateStatus status) {
  switch (status) {
    case EstimateStatus::converged:
      return "converged";
    case EstimateStatus::no_bracket:
      return "no_bracket";
    case EstimateStatus::engine_failed:
      break;
  }
  return "engine_failed";
}

std::vector<Column> record_columns() {
  std::vector<Column> columns;
  for (const ColumnDef& c : all_columns()) columns.push_back({c.name, c.meaning});
  return columns;
}

std::string csv_head(bool labelled, bool groups) {
  std::string text = labelled ? std::string(LABEL) + "," : std::string();
  const std::vector<ColumnDef>& columns = all_columns();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) text += ",";
    text += columns[i].name;
  }
  if (groups) {
    for (std::string_view name : {GROUP, REFERENCE, FAIR}) {
      text += ',';
      text += name;
    }
  }
  return text + "\n";
}

std::string csv_case(const CaseResult& c, bool labelled) {
  std::string text;
  for (const ObservedResult& r : c.records) {
    if (labelled) text += csv_field(c.input.label) + ",";
    const std::vector<ColumnDef>& columns = all_columns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) text += ",";
      text += csv_field(field_of(columns[i], c, r));
    }
    if (!c.input.group.empty()) {
      text += ',';
      text += csv_field(c.input.group);
      text += ',';
      text += csv_field(c.input.reference);
      text += ',';
      text += exact_number(c.P_any_flag_fair);
    }
    text += "\n";
  }
  return text;
}

// The JSON objects of one case's records, as elements of `array`.
std::string json_case(const CaseResult& c, bool labelled, cli::JsonArray& array) {
  std::string text;
  for (const ObservedResult& r : c.records) {
    cli::JsonObject record;
    if (labelled) record.text(LABEL, c.input.label);
    for (const ColumnDef& column : all_columns()) {
      const std::string value = field_of(column, c, r);
      // Text, and the infinities that JSON numbers cannot hold, are strings.
      if (column.kind == Kind::Text && value.empty()) {
        record.raw(column.name, "null");  // a reason that does not apply
      } else if (column.kind == Kind::Text || value == "Inf" || value == "-Inf") {
        record.text(column.name, value);
      } else {
        record.raw(column.name, value.empty() ? "null" : value);
      }
    }
    if (!c.input.group.empty()) {
      record.text(GROUP, c.input.group).text(REFERENCE, c.input.reference);
      record.number(FAIR, c.P_any_flag_fair);
    }
    text += array.element(record.str());
  }
  return text;
}

std::string render_csv(const std::vector<CaseResult>& results, bool labelled) {
  std::string text = csv_head(labelled, grouped(results));
  for (const CaseResult& c : results) text += csv_case(c, labelled);
  return text;
}

std::string render_json(const std::vector<CaseResult>& results, bool labelled) {
  cli::JsonArray array;
  std::string text = cli::JsonArray::open();
  for (const CaseResult& c : results) text += json_case(c, labelled, array);
  return text + cli::JsonArray::close();
}

std::string render_text(const std::vector<CaseResult>& results, bool labelled) {
  std::string text;
  for (std::size_t i = 0; i < results.size(); ++i) {
    if (i > 0) text += "\n";
    text += text_case(results[i], i + 1, labelled);
  }
  return text;
}

CaseStream::CaseStream(Format format, bool labelled, bool grouped)
    : format_(format), labelled_(labelled), grouped_(grouped) {}

std::string CaseStream::head() const {
  return format_ == Format::Csv    ? csv_head(labelled_, grouped_)
         : format_ == Format::Json ? cli::JsonArray::open()
                                   : "";
}

std::string CaseStream::record(const CaseResult& result) {
  ++cases_;
  switch (format_) {
    case Format::Csv:
      return csv_case(result, labelled_);
    case Format::Json:
      return json_case(result, labelled_, array_);
    case Format::Text:
      break;
  }
  std::string text = cases_ > 1 ? "\n" : "";
  text += text_case(result, cases_, labelled_);
  return text;
}

std::string CaseStream::tail() const {
  return format_ == Format::Json ? cli::JsonArray::close() : "";
}

std::string summary_sentence(const CaseResult& c) {
  const ObservedResult& first = c.records.front();
  std::string s;
  if (std::isnan(first.AI)) {
    s = "No majority applicant was hired, so AI is undefined; ";
  } else {
    s = "An AI of " + fixed(first.AI, 2) + " this low or lower has probability " +
        significant(first.P_AI_at_most_observed, 2) + " " + effect_phrase(first.d);
    for (std::size_t i = 1; i < c.records.size(); ++i) {
      s += (i + 1 == c.records.size() ? " and " : ", ") +
           significant(c.records[i].P_AI_at_most_observed, 2) +
           " at d = " + significant(c.records[i].d, 6);
    }
    s += "; ";
  }
  return s + interval_phrase(first) + ".";
}

}  // namespace kemro::observed
