// Stand-in for the fast engine until it lands: the nested analysis with its
// own work areas, so that the front ends can be built and tested against the
// fast engine's interface.
#include "distribution/analysis.hpp"

namespace kemro {

namespace {

class SilentListener final : public OutcomeListener {
 public:
  void integration_warning(int) override {}
  void trace_row(std::int32_t, std::int32_t, std::int32_t, double, double) override {}
  void abnormal_return(int) override {}
  void notice(std::string_view) override {}
};

}  // namespace

Analysis analyse_fast(ModelState& state, const CFUN& share, Table& table) {
  thread_local Integrators work;
  SilentListener listener;
  return analyse(state, share, work, table, listener);
}

}  // namespace kemro
