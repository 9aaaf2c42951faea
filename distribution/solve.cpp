// Planning solves. The discrete search decides blocks of a range by bounds
// that follow from coupling: draw every applicant's score once and let a
// scenario use the first N1 majority and N2 minority scores and hire the K
// best. Then, score by score, S (minority hires) never falls when a minority
// applicant or a hire is added and never rises when a majority applicant is
// added. Over a block of the range whose scenarios have N1 in [N1min, N1max],
// N2 in [N2min, N2max] and K in [Kmin, Kmax] (and one d), every scenario's S
// therefore lies between that of the low corner (N1max, N2min, Kmin) and that
// of the high corner (N1min, N2max, Kmax):
//   F_high(s) <= F_n(s) <= F_low(s)   for every s,
// F being the distribution function of S. P(AI < 0.8) is F_n(t_n), with t_n
// the largest S whose AI is below 0.8, so over the block it lies in
// [F_high(min t_n), F_low(max t_n)]; P(AI undefined) = P(S_n >= K_n) lies in
// [1 - F_low(Kmax - 1), 1 - F_high(Kmin - 1)]. E[S_n] lies between the
// corners' expected S, which bounds the expected rates E[S_n] / N2_n and
// E[K_n - S_n] / N1_n as well. Two computed corners bound a whole block. A
// block is decided only when its bound clears the target by BOUND_MARGIN, far
// more than the engines' error, so every value is classified as computing it
// would classify it; undecided blocks are split in halves, down to single
// values, which are computed.
#include "distribution/solve.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <span>
#include <system_error>
#include <variant>

#include "distribution/columns.hpp"

namespace kemro {

namespace {

using grid::SolveRole;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();
// A bound decides a block only when it clears the target by this much.
constexpr double BOUND_MARGIN = 1e-8;
// Blocks a range is first cut into when bounds apply.
constexpr std::size_t FIRST_BLOCKS = 16;
// Values computed per round from each end of a range that no bound covers.
constexpr std::size_t SCAN_CHUNK = 32;

std::string quoted(std::string_view text) {
  std::string q(1, '\'');
  q.append(text);
  q.push_back('\'');
  return q;
}

std::string shortest(double value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc{} ? std::string(text, end) : std::string{};
}

// P(S <= s) from a computed distribution (0 below its first entry, the last running sum above).
double at_most(const std::vector<DistributionEntry>& entries, std::int64_t s) {
  double F = 0.0;
  for (const DistributionEntry& e : entries) {
    if (e.NY > s) break;
    F = e.PVSC;
  }
  return F;
}

// The largest S whose AI is below 0.8: 5 S N1 < 4 (K - S) N2, i.e.
// S < 4 K N2 / (5 N1 + 4 N2); -1 when there is none.
std::int64_t largest_below_four_fifths(const Scenario& s) {
  const std::int64_t numerator = 4 * std::int64_t{s.K} * s.N2;
  return (numerator - 1) / (5 * std::int64_t{s.N1} + 4 * std::int64_t{s.N2});
}

// Whether a comparison is met by values at or below the target (<=, <).
bool is_downward(Comparison comparison) {
  return comparison == Comparison::at_most || comparison == Comparison::below;
}

SolveRole role_of(Quantity quantity) {
  return grid::summary_catalogue()[static_cast<std::size_t>(quantity)].solve;
}

// Whether the corner scenarios of a block bound the quantity (see decided_by).
bool boundable(Quantity quantity) {
  const SolveRole role = role_of(quantity);
  return role == SolveRole::below_four_fifths || role == SolveRole::undefined ||
         role == SolveRole::majority_rate || role == SolveRole::minority_rate;
}

// The quantities a target may name, in the order of their solve roles and
// within a role in catalogue order.
const std::vector<Quantity>& target_quantities() {
  static const std::vector<Quantity> quantities = [] {
    std::vector<Quantity> all;
    const std::span<const grid::Column> catalogue = grid::summary_catalogue();
    for (std::size_t c = 0; c < catalogue.size(); ++c) {
      if (catalogue[c].solve != SolveRole::none) all.push_back(Quantity{c});
    }
    std::stable_sort(all.begin(), all.end(),
                     [](Quantity a, Quantity b) { return role_of(a) < role_of(b); });
    return all;
  }();
  return quantities;
}

// The block [first, last] of a range: its two corners and the extremes of t_n and K.
struct Block {
  std::size_t first = 0;
  std::size_t last = 0;
  Scenario low;   // N1max, N2min, Kmin: the fewest minority hires
  Scenario high;  // N1min, N2max, Kmax: the most
  std::int64_t t_min = 0;
  std::int64_t t_max = 0;
};

Block block_of(const std::vector<Scenario>& scenarios, std::size_t first, std::size_t last) {
  Block b{first, last, scenarios[first], scenarios[first], 0, 0};
  b.t_min = b.t_max = largest_below_four_fifths(scenarios[first]);
  for (std::size_t i = first + 1; i <= last; ++i) {
    const Scenario& s = scenarios[i];
    b.low.N1 = std::max(b.low.N1, s.N1);
    b.low.N2 = std::min(b.low.N2, s.N2);
    b.low.K = std::min(b.low.K, s.K);
    b.high.N1 = std::min(b.high.N1, s.N1);
    b.high.N2 = std::max(b.high.N2, s.N2);
    b.high.K = std::max(b.high.K, s.K);
    b.t_min = std::min(b.t_min, largest_below_four_fifths(s));
    b.t_max = std::max(b.t_max, largest_below_four_fifths(s));
  }
  b.low.N = b.low.N1 + b.low.N2;
  b.high.N = b.high.N1 + b.high.N2;
  return b;
}

// Whether the corners show that every scenario of the block meets (1) or
// fails (0) the target, or neither (-1).
int decided_by(const Block& b, const ScenarioResult& low, const ScenarioResult& high,
               const Target& target) {
  double lower = 0.0;
  double upper = 0.0;
  // E[S] of the corners: their expected minority rate times their N2.
  const double S_low = low.expected_SRI * b.low.N2;
  const double S_high = high.expected_SRI * b.high.N2;
  switch (role_of(target.quantity)) {
    case SolveRole::below_four_fifths:
      lower = at_most(high.distribution, b.t_min);
      upper = at_most(low.distribution, b.t_max);
      break;
    case SolveRole::undefined:
      lower = 1.0 - at_most(low.distribution, std::int64_t{b.high.K} - 1);
      upper = 1.0 - at_most(high.distribution, std::int64_t{b.low.K} - 1);
      break;
    case SolveRole::minority_rate:  // E[S_n] / N2_n
      lower = S_low / b.high.N2;
      upper = S_high / b.low.N2;
      break;
    default:  // the majority rate E[K_n - S_n] / N1_n
      lower = std::max(0.0, b.low.K - S_high) / b.low.N1;
      upper = (b.high.K - S_low) / b.high.N1;
      break;
  }
  const double v = target.value;
  // The margin makes both decisions hold for the strict comparisons too.
  if (is_downward(target.comparison)) {
    if (upper <= v - BOUND_MARGIN) return 1;
    if (lower > v + BOUND_MARGIN) return 0;
  } else {
    if (lower >= v + BOUND_MARGIN) return 1;
    if (upper < v - BOUND_MARGIN) return 0;
  }
  return -1;
}

// The state of one discrete search.
struct Search {
  const DiscreteRange* range = nullptr;
  bool finished = false;
  SolveResult result;
  std::vector<Block> blocks;       // undecided
  std::size_t first_meeting = 0;   // smallest index known to meet; size() when none
  std::int64_t last_failing = -1;  // largest index known to fail; -1 when none
  double quantity_at_first = NaN;  // the quantity at first_meeting, when computed

  std::size_t size() const { return range->values.size(); }
  void classify(std::size_t from, std::size_t to, bool meets) {
    if (meets) first_meeting = std::min(first_meeting, from);
    if (!meets) last_failing = std::max(last_failing, static_cast<std::int64_t>(to));
  }
  // Whether the block could still change the answer.
  bool matters(const Block& b) const {
    return b.first < first_meeting || static_cast<std::int64_t>(b.last) > last_failing;
  }
};

}  // namespace

Quantity rule_quantity(std::size_t rule) {
  return Quantity{static_cast<std::size_t>(grid::column_index(RULES[rule].column))};
}

std::string_view quantity_name(Quantity quantity) {
  return grid::summary_catalogue()[static_cast<std::size_t>(quantity)].name;
}

bool is_probability(Quantity quantity) {
  const SolveRole role = role_of(quantity);
  return role == SolveRole::below_four_fifths || role == SolveRole::undefined ||
         role == SolveRole::flag_rate;
}

double quantity_value(const ScenarioResult& r, Quantity quantity) {
  // The scenario's own columns are no quantities, so an empty scenario will do.
  const double value = std::get<double>(
      grid::summary_cells(grid::Scenario{}, r)[static_cast<std::size_t>(quantity)]);
  // An undefined AI (NaN in the record) is the ratio's limit when the majority's rate is 0.
  const SolveRole role = role_of(quantity);
  const bool ratio = role == SolveRole::expected_ratio || role == SolveRole::percentile;
  return ratio && std::isnan(value) ? INF : value;
}

bool parse_target(std::string_view text, Target& target, std::string& error) {
  const std::size_t at = text.find_first_of("<=>");
  if (at == std::string_view::npos) {
    error = quoted(text);
    error += " has no comparison (QUANTITY=VALUE, <=, >=, < or >)";
    return false;
  }
  const std::string_view name = text.substr(0, at);
  std::string_view rest = text.substr(at);
  // The two-character comparisons first, so that "<=" is not read as "<".
  constexpr std::pair<std::string_view, Comparison> COMPARISONS[] = {{"<=", Comparison::at_most},
                                                                     {">=", Comparison::at_least},
                                                                     {"=", Comparison::equal},
                                                                     {"<", Comparison::below},
                                                                     {">", Comparison::above}};
  for (const auto& [spelling, comparison] : COMPARISONS) {
    if (!rest.starts_with(spelling)) continue;
    target.comparison = comparison;
    rest.remove_prefix(spelling.size());
    break;
  }
  const std::vector<Quantity>& quantities = target_quantities();
  const auto known = std::find_if(quantities.begin(), quantities.end(),
                                  [&](Quantity q) { return quantity_name(q) == name; });
  if (known == quantities.end()) {
    error = "unknown quantity " + quoted(name) + " (one of";
    for (Quantity q : quantities) {
      error.push_back(' ');
      error.append(quantity_name(q));
    }
    error += ")";
    return false;
  }
  target.quantity = *known;
  const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), target.value);
  if (rest.empty() || ec != std::errc{} || end != rest.data() + rest.size() ||
      !std::isfinite(target.value)) {
    error = "the target value " + quoted(rest) + " is not a finite number";
    return false;
  }
  if (is_probability(target.quantity) && !(target.value >= 0.0 && target.value <= 1.0)) {
    error = "the target for " + std::string(name) + ", a probability, is not between 0 and 1";
    return false;
  }
  return true;
}

std::string target_text(const Target& target) {
  const char* comparison = target.comparison == Comparison::equal     ? "="
                           : target.comparison == Comparison::at_most ? "<="
                           : target.comparison == Comparison::below   ? "<"
                           : target.comparison == Comparison::above   ? ">"
                                                                      : ">=";
  return std::string(quantity_name(target.quantity)) + comparison + shortest(target.value);
}

bool meets_target(double quantity, const Target& target) {
  switch (target.comparison) {
    case Comparison::at_most:
      return quantity <= target.value;
    case Comparison::below:
      return quantity < target.value;
    case Comparison::above:
      return quantity > target.value;
    default:
      return quantity >= target.value;
  }
}

Evaluate sequential_evaluator(Engine engine) {
  return [engine](const std::vector<Scenario>& scenarios, bool keep_distribution) {
    ScenarioWork work;
    std::vector<ScenarioResult> results;
    for (const Scenario& s : scenarios) {
      results.push_back(compute_scenario(s, engine, keep_distribution, work));
    }
    return results;
  };
}

std::string_view solve_status_name(SolveStatus status) {
  switch (status) {
    case SolveStatus::solved:
      return "solved";
    case SolveStatus::not_reached:
      return "not reached";
    case SolveStatus::abandoned:
      return "abandoned";
    case SolveStatus::evaluation_limit:
      break;
  }
  return "evaluation limit";
}

std::span<const std::string_view> solve_field_names() {
  static constexpr std::string_view NAMES[] = {"solved_for", "value",      "stable_from",
                                               "quantity",   "target",     "quantity_at_value",
                                               "status",     "evaluations"};
  return NAMES;
}

std::vector<SolveCell> solve_cells(std::string_view solved_for, const Target& target,
                                   const SolveResult& r) {
  const bool solved = r.status == SolveStatus::solved;
  return {std::string(solved_for),
          solved ? r.value : NaN,
          solved ? r.stable_from : NaN,
          std::string(quantity_name(target.quantity)),
          target_text(target),
          solved ? r.quantity_at_value : NaN,
          std::string(solve_status_name(r.status)),
          static_cast<std::int64_t>(r.evaluations)};
}

std::vector<SolveResult> solve_effect_size(const std::vector<Scenario>& bases, double d_low,
                                           double d_high, const Target& target,
                                           const Evaluate& evaluate) {
  struct Bracket {
    double low, high;
    double g_low = NaN;  // quantity minus target at low
    bool active = true;
  };
  const std::size_t n = bases.size();
  std::vector<SolveResult> results(n);
  std::vector<Bracket> brackets(n, Bracket{d_low, d_high});

  // Computes the quantity minus the target at d[k] for every active base.
  const auto excess = [&](const std::vector<double>& d) {
    std::vector<Scenario> batch;
    std::vector<std::size_t> owner;
    for (std::size_t k = 0; k < n; ++k) {
      if (!brackets[k].active) continue;
      batch.push_back(bases[k]);
      batch.back().d = d[k];
      owner.push_back(k);
    }
    std::vector<double> g(n, NaN);
    if (batch.empty()) return g;
    const std::vector<ScenarioResult> computed = evaluate(batch, false);
    for (std::size_t i = 0; i < owner.size(); ++i) {
      const std::size_t k = owner[i];
      ++results[k].evaluations;
      if (!computed[i].completed) {
        results[k].status = SolveStatus::abandoned;
        brackets[k].active = false;
        continue;
      }
      g[k] = quantity_value(computed[i], target.quantity) - target.value;
    }
    return g;
  };
  const auto settle = [&](std::size_t k, double d, double g) {
    results[k].status = SolveStatus::solved;
    results[k].value = d;
    results[k].quantity_at_value = g + target.value;
    brackets[k].active = false;
  };

  const std::vector<double> g_low = excess(std::vector<double>(n, d_low));
  const std::vector<double> g_high = excess(std::vector<double>(n, d_high));
  for (std::size_t k = 0; k < n; ++k) {
    if (!brackets[k].active) continue;
    brackets[k].g_low = g_low[k];
    if (g_low[k] == 0.0)
      settle(k, d_low, g_low[k]);
    else if (g_high[k] == 0.0)
      settle(k, d_high, g_high[k]);
    else if ((g_low[k] > 0.0) == (g_high[k] > 0.0))
      brackets[k].active = false;  // not reached
  }
  // Midpoints as low / 2 + high / 2, which cannot overflow for any finite range.
  for (;;) {
    std::vector<double> middle(n, NaN);
    bool any = false;
    for (std::size_t k = 0; k < n; ++k) {
      Bracket& b = brackets[k];
      if (b.active && b.high - b.low <= D_TOLERANCE) {
        results[k].status = SolveStatus::solved;
        results[k].value = b.low / 2 + b.high / 2;
        b.active = false;  // the quantity there is computed below
      }
      if (b.active) middle[k] = b.low / 2 + b.high / 2, any = true;
    }
    if (!any) break;
    const std::vector<double> g = excess(middle);
    for (std::size_t k = 0; k < n; ++k) {
      Bracket& b = brackets[k];
      if (!b.active) continue;
      if (g[k] == 0.0)
        settle(k, middle[k], g[k]);
      else if ((g[k] > 0.0) == (b.g_low > 0.0))
        b.low = middle[k], b.g_low = g[k];
      else
        b.high = middle[k];
    }
  }
  // The quantity at each midpoint found.
  for (std::size_t k = 0; k < n; ++k) {
    brackets[k].active =
        results[k].status == SolveStatus::solved && std::isnan(results[k].quantity_at_value);
  }
  const std::vector<double> at_value = [&] {
    std::vector<double> d(n);
    for (std::size_t k = 0; k < n; ++k) d[k] = results[k].value;
    return excess(d);
  }();
  for (std::size_t k = 0; k < n; ++k) {
    if (results[k].status == SolveStatus::solved && std::isnan(results[k].quantity_at_value)) {
      results[k].quantity_at_value = at_value[k] + target.value;
    }
  }
  return results;
}

std::vector<SolveResult> solve_discrete(const std::vector<DiscreteRange>& ranges,
                                        const Target& target, const Evaluate& evaluate,
                                        Engine engine) {
  const bool bounded = boundable(target.quantity);
  std::vector<Search> searches(ranges.size());
  for (std::size_t r = 0; r < ranges.size(); ++r) {
    Search& s = searches[r];
    s.range = &ranges[r];
    s.first_meeting = s.size();
    const std::size_t n = s.size();
    // Without bounds the range is one block, scanned from both ends.
    const std::size_t blocks = std::min(n, bounded ? FIRST_BLOCKS : std::size_t{1});
    for (std::size_t k = 0; k < blocks; ++k) {
      s.blocks.push_back(block_of(s.range->scenarios, k * n / blocks, (k + 1) * n / blocks - 1));
    }
  }

  // Each round computes, for every block that still matters, its single
  // scenario or (bounds) its two corners, in one batch over all searches.
  for (;;) {
    std::vector<Scenario> batch;
    struct Job {
      Search* search;
      Block block;
      std::size_t at;  // the block's results in the batch
    };
    std::vector<Job> jobs;
    for (Search& s : searches) {
      std::vector<Block> pending;
      for (const Block& b : s.blocks) {
        if (s.finished || !s.matters(b)) continue;
        if (!bounded && b.first < b.last) {
          // The next values from the front while no value there is known to
          // meet the target, and from the back while none there is known to
          // fail; the values between wait for the next round.
          std::size_t front = b.first;
          std::size_t back = b.last + 1;  // one past
          if (b.first < s.first_meeting) front = std::min(b.first + SCAN_CHUNK, back);
          if (static_cast<std::int64_t>(b.last) > s.last_failing) {
            back = std::max(front, back - std::min(SCAN_CHUNK, back - front));
          }
          for (std::size_t i = b.first; i < front; ++i)
            pending.push_back(block_of(s.range->scenarios, i, i));
          for (std::size_t i = back; i <= b.last; ++i)
            pending.push_back(block_of(s.range->scenarios, i, i));
          if (front < back) pending.push_back(block_of(s.range->scenarios, front, back - 1));
          continue;
        }
        // A corner outside the model's domain or the engine's limits (the
        // nested engine's table may not hold a corner although it holds
        // every scenario of the block): split without computing.
        const bool corners = b.first == b.last || (scenario_invalid_reason(b.low, engine).empty() &&
                                                   scenario_invalid_reason(b.high, engine).empty());
        if (!corners) {
          const std::size_t middle = b.first + (b.last - b.first) / 2;
          pending.push_back(block_of(s.range->scenarios, b.first, middle));
          pending.push_back(block_of(s.range->scenarios, middle + 1, b.last));
          continue;
        }
        const std::size_t cost = b.first == b.last ? 1 : 2;
        if (s.result.evaluations + cost > MAX_SOLVE_EVALUATIONS) {
          s.result.status = SolveStatus::evaluation_limit;
          s.finished = true;
          break;
        }
        s.result.evaluations += cost;
        jobs.push_back({&s, b, batch.size()});
        if (b.first == b.last) {
          batch.push_back(s.range->scenarios[b.first]);
        } else {
          batch.push_back(b.low);
          batch.push_back(b.high);
        }
      }
      s.blocks = std::move(pending);
    }
    if (batch.empty()) {
      bool splitting = false;
      for (const Search& s : searches) splitting = splitting || (!s.finished && !s.blocks.empty());
      if (splitting) continue;
      break;
    }
    const std::vector<ScenarioResult> results = evaluate(batch, bounded);
    for (const Job& job : jobs) {
      Search& s = *job.search;
      const Block& b = job.block;
      if (s.finished) continue;
      const bool single = b.first == b.last;
      const ScenarioResult& first = results[job.at];
      if (single && !first.completed) {
        // A scenario of the range itself could not be computed.
        s.result.status = SolveStatus::abandoned;
        s.finished = true;
        continue;
      }
      if (single) {
        const double q = quantity_value(first, target.quantity);
        const bool meets = meets_target(q, target);
        if (meets && b.first < s.first_meeting) s.quantity_at_first = q;
        s.classify(b.first, b.first, meets);
        continue;
      }
      const ScenarioResult& second = results[job.at + 1];
      const int decided =
          first.completed && second.completed ? decided_by(b, first, second, target) : -1;
      if (decided >= 0) {
        if (decided == 1 && b.first < s.first_meeting) s.quantity_at_first = NaN;
        s.classify(b.first, b.last, decided == 1);
        continue;
      }
      // Undecided, or a corner the engine could not compute: halve the block.
      const std::size_t middle = b.first + (b.last - b.first) / 2;
      s.blocks.push_back(block_of(s.range->scenarios, b.first, middle));
      s.blocks.push_back(block_of(s.range->scenarios, middle + 1, b.last));
    }
  }

  // The quantity at the first value meeting the target, where a bound decided it.
  std::vector<Scenario> batch;
  std::vector<Search*> owners;
  for (Search& s : searches) {
    if (!s.finished && s.first_meeting < s.size() && std::isnan(s.quantity_at_first)) {
      batch.push_back(s.range->scenarios[s.first_meeting]);
      owners.push_back(&s);
      ++s.result.evaluations;
    }
  }
  if (!batch.empty()) {
    const std::vector<ScenarioResult> results = evaluate(batch, false);
    for (std::size_t i = 0; i < owners.size(); ++i) {
      if (!results[i].completed) {
        // The value found has no computed quantity: the search cannot answer.
        owners[i]->result.status = SolveStatus::abandoned;
        owners[i]->finished = true;
        continue;
      }
      owners[i]->quantity_at_first = quantity_value(results[i], target.quantity);
    }
  }

  std::vector<SolveResult> results;
  for (Search& s : searches) {
    SolveResult& r = s.result;
    if (!s.finished && s.first_meeting < s.size()) {
      r.status = SolveStatus::solved;
      r.value = s.range->values[s.first_meeting];
      r.quantity_at_value = s.quantity_at_first;
      const auto stable = static_cast<std::size_t>(s.last_failing + 1);
      if (stable < s.size()) r.stable_from = s.range->values[stable];
    }
    results.push_back(r);
  }
  return results;
}

}  // namespace kemro
