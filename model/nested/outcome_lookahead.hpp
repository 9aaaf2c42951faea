// Outcomes integrated ahead of their turn, on a second thread. An outcome's
// first attempt depends only on its own indices I and J, its plan and its
// range, never on the outcomes before it: only the tests that judge its value
// read the previous one. So while the outcome loop settles one outcome, the
// first attempts of the next ones can be integrated alongside, each with its
// own copy of the model state and its own work areas. What such an attempt
// tells the listener is kept with it and passed on only when the loop uses it,
// so the listener hears everything in the order of a computation on one
// thread, and every RESULT is bit for bit the one that computation gets.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "model/integrator.hpp"
#include "model/nested/integration_plan.hpp"
#include "model/nested/model_state.hpp"

namespace kemro {

class OutcomeListener;

// An outcome's first attempt, computed over its plan's range.
struct FirstAttempt {
  IntegrationPlan plan;  // with G tabulated, ready for the retries
  double RESULT = 0.0;
  std::uint64_t FU1_evaluations = 0;
  std::uint64_t FUN_evaluations = 0;

  // What the attempt told its listener: integration warnings and abnormal
  // returns with their codes, in order.
  enum class Call { integration_warning, abnormal_return };
  std::vector<std::pair<Call, int>> calls;

  // Tells `listener` what the attempt told its own.
  void replay(OutcomeListener& listener) const;
};

// The first attempt of outcome m (threshold t = L + m - 1) of the problem in
// `problem`, integrated with `work`; the state itself is not changed.
FirstAttempt first_attempt(const ModelState& problem, std::int32_t m, Integrators& work);

// Hands out the first attempts of outcomes 1, 2, ... in turn, computing the
// following ones ahead on a second thread with work areas of its own, allocated
// once. The caller's thread integrates too, with the caller's work areas: the
// outcome asked for when nobody has started it, and a later one while it waits.
class OutcomeLookahead {
 public:
  // At most `last` outcomes are computed: the loop never asks for more.
  OutcomeLookahead(const ModelState& problem, std::int32_t last, Integrators& work);
  // Waits for an outcome still being integrated ahead; what was never asked for is dropped.
  ~OutcomeLookahead();
  OutcomeLookahead(const OutcomeLookahead&) = delete;
  OutcomeLookahead& operator=(const OutcomeLookahead&) = delete;

  // The first attempt of outcome m, for m = 1, 2, ... in turn.
  FirstAttempt take(std::int32_t m);

 private:
  // How many outcomes, from the one asked for on, may be claimed at a time:
  // enough to keep both threads busy, few enough to waste little after the
  // last outcome that is needed.
  static constexpr std::int32_t WINDOW = 3;

  struct Slot {
    std::int32_t m = 0;  // the outcome claimed for this slot; 0: none
    bool done = false;
    FirstAttempt attempt;
    std::exception_ptr failure;  // what computing it threw, for the caller to rethrow
  };

  Slot& slot(std::int32_t m) { return slots_[static_cast<std::size_t>(m % WINDOW)]; }
  bool can_claim() const { return next_ <= last_ && next_ - wanted_ < WINDOW; }
  // Claims the next outcome, computes it with `work` unlocked, and stores it.
  void compute_next(std::unique_lock<std::mutex>& lock, Integrators& work);
  void run(std::stop_token stop);

  const ModelState problem_;
  const std::int32_t last_;
  Integrators& caller_work_;
  std::unique_ptr<Integrators> own_work_;

  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::int32_t next_ = 1;    // the first outcome nobody has claimed
  std::int32_t wanted_ = 1;  // the outcome the loop asks for, or will ask for next
  std::array<Slot, WINDOW> slots_;

  std::jthread worker_;  // last: stopped and joined before the members above go
};

}  // namespace kemro
