// Shared by the extension module's entry points: engine names, scenario
// validation in the library's words, conversion of arrays and of result
// cells, and the computing of scenarios on the library's worker threads with
// the interpreter's lock released.
//
// Every entry point is called from the package's Python layer (kemro/), which
// checks types, shapes and ranges first and names the argument. The entry
// points check again what the library checks (each scenario, the target, the
// counts of a decision) and throw std::invalid_argument with the library's
// reason, which pybind11 turns into ValueError. Nothing here prints.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "distribution/scenario.hpp"
#include "distribution/scenario_summary.hpp"
#include "distribution/worker_pool.hpp"

namespace kemro::python {

namespace py = pybind11;

// Counts arrive as 64-bit integers, effect sizes and shares as doubles, one
// dimension, converted from whatever array-like the caller passed.
using CountArray = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>;
using RealArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

// The engine of that name, or std::invalid_argument naming the argument.
Engine engine_named(const std::string& name);

// The number of worker threads asked for: 0 (one per core) up to the
// library's MAX_WORKERS, as kemro-grid's --jobs.
unsigned jobs_checked(long long jobs);

// The elements of a one-dimensional array; std::invalid_argument naming
// `name` when it has another number of dimensions or, with `length` set,
// another length.
std::vector<std::int64_t> counts_of(const CountArray& array, const char* name,
                                    std::size_t length = SIZE_MAX);
std::vector<double> reals_of(const RealArray& array, const char* name,
                             std::size_t length = SIZE_MAX);

// One scenario from the counts; std::invalid_argument with `which` and the
// library's reason when `engine` cannot compute it. `N1_name` and `K_name`
// say how N1 and K were formed ("N1 = N - round(minority_share * N)"). The
// rules decide at `levels`, which the library checks with the scenario.
Scenario valid_scenario(std::int64_t N, std::int64_t N1, std::int64_t K, double d, Engine engine,
                        const std::string& which, const std::string& N1_name = "N1",
                        const std::string& K_name = "K", const RuleLevels& levels = {});

// Computes every scenario on `jobs` threads (0: one per core), results in
// scenario order. The interpreter's lock is released while the workers
// compute; the calling thread takes it back about every tenth of a second to
// let Python handle signals. On Ctrl-C (or any signal handler that raises)
// the workers take no new scenario, the running ones finish, and the
// exception the handler raised propagates once the threads have joined.
std::vector<ScenarioResult> compute_all(const std::vector<Scenario>& scenarios, Engine engine,
                                        bool keep_distribution, unsigned jobs);

// A worker pool's stop request while the interpreter's lock is released:
// takes the lock back, lets Python run its signal handlers and asks to stop
// once one raised (Ctrl-C: KeyboardInterrupt). The caller then throws
// py::error_already_set, with the lock held, after the pool has joined.
struct PythonSignals {
  bool raised = false;
  bool operator()();
};

// compute(i, area) for i = 0..count-1 on the library's worker pool, results
// in order, the interpreter's lock released meanwhile; Ctrl-C stops the pool
// between two items and is raised once it has joined.
template <typename Area, typename Compute>
auto compute_interruptible(std::size_t count, unsigned jobs, WorkAreas<Area>& areas,
                           Compute compute) {
  PythonSignals signals;
  decltype(compute_all_in_order(count, jobs, areas, compute)) results;
  {
    const py::gil_scoped_release release;
    results =
        compute_all_in_order(count, jobs, areas, compute, PoolControl{nullptr, std::ref(signals)});
  }
  if (signals.raised) throw py::error_already_set();
  return results;
}

// Columns from rows of variant cells, one per name, as a dict in the names'
// order. Each column's type is that of its cell in `types` (a record made from
// default values): counts become int64 arrays, numbers float64 arrays (NaN
// where undefined), flags bool arrays and texts lists of str (None for an
// empty summary text, which has no value).
template <typename Cell>
py::dict columns_from_cells(const std::vector<std::string>& names, const std::vector<Cell>& types,
                            const std::vector<std::vector<Cell>>& rows) {
  const auto n = static_cast<py::ssize_t>(rows.size());
  py::dict out;
  for (std::size_t c = 0; c < names.size(); ++c) {
    py::object column;
    std::visit(
        [&](const auto& prototype) {
          using T = std::decay_t<decltype(prototype)>;
          if constexpr (std::is_same_v<T, std::string_view> || std::is_same_v<T, std::string>) {
            py::list texts(n);
            for (py::ssize_t i = 0; i < n; ++i) {
              const auto text = std::get<T>(rows[static_cast<std::size_t>(i)][c]);
              // An empty catalogue text has no value (the nested engine's status).
              if (std::is_same_v<T, std::string_view> && text.empty()) {
                texts[static_cast<std::size_t>(i)] = py::none();
              } else {
                texts[static_cast<std::size_t>(i)] = py::str(text.data(), text.size());
              }
            }
            column = texts;
          } else {
            py::array_t<T> values(n);
            T* data = values.mutable_data();
            for (py::ssize_t i = 0; i < n; ++i) {
              data[i] = std::get<T>(rows[static_cast<std::size_t>(i)][c]);
            }
            column = values;
          }
        },
        types[c]);
    out[py::str(names[c])] = column;
  }
  return out;
}

}  // namespace kemro::python
