// libFuzzer target for kemro-grid's command line: the input is split at NUL
// bytes into arguments, which are parsed and, when understood, spanned into a
// grid or the searches of a solve without computing anything. Every refusal
// must come with a reason, and every grid or search built must hold only
// scenarios the library can compute.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "tools/grid/groups.hpp"
#include "tools/grid/options.hpp"
#include "tools/grid/solve.hpp"

namespace {

// Most arguments taken from one input, so that a run stays short.
constexpr std::size_t MAX_ARGUMENTS = 24;

void require(bool condition) {
  if (!condition) std::abort();
}

std::vector<std::string_view> arguments(std::string_view bytes) {
  std::vector<std::string_view> args;
  while (!bytes.empty() && args.size() < MAX_ARGUMENTS) {
    const std::size_t end = bytes.find('\0');
    args.push_back(bytes.substr(0, end));
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return args;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kemro::grid;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> args = arguments(bytes);
  const ParsedOptions parsed = parse_options(args);
  if (!parsed.ok() || parsed.options.help || parsed.options.version) {
    require(parsed.ok() || !parsed.error.empty());
    return 0;
  }
  if (!parsed.options.solve.empty()) {
    const SolvePlanOutcome plan = build_solve(parsed.options);
    if (!plan.ok()) return 0;
    for (const kemro::DiscreteRange& range : plan.plan.ranges) {
      for (const kemro::Scenario& s : range.scenarios) {
        require(kemro::scenario_invalid_reason(s, parsed.options.engine).empty());
      }
    }
    return 0;
  }
  if (parsed.options.groups.given) {
    // Several groups: every scenario the engine can take, counts adding up to N.
    const GroupGridOutcome groups = build_group_grid(parsed.options);
    if (!groups.ok()) return 0;
    require(groups.grid.scenarios.size() <= MAX_SCENARIOS);
    for (const GroupScenario& s : groups.grid.scenarios) {
      require(kemro::group_problem_invalid_reason(s.problem).empty());
      std::int64_t total = 0;
      for (std::int32_t n : s.problem.applicants) total += n;
      require(total == s.N && s.problem.d.front() == 0.0);
    }
    return 0;
  }
  const GridOutcome built = build_grid(parsed.options);
  if (!built.ok()) return 0;
  // A shard of a small grid may hold no scenario at all.
  require(built.grid.scenarios.size() <= MAX_SCENARIOS);
  require(!built.grid.scenarios.empty() || parsed.options.shard.count > 1);
  for (const Scenario& s : built.grid.scenarios) {
    require(s.N >= 2 && s.N1 >= 1 && s.N1 < s.N && s.K >= 1 && s.K < s.N);
    require(s.N1 + s.N2 == s.N);
  }
  return 0;
}
