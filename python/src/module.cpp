// The extension module kemro._kemro: the library's scenario summary,
// distribution, composite effect size, planning solves and observed-decision
// analysis for the package's Python layer (python/kemro/__init__.py), which
// documents them for users.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "entries.hpp"

namespace py = pybind11;
using namespace kemro::python;

PYBIND11_MODULE(_kemro, m) {
  m.doc() = "The KEMRO library's computations; use the functions of the kemro package.";
  m.attr("version") = KEMRO_VERSION;
  m.def("summary_catalogue", &summary_catalogue,
        "(name, header, meaning) of every summary column, in record order.");
  m.def("summary", &summary, py::arg("N"), py::arg("N1"), py::arg("K"), py::arg("d"),
        py::arg("alpha"), py::arg("threshold"), py::arg("engine"), py::arg("jobs"),
        py::arg("N1_name") = "N1", py::arg("K_name") = "K",
        "kemro-grid's summary record of each scenario, as columns.");
  m.def("group_summary", &group_summary, py::arg("names"), py::arg("shares"), py::arg("counts"),
        py::arg("d"), py::arg("selection"), py::arg("N"), py::arg("hires"),
        py::arg("selection_ratio"), py::arg("cut_score"), py::arg("jobs"),
        "kemro-grid's several-group record of each scenario, as columns.");
  m.def("distribution", &distribution, py::arg("N"), py::arg("N1"), py::arg("K"), py::arg("d"),
        py::arg("engine"), "The distribution of one scenario and its summary record.");
  m.def("composite_d", &composite_d, py::arg("predictor_d"), py::arg("weights"),
        py::arg("intercorrelations"), "The effect size of a weighted composite of predictors.");
  m.def("solve_d", &solve_d, py::arg("N"), py::arg("N1"), py::arg("K"), py::arg("alpha"),
        py::arg("threshold"), py::arg("d_low"), py::arg("d_high"), py::arg("target"),
        py::arg("engine"), py::arg("jobs"),
        "The d at which a quantity equals a target, per base scenario.");
  m.def("solve_discrete", &solve_discrete, py::arg("range"), py::arg("value"), py::arg("N"),
        py::arg("N1"), py::arg("K"), py::arg("d"), py::arg("alpha"), py::arg("threshold"),
        py::arg("target"), py::arg("solved_for"), py::arg("engine"), py::arg("jobs"),
        "The first value of each range meeting a target.");
  m.def("observed_catalogue", &observed_catalogue,
        "(name, meaning) of every observed-decision column, in record order.");
  m.def("observed", &observed, py::arg("N"), py::arg("N1"), py::arg("K"), py::arg("S"),
        py::arg("d"), py::arg("alpha"), py::arg("threshold"),
        "kemro-observed's records for each decision and d.");
  m.def("observed_groups", &observed_groups, py::arg("names"), py::arg("applicants"),
        py::arg("hires"), py::arg("reference"), py::arg("minority"), py::arg("d"), py::arg("alpha"),
        py::arg("threshold"), "kemro-observed's records for several groups of one decision.");
}
