// libFuzzer target for kemro-observed's command line: the input, split at NUL
// bytes, is the argument list. Parsing and the cases spanned by the count
// options are checked against what they promise; nothing is computed.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "tools/observed/options.hpp"

namespace {

using namespace kemro::observed;

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> args;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= input.size(); ++i) {
    if (i == input.size() || input[i] == '\0') {
      args.push_back(input.substr(start, i - start));
      start = i + 1;
    }
  }
  const ParsedOptions parsed = parse_options(args);
  const ObservedOptions& o = parsed.options;
  if (!parsed.ok() || o.help || o.version) return 0;
  require(o.alpha > 0.0 && o.alpha < 1.0);
  require(!o.d.empty());
  for (double d : o.d) require(std::isfinite(d));
  const int sources = (o.applicants.empty() ? 0 : 1) + (o.cases_file.empty() ? 0 : 1) +
                      (o.applicant_file.empty() ? 0 : 1);
  require(sources == 1);
  if (!o.applicants.empty()) {
    require(!o.majority.empty() && !o.hires.empty() && !o.minority_hires.empty());
    const CaseList cases = cases_from_counts(o);
    require(cases.cases.size() <= MAX_CASES);
    for (const Case& c : cases.cases) require(kemro::observed_counts_error(c.counts).empty());
    require(!cases.ok() || !cases.cases.empty());
  }
  if (!o.applicant_file.empty()) {
    require(!o.columns.group.empty() && !o.columns.hired.empty());
    require(o.columns.minority.empty() || o.columns.minority != o.columns.reference);
  }
  return 0;
}
