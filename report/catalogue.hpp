// The catalogue of every record KEMRO writes: one named layout per record.
// A report line's shape is found here and nowhere else.
#pragma once

#include <initializer_list>
#include <string_view>

#include "report/record_writer.hpp"

// clang-format off
namespace kemro::records {

// --- Console records ---

inline constexpr Descriptor START_STAMP[] = {
    Text("Program execution starts on "), I(2), Text("/"), I(2), Text("/"), I(4),
    Text(" at"), I(3), Text(":"), I(2), Text(":"), I(2)};

inline constexpr std::string_view FILENAME_PROMPT = " Filename to write output of the program? ";

// Items: " File ", the 14-character file name, " found - write over it", "  (y/n) ?".
inline constexpr Descriptor OVERWRITE_QUESTION[] = {A(), A(), A(), A()};
inline constexpr std::string_view OVERWRITE_FILE = " File ";
inline constexpr std::string_view OVERWRITE_FOUND = " found - write over it";
inline constexpr std::string_view OVERWRITE_YN = "  (y/n) ?";

inline constexpr std::string_view PROMPT_APPLICANTS = "Total number of applicants?";
inline constexpr std::string_view PROMPT_MAJORITY = "Number of applicants from the majority group?";
inline constexpr std::string_view PROMPT_HIRES = "Required number of new employees?";
inline constexpr std::string_view PROMPT_EFFECT_SIZE = "Effect size predictor composite?";

inline constexpr Descriptor TRACE_HEADING[] = {
    Slash(), Slash(), Text("SOME OUTPUT TO SEE THE NUMBER CRUNCHING AT WORK"), Slash()};

inline constexpr Descriptor TRACE_EXPLANATION[] = {
    Text("Computation of the probabilities Pij as documented in the"), Slash(),
    Text("users guide. For each combination of feasible values"), Slash(),
    Text("for i (the ith order statistic of the majority sample)"), Slash(),
    Text("and j (the jth order statistic of the minority sample): the"), Slash(),
    Text("estimates of Pij:"), Slash(), Slash(),
    X(22), Text("I"), X(6), Text("J"), X(6), Text("Pij")};

// Items: m, I, J, PROB(m), RESULT.
inline constexpr Descriptor TRACE_ROW[] = {X(10), I(6), I(7), I(7), F(10, 5), D(20, 10)};

// Items: the inner integrator's error code.
inline constexpr Descriptor INTEGRATION_WARNING[] = {Text("DQAG ERROR in FUN"), I(4)};

// Items: m, PROB(m), PROB(m + 1).
inline constexpr Descriptor NEGATIVE_PROBABILITY_WARNING[] = {
    Text("ERROR in MAIN NEG PROP near fmt 666"), I(4), F(10, 6), F(10, 6)};

inline constexpr std::string_view EXIT_PROMPT = "Ready to exit (Answer with y or n)?";

// --- Report records ---

inline constexpr Descriptor BANNER[] = {
    X(20), Text("+++++++++++"), Slash(),
    X(20), Text("++ KEMRO ++"), Slash(),
    X(20), Text("+++++++++++"), Slash(),
    Slash(),
    Text("Analytical computation of the expected value and the"), Slash(),
    Text("sampling distribution function of the adverse impact ratio"), Slash(),
    Text("for single-stage selection decisions."), Slash(),
    Slash(),
    Text("Program written by the KEMRO developers"), Slash(),
    Slash(),
    Text("The program uses routines from the Slatec library (see"), Slash(),
    Text("http://www.netlib.org/slatec/) and a couple"), Slash(),
    Text("of algorithms from StatLib (see http://lib.stat.cmu.edu/apstat/)")};

// Items: N, N1, N2, K, d.
inline constexpr Descriptor PROBLEM_SPECIFICATION[] = {
    Slash(), Text("PROBLEM SPECIFICATION"), Slash(), Slash(),
    Text("Total number of applicants:"), I(7), Slash(),
    Text("Number of majority group applicants:"), I(7), Slash(),
    Text("Number of minority group applicants:"), I(7), Slash(),
    Text("Required number of new employees:"), I(7), Slash(),
    Text("Effect size predictor (composite):"), F(10, 6), Slash()};

inline constexpr Descriptor OUTPUT_HEADING[] = {Text("PROGRAM OUTPUT")};

inline constexpr Descriptor DISTRIBUTION_HEADING[] = {
    Slash(), Text("Exact Sampling Distribution Function Adverse Impact (AI)."), Slash(),
    Text("The value -1.000 for AI means AI is not defined"), Slash(),
    Text("N2: number selected from the minority applicant group"), Slash(),
    Text("N1: number selected from the majority applicant group"), Slash(), Slash(),
    Text("AIvalue"), X(4), Text("Prob   CProb     N2     N1")};

// Items: AI(m), PVS(m), PVSC(m), NY(m), NX(m).
inline constexpr Descriptor DISTRIBUTION_ROW[] = {F(7, 3), F(8, 4), F(8, 4), I(7), I(7)};

// Items: expected SRA, SRI, AI, then the seven percentiles (the eighth field stays unused).
inline constexpr Descriptor EXACT_VALUES[] = {
    Slash(), Text("Exact values (i.e., values derived from the exact sampling"), Slash(),
    Text("distribution) for the expected selection rate in the majority"), Slash(),
    Text("group (SRA), the expected selection rate in the minority"), Slash(),
    Text("group (SRI) and the expected adverse impact ratio (AI)"), Slash(),
    Text("Observe that the expected adverse impact is computed over"), Slash(),
    Text("only the finite values of AI!"), Slash(), Slash(),
    X(4), Text("  SRA"), X(4), Text("  SRI"), X(5), Text("  AI"), Slash(),
    F(9, 5), F(9, 5), F(9, 5), Slash(), Slash(),
    Text("Percentile values sampling distrubtion AI: 5, 10, 25, 50,"), Slash(),
    Text("75, 90 and 95th percentile"), Slash(),
    X(4), Text("P05"), X(4), Text("P10"), X(4), Text("P25"), X(4), Text("P50"),
    X(4), Text("P75"), X(4), Text("P90"), X(4), Text("P95"), Slash(),
    F(7, 3), F(7, 3), F(7, 3), F(7, 3), F(7, 3), F(7, 3), F(7, 3), F(7, 3)};

// Items: population SRA, SRI, AI.
inline constexpr Descriptor POPULATION_VALUES[] = {
    Slash(), Text("Population values for SRA, SRI and AI:"), Slash(),
    X(4), Text("  SRA"), X(4), Text("  SRI"), X(5), Text("  AI"), Slash(),
    F(9, 5), F(9, 5), F(9, 5)};

// Items: CPU seconds used.
inline constexpr Descriptor CPU_TIME[] = {Slash(), Text("CPU TIME IN SECONDS "), F(12, 2)};

}  // namespace kemro::records
// clang-format on

namespace kemro {

// Writes one catalogue record with its items to a stream; false on a stream error.
inline bool write(std::FILE* out, Layout layout, std::initializer_list<Item> items = {}) {
  return write_record(out, layout, std::span<const Item>(items.begin(), items.size()));
}

}  // namespace kemro
