// Planning solves. The discrete search decides blocks of an applicant range
// by bounds that follow from coupling: draw every applicant's score once and
// let a scenario use the first N1 majority and N2 minority scores. Then
//   - one more majority applicant lowers S (minority hires) by 0 or 1,
//   - one more minority applicant raises S by 0 or 1,
//   - one more hire raises S by 0 or 1.
// Along a range whose N1, N2 and K never decrease, a scenario n inside the
// block [a, b] therefore has, with D1, D2, DK the growth of N1, N2, K from a
// to b (which bounds the growth from a to n and from n to b),
//   S_a - D1 <= S_n <= S_a + D2 + DK   and   S_b - D2 - DK <= S_n <= S_b + D1,
// so with F the distribution function of S,
//   max(F_a(s - D2 - DK), F_b(s - D1)) <= F_n(s) <= min(F_a(s + D1), F_b(s + D2 + DK)).
// P(AI < 0.8) is F_n(t_n) with t_n the largest S whose AI is below 0.8, and
// P(AI undefined) is 1 - F_n(K_n - 1); bounding t_n and K_n over the block
// bounds both quantities for every scenario of the block from the two
// computed ends alone. A block is decided only when its bound clears the
// target by BOUND_MARGIN, far more than the engines' error, so every value
// is classified as computing it would; undecided blocks are split at their
// middle, down to single values.
#include "distribution/solve.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace kemro {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();
// A bound decides a block only when it clears the target by this much.
constexpr double BOUND_MARGIN = 1e-8;
// The stored distribution functions treat values below this as 0 and above
// 1 minus it as 1, well inside BOUND_MARGIN.
constexpr double CDF_TAIL = 1e-13;
// Values of a range computed in the first round, ends included.
constexpr std::size_t FIRST_ROUND_POINTS = 9;

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

// P(S <= s) of one computed scenario, kept where it is neither about 0 nor about 1.
struct Cdf {
  std::int64_t first = 0;      // F(s) counts as 0 below
  std::vector<double> values;  // F(first + i); above the last, F counts as 1

  double at(std::int64_t s) const {
    if (s < first) return 0.0;
    const auto i = static_cast<std::size_t>(s - first);
    return i < values.size() ? values[i] : 1.0;
  }
};

Cdf cdf_of(const std::vector<DistributionEntry>& entries) {
  Cdf cdf;
  std::size_t begin = 0;
  while (begin < entries.size() && entries[begin].PVSC < CDF_TAIL) ++begin;
  cdf.first = begin < entries.size() ? entries[begin].NY : 0;
  for (std::size_t m = begin; m < entries.size(); ++m) {
    cdf.values.push_back(entries[m].PVSC);
    if (entries[m].PVSC > 1.0 - CDF_TAIL) break;
  }
  return cdf;
}

// The largest S whose AI is below 0.8: 5 S N1 < 4 (K - S) N2, i.e.
// S < 4 K N2 / (5 N1 + 4 N2); -1 when there is none.
std::int64_t largest_below_four_fifths(const Scenario& s) {
  const std::int64_t numerator = 4 * std::int64_t{s.K} * s.N2;
  return (numerator - 1) / (5 * std::int64_t{s.N1} + 4 * std::int64_t{s.N2});
}

bool boundable(Quantity q) {
  return q == Quantity::P_below_four_fifths || q == Quantity::P_undefined;
}

// N1, N2 and K never decrease along the range.
bool growing(const std::vector<Scenario>& scenarios) {
  for (std::size_t i = 1; i < scenarios.size(); ++i) {
    const Scenario& p = scenarios[i - 1];
    const Scenario& s = scenarios[i];
    if (s.N1 < p.N1 || s.N2 < p.N2 || s.K < p.K) return false;
  }
  return true;
}

struct Bounds {
  double lower = 0.0;
  double upper = 1.0;
};

// Bounds on the quantity over the inner scenarios of the block [i, j] (see the top of the file).
Bounds block_bounds(const std::vector<Scenario>& scenarios, std::size_t i, std::size_t j,
                    const Cdf& Fa, const Cdf& Fb, Quantity quantity) {
  const Scenario& a = scenarios[i];
  const Scenario& b = scenarios[j];
  const std::int64_t D1 = b.N1 - a.N1;
  const std::int64_t D2 = b.N2 - a.N2;
  const std::int64_t DK = b.K - a.K;
  if (quantity == Quantity::P_undefined) {
    // P(S_n >= K_n) with K_a <= K_n <= K_b.
    const std::int64_t Ka = a.K;
    const std::int64_t Kb = b.K;
    return {1.0 - std::min(Fa.at(Kb - 1 + D1), Fb.at(Kb - 1 + D2 + DK)),
            1.0 - std::max(Fa.at(Ka - 1 - D2 - DK), Fb.at(Ka - 1 - D1))};
  }
  std::int64_t t_min = largest_below_four_fifths(scenarios[i + 1]);
  std::int64_t t_max = t_min;
  for (std::size_t k = i + 2; k < j; ++k) {
    const std::int64_t t = largest_below_four_fifths(scenarios[k]);
    t_min = std::min(t_min, t);
    t_max = std::max(t_max, t);
  }
  return {std::max(Fa.at(t_min - D2 - DK), Fb.at(t_min - D1)),
          std::min(Fa.at(t_max + D1), Fb.at(t_max + D2 + DK))};
}

// Whether the bounds show that every inner scenario meets (1) or fails (0)
// the target, or neither (-1).
int decided_by(const Bounds& b, const Target& target) {
  const double v = target.value;
  if (target.comparison == Comparison::at_most) {
    if (b.upper <= v - BOUND_MARGIN) return 1;
    if (b.lower > v + BOUND_MARGIN) return 0;
  } else {
    if (b.lower >= v + BOUND_MARGIN) return 1;
    if (b.upper < v - BOUND_MARGIN) return 0;
  }
  return -1;
}

struct Computed {
  double quantity = NaN;
  Cdf cdf;  // when bounds are used
};

// The state of one discrete search.
struct Search {
  const DiscreteRange* range = nullptr;
  bool bounded = false;
  bool finished = false;
  SolveResult result;
  std::vector<std::pair<std::size_t, Computed>> computed;   // by index, sorted
  std::vector<std::pair<std::size_t, std::size_t>> blocks;  // undecided, both ends computed
  std::size_t first_meeting = 0;       // smallest index known to meet; size() when none
  std::int64_t last_failing = -1;      // largest index known to fail; -1 when none
  std::vector<std::size_t> requested;  // indices to compute this round

  std::size_t size() const { return range->values.size(); }
  const Computed* at(std::size_t index) const {
    const auto it = std::lower_bound(computed.begin(), computed.end(), index,
                                     [](const auto& c, std::size_t i) { return c.first < i; });
    return it != computed.end() && it->first == index ? &it->second : nullptr;
  }
  void classify(std::size_t from, std::size_t to, bool meets) {  // [from, to]
    if (meets)
      first_meeting = std::min(first_meeting, from);
    else
      last_failing = std::max(last_failing, static_cast<std::int64_t>(to));
  }
  // Whether inner values of the block could still change the answer.
  bool matters(std::size_t i, std::size_t j) const {
    return i + 1 < first_meeting || static_cast<std::int64_t>(j) - 1 > last_failing;
  }
};

// Computes the requested indices of every search in one batch.
void compute_requested(std::vector<Search>& searches, const Target& target,
                       const Evaluate& evaluate, bool keep_distribution) {
  std::vector<Scenario> batch;
  for (Search& s : searches) {
    if (s.result.evaluations + s.requested.size() > MAX_SOLVE_EVALUATIONS) {
      s.result.status = SolveStatus::evaluation_limit;
      s.finished = true;
    }
    if (s.finished) s.requested.clear();
    for (std::size_t index : s.requested) batch.push_back(s.range->scenarios[index]);
  }
  if (batch.empty()) return;
  const std::vector<ScenarioResult> results = evaluate(batch, keep_distribution);
  std::size_t next = 0;
  for (Search& s : searches) {
    for (std::size_t index : s.requested) {
      const ScenarioResult& r = results[next++];
      ++s.result.evaluations;
      if (!r.completed) {
        s.result.status = SolveStatus::abandoned;
        s.finished = true;
        continue;
      }
      Computed c;
      c.quantity = quantity_value(r, target.quantity);
      if (s.bounded) c.cdf = cdf_of(r.distribution);
      s.classify(index, index, meets_target(c.quantity, target));
      s.computed.emplace_back(index, std::move(c));
    }
    std::sort(s.computed.begin(), s.computed.end(),
              [](const auto& x, const auto& y) { return x.first < y.first; });
    s.requested.clear();
  }
}

}  // namespace

std::string_view quantity_name(Quantity quantity) {
  return QUANTITY_NAMES[static_cast<std::size_t>(quantity)];
}

bool is_probability(Quantity quantity) {
  return quantity == Quantity::P_below_four_fifths || quantity == Quantity::P_undefined;
}

double quantity_value(const ScenarioResult& r, Quantity quantity) {
  // An undefined AI is the ratio's limit when the majority's rate is 0.
  const auto ratio = [](double AI) { return AI == UNDEFINED_RATIO || std::isnan(AI) ? INF : AI; };
  switch (quantity) {
    case Quantity::P_below_four_fifths:
      return r.P_below_four_fifths;
    case Quantity::P_undefined:
      return r.P_undefined;
    case Quantity::expected_AI:
      return ratio(r.expected_AI);
    case Quantity::expected_SRA:
      return r.expected_SRA;
    case Quantity::expected_SRI:
      return r.expected_SRI;
    default:
      break;
  }
  const auto level =
      static_cast<std::size_t>(quantity) - static_cast<std::size_t>(Quantity::AI_P05);
  return ratio(r.percentiles[level]);
}

bool parse_target(std::string_view text, Target& target, std::string& error) {
  const std::size_t at = text.find_first_of("<=>");
  if (at == std::string_view::npos) {
    error = quoted(text);
    error += " has no comparison (QUANTITY=VALUE, <= or >=)";
    return false;
  }
  const std::string_view name = text.substr(0, at);
  std::string_view rest = text.substr(at);
  if (rest.starts_with("<="))
    target.comparison = Comparison::at_most;
  else if (rest.starts_with(">="))
    target.comparison = Comparison::at_least;
  else if (rest.starts_with("="))
    target.comparison = Comparison::equal;
  else {
    error = quoted(text);
    error += " has no comparison (QUANTITY=VALUE, <= or >=)";
    return false;
  }
  rest.remove_prefix(target.comparison == Comparison::equal ? 1 : 2);
  const auto known = std::find(QUANTITY_NAMES.begin(), QUANTITY_NAMES.end(), name);
  if (known == QUANTITY_NAMES.end()) {
    error = "unknown quantity " + quoted(name) + " (one of";
    for (std::string_view q : QUANTITY_NAMES) {
      error.push_back(' ');
      error.append(q);
    }
    error += ")";
    return false;
  }
  target.quantity = static_cast<Quantity>(known - QUANTITY_NAMES.begin());
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
                                                                      : ">=";
  return std::string(quantity_name(target.quantity)) + comparison + shortest(target.value);
}

bool meets_target(double quantity, const Target& target) {
  return target.comparison == Comparison::at_most ? quantity <= target.value
                                                  : quantity >= target.value;
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
  for (;;) {
    std::vector<double> middle(n, NaN);
    bool any = false;
    for (std::size_t k = 0; k < n; ++k) {
      Bracket& b = brackets[k];
      if (b.active && b.high - b.low <= D_TOLERANCE) {
        results[k].status = SolveStatus::solved;
        results[k].value = b.low + (b.high - b.low) / 2;
        b.active = false;  // the quantity there is computed below
      }
      if (b.active) middle[k] = b.low + (b.high - b.low) / 2, any = true;
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
                                        const Target& target, const Evaluate& evaluate) {
  std::vector<Search> searches(ranges.size());
  bool keep_distribution = false;
  for (std::size_t r = 0; r < ranges.size(); ++r) {
    Search& s = searches[r];
    s.range = &ranges[r];
    s.first_meeting = s.size();
    s.bounded = boundable(target.quantity) && growing(ranges[r].scenarios);
    keep_distribution = keep_distribution || s.bounded;
    if (s.size() == 0) {
      s.finished = true;
      continue;
    }
    // The first round: the ends and evenly spread values between them.
    const std::size_t points = std::min(s.size(), FIRST_ROUND_POINTS);
    for (std::size_t p = 0; p < points; ++p) {
      s.requested.push_back(points == 1 ? 0 : p * (s.size() - 1) / (points - 1));
    }
    for (std::size_t p = 1; p < points; ++p) {
      if (s.requested[p] > s.requested[p - 1] + 1) {
        s.blocks.emplace_back(s.requested[p - 1], s.requested[p]);
      }
    }
  }
  compute_requested(searches, target, evaluate, keep_distribution);

  for (;;) {
    bool pending = false;
    for (Search& s : searches) {
      if (s.finished) continue;
      std::vector<std::pair<std::size_t, std::size_t>> next;
      for (const auto& [i, j] : s.blocks) {
        if (!s.matters(i, j)) continue;
        if (s.bounded) {
          const int decided = decided_by(
              block_bounds(s.range->scenarios, i, j, s.at(i)->cdf, s.at(j)->cdf, target.quantity),
              target);
          if (decided >= 0) {
            s.classify(i + 1, j - 1, decided == 1);
            continue;
          }
        }
        const std::size_t middle = i + (j - i) / 2;
        s.requested.push_back(middle);
        if (middle > i + 1) next.emplace_back(i, middle);
        if (j > middle + 1) next.emplace_back(middle, j);
      }
      s.blocks = std::move(next);
      pending = pending || !s.requested.empty();
    }
    if (!pending) break;
    compute_requested(searches, target, evaluate, keep_distribution);
  }

  // The quantity at the first value meeting the target, where a bound decided it.
  for (Search& s : searches) {
    if (s.finished || s.first_meeting == s.size()) continue;
    if (s.at(s.first_meeting) == nullptr) s.requested.push_back(s.first_meeting);
  }
  compute_requested(searches, target, evaluate, false);

  std::vector<SolveResult> results;
  for (Search& s : searches) {
    SolveResult& r = s.result;
    if (!s.finished && s.first_meeting < s.size()) {
      r.status = SolveStatus::solved;
      r.value = s.range->values[s.first_meeting];
      r.quantity_at_value = s.at(s.first_meeting)->quantity;
      const auto stable = static_cast<std::size_t>(s.last_failing + 1);
      if (stable < s.size()) r.stable_from = s.range->values[stable];
    }
    results.push_back(r);
  }
  return results;
}

}  // namespace kemro
