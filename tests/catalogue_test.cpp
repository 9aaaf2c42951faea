// The catalogue's records rendered with known items: every column where the
// report's readers expect it.
#include "report/catalogue.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kemro {
namespace {

std::string render(Layout layout, std::vector<Item> items = {}) {
  return render_record(layout, items);
}

TEST(Catalogue, StartStampIsBlankPaddedDayFirst) {
  EXPECT_EQ(render(records::START_STAMP, {7, 3, 2026, 8, 5, 9}),
            "Program execution starts on  7/ 3/2026 at  8: 5: 9\n");
  EXPECT_EQ(render(records::START_STAMP, {31, 12, 2026, 23, 59, 58}),
            "Program execution starts on 31/12/2026 at 23:59:58\n");
}

TEST(Catalogue, TraceRowsStandUnderTheirCaptions) {
  const std::string explanation = render(records::TRACE_EXPLANATION);
  const std::string caption =
      explanation.substr(explanation.rfind('\n', explanation.size() - 2) + 1);
  EXPECT_EQ(caption, "                      I      J      Pij\n");
  const std::string row = render(records::TRACE_ROW, {12, 661, 260, 0.25, -2.5e-7});
  EXPECT_EQ(row, "              12    661    260   0.25000   -0.2500000000E-06\n");
  EXPECT_EQ(row.size(), 61u);
  EXPECT_EQ(caption.find('I'), row.find("661") + 2);  // over the last digit of I
  EXPECT_EQ(caption.find('J'), row.find("260") + 2);  // over the last digit of J
  EXPECT_EQ(caption.find("Pij"), 36u);                // columns 37 to 39
}

TEST(Catalogue, DistributionRowsStandUnderTheirCaptions) {
  const std::string heading = render(records::DISTRIBUTION_HEADING);
  EXPECT_EQ(heading,
            "\nExact Sampling Distribution Function Adverse Impact (AI).\n"
            "The value -1.000 for AI means AI is not defined\n"
            "N2: number selected from the minority applicant group\n"
            "N1: number selected from the majority applicant group\n"
            "\n"
            "AIvalue    Prob   CProb     N2     N1\n");
  EXPECT_EQ(render(records::DISTRIBUTION_ROW, {-1.0, 0.125, 1.0, 2, 0}),
            " -1.000  0.1250  1.0000      2      0\n");
  EXPECT_EQ(render(records::DISTRIBUTION_ROW, {1.5, 0.625, 0.875, 1, 1}),
            "  1.500  0.6250  0.8750      1      1\n");
}

TEST(Catalogue, ExactValuesEndAfterTheSeventhPercentile) {
  const std::string text = render(records::EXACT_VALUES, {0.375, 0.4375, 1.0714285714285714, 0.0,
                                                          0.0, 0.0, 1.5, 1.5, -1.0, -1.0});
  EXPECT_EQ(text,
            "\nExact values (i.e., values derived from the exact sampling\n"
            "distribution) for the expected selection rate in the majority\n"
            "group (SRA), the expected selection rate in the minority\n"
            "group (SRI) and the expected adverse impact ratio (AI)\n"
            "Observe that the expected adverse impact is computed over\n"
            "only the finite values of AI!\n"
            "\n"
            "      SRA      SRI       AI\n"
            "  0.37500  0.43750  1.07143\n"
            "\n"
            "Percentile values sampling distrubtion AI: 5, 10, 25, 50,\n"
            "75, 90 and 95th percentile\n"
            "    P05    P10    P25    P50    P75    P90    P95\n"
            "  0.000  0.000  0.000  1.500  1.500 -1.000 -1.000\n");
}

TEST(Catalogue, ProblemSpecificationPopulationAndCpuLines) {
  EXPECT_EQ(render(records::PROBLEM_SPECIFICATION, {100, 80, 20, 20, 1.0}),
            "\nPROBLEM SPECIFICATION\n\n"
            "Total number of applicants:    100\n"
            "Number of majority group applicants:     80\n"
            "Number of minority group applicants:     20\n"
            "Required number of new employees:     20\n"
            "Effect size predictor (composite):  1.000000\n\n");
  EXPECT_EQ(render(records::POPULATION_VALUES, {0.23908, 0.04370, 0.18279}),
            "\nPopulation values for SRA, SRI and AI:\n"
            "      SRA      SRI       AI\n"
            "  0.23908  0.04370  0.18279\n");
  EXPECT_EQ(render(records::CPU_TIME, {3.25}), "\nCPU TIME IN SECONDS         3.25\n");
}

TEST(Catalogue, ConsoleWarnings) {
  EXPECT_EQ(render(records::INTEGRATION_WARNING, {2}), "DQAG ERROR in FUN   2\n");
  EXPECT_EQ(render(records::NEGATIVE_PROBABILITY_WARNING, {1, 0.5, 0.49994}),
            "ERROR in MAIN NEG PROP near fmt 666   1  0.500000  0.499940\n");
  EXPECT_EQ(render(records::TRACE_HEADING),
            "\n\nSOME OUTPUT TO SEE THE NUMBER CRUNCHING AT WORK\n\n");
}

}  // namespace
}  // namespace kemro
