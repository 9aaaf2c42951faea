// Shared by the package's entry points into the KEMRO library: engine names,
// scenario validation in the library's words, values for R, and the
// computing of scenarios on the library's worker pool while R's thread
// watches for an interrupt.
//
// The entry points are called from R only through the unexported cpp_
// functions. The R wrappers check and recycle the arguments; each entry
// checks every scenario again with the library's own validation and throws
// std::invalid_argument with its reason. The generated wrappers
// (RcppExports.cpp, BEGIN_RCPP/END_RCPP) turn that and every other C++
// exception into an R error, so none reaches R itself. Nothing here prints:
// trouble is counted and R decides what to show.
#pragma once

#include <Rcpp.h>

#include <memory>
#include <string>
#include <vector>

#include "distribution/scenario.hpp"
#include "distribution/scenario_summary.hpp"
#include "distribution/worker_pool.hpp"

namespace kemro::r {

// The engine of that name, or std::invalid_argument naming the argument.
Engine engine_named(const std::string& name);

// One scenario from the counts; throws std::invalid_argument with the
// library's reason when `engine` cannot compute it. `which` names the
// scenario in the message ("" for one).
Scenario valid_scenario(int N, int N1, int K, double d, Engine engine, const std::string& which,
                        const kemro::RuleLevels& levels = {});

// A value for R: NaN and infinities (an undefined ratio, 0/0) become NA, as
// they are empty fields in the tools' CSV.
double finite_or_na(double value);

// A value for R that keeps infinities (an unbounded end of an interval, the
// limit of an undefined ratio) and turns NaN into NA.
double number_or_na(double value);

// An AI from the table or its percentiles: the undefined-ratio code becomes NA.
double ratio_or_na(double AI);

// The number of worker threads asked for: 0 (one per core) up to the
// library's MAX_WORKERS, as kemro-grid's --jobs; std::invalid_argument naming
// `jobs` otherwise.
unsigned jobs_checked(int jobs);

// The work areas of the computing threads, made on R's thread and kept for
// as many batches as a solve hands over.
using WorkAreas = kemro::WorkAreas<ScenarioWork>;

// Computes every scenario on up to `jobs` threads (0: one per core) of the
// library's worker pool, results in scenario order. The calling thread, which
// must be R's, only waits and looks for an interrupt from the R console; on
// one, the workers finish their current scenario, take no other, and the
// interrupt goes on to R once they have joined. An exception in a worker is
// passed on the same way.
std::vector<ScenarioResult> compute_all(const std::vector<Scenario>& scenarios, Engine engine,
                                        bool keep_distribution, unsigned jobs, WorkAreas& work);

// Stops a pool's run for an interrupt from the R console: throws R's
// interrupt, which unwinds through the pool once its workers have joined.
bool check_interrupt();

}  // namespace kemro::r
