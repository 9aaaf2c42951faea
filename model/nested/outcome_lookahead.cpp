#include "model/nested/outcome_lookahead.hpp"

#include <algorithm>
#include <utility>

#include "model/nested/outcomes.hpp"

namespace kemro {
namespace {

// Keeps what an attempt tells its listener; an attempt gives no trace rows or notices.
class CallRecorder final : public OutcomeListener {
 public:
  explicit CallRecorder(FirstAttempt& attempt) : attempt_(attempt) {}
  void integration_warning(int ier) override {
    attempt_.calls.emplace_back(FirstAttempt::Call::integration_warning, ier);
  }
  void abnormal_return(int ier) override {
    attempt_.calls.emplace_back(FirstAttempt::Call::abnormal_return, ier);
  }
  void trace_row(std::int32_t, std::int32_t, std::int32_t, double, double) override {}
  void notice(std::string_view) override {}

 private:
  FirstAttempt& attempt_;
};

}  // namespace

void FirstAttempt::replay(OutcomeListener& listener) const {
  for (const auto& [call, ier] : calls) {
    if (call == Call::integration_warning) {
      listener.integration_warning(ier);
    } else {
      listener.abnormal_return(ier);
    }
  }
}

FirstAttempt first_attempt(const ModelState& problem, std::int32_t m, Integrators& work) {
  FirstAttempt attempt;
  CallRecorder recorder(attempt);
  ModelState state = problem;
  const std::int64_t L = std::max<std::int64_t>(0, std::int64_t{problem.K} - problem.N1);
  const std::int64_t t = L + m - 1;
  state.I = static_cast<std::int32_t>(problem.N1 - (problem.K - t) + 1);
  state.J = static_cast<std::int32_t>(problem.N2 - t);
  state.inner_workspace = &work.inner;
  state.listener = &recorder;
  state.FU1_evaluations = 0;
  state.FUN_evaluations = 0;
  attempt.plan = plan_outcome(state);
  state.plan = &attempt.plan;
  attempt.RESULT = integrate_outcome(state, work, recorder, attempt.plan, attempt.plan.lower,
                                     attempt.plan.upper);
  attempt.FU1_evaluations = state.FU1_evaluations;
  attempt.FUN_evaluations = state.FUN_evaluations;
  return attempt;
}

OutcomeLookahead::OutcomeLookahead(const ModelState& problem, std::int32_t last, Integrators& work)
    : problem_(problem),
      last_(last),
      caller_work_(work),
      own_work_(std::make_unique<Integrators>()),
      worker_([this](std::stop_token stop) { run(stop); }) {}

OutcomeLookahead::~OutcomeLookahead() = default;

void OutcomeLookahead::compute_next(std::unique_lock<std::mutex>& lock, Integrators& work) {
  const std::int32_t m = next_++;
  Slot& claimed = slot(m);
  claimed = Slot{};
  claimed.m = m;
  lock.unlock();
  FirstAttempt attempt;
  std::exception_ptr failure;
  try {
    attempt = first_attempt(problem_, m, work);
  } catch (...) {
    failure = std::current_exception();
  }
  lock.lock();
  if (claimed.m != m) return;  // the slot went to a later outcome: this one is not wanted
  claimed.attempt = std::move(attempt);
  claimed.failure = failure;
  claimed.done = true;
  changed_.notify_all();
}

void OutcomeLookahead::run(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  while (changed_.wait(lock, stop, [this] { return can_claim(); }) && !stop.stop_requested()) {
    compute_next(lock, *own_work_);
  }
}

FirstAttempt OutcomeLookahead::take(std::int32_t m) {
  std::unique_lock lock(mutex_);
  wanted_ = m;
  changed_.notify_all();  // the window has moved on
  for (;;) {
    Slot& held = slot(m);
    if (held.m == m && held.done) {
      held.m = 0;
      if (held.failure) std::rethrow_exception(held.failure);
      return std::move(held.attempt);
    }
    if (held.m != m) {  // nobody has started it: compute it here
      next_ = std::max(next_, m + 1);
      lock.unlock();
      return first_attempt(problem_, m, caller_work_);
    }
    // The other thread is on it: work ahead meanwhile, or wait.
    if (can_claim()) {
      compute_next(lock, caller_work_);
    } else {
      changed_.wait(lock);
    }
  }
}

}  // namespace kemro
