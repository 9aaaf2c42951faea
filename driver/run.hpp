// The run driver: one analysis per start, from the start stamp to the exit prompt.
#pragma once

#include <cstdio>
#include <functional>
#include <istream>

#include "distribution/analysis.hpp"

namespace kemro {

// The computing stages as the driver calls them; `analyse` unless a test
// substitutes its own.
using AnalysisStages =
    std::function<Analysis(ModelState&, const CFUN&, Integrators&, Table&, OutcomeListener&)>;

// Runs the whole dialog and computation: answers from `in`, prompts and trace
// on `console`, diagnostics (and a declined report) on `errors`. Returns the
// process exit status.
int run_kemro(std::istream& in, std::FILE* console, std::FILE* errors,
              const AnalysisStages& stages = analyse);

}  // namespace kemro
