// kemro-observed's input and end-to-end behaviour: the CSV reader on a table of
// texts (quoting, CR LF, byte-order mark, errors with their lines), counts
// formed from applicant data against the same counts given directly, and runs
// of build/kemro-observed for text, CSV and JSON and for a table of bad inputs
// (exit status and message, nothing on standard output).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/program_process.hpp"
#include "tools/observed/cases.hpp"
#include "tools/observed/csv_table.hpp"

namespace {

using namespace kemro::observed;
using kemro::testing::make_temp_dir;
using kemro::testing::read_file;
using kemro::testing::split_lines;
using kemro::testing::write_file;

const std::filesystem::path FIXTURES = std::filesystem::path(KEMRO_SOURCE_DIR) / "tests/fixtures";

struct CsvCase {
  const char* text;
  const char* error;                    // empty: parses
  std::vector<std::size_t> lines;       // the records' lines
  std::vector<std::string> last_field;  // each record's last field
};

const CsvCase CSV_CASES[] = {
    {"\xEF\xBB\xBF"
     "a,b\r\n\"x, \"\"y\"\"\r\nz\",2\r\n3,4",
     "",
     {2, 4},
     {"2", "4"}},
    {"a,b\n\n  \n1, \"q\" \n,\n", "", {4}, {"q"}},
    {"a\r1\r\"2\r\n3\"\n", "", {2, 3}, {"1", "2\r\n3"}},  // lone CRs end lines too
    {"a,b\n\"x\"y,1\n",
     "line 2: a quote inside an unquoted field, or text after a closing quote",
     {},
     {}},
    {"a,b\nx\"y,1\n",
     "line 2: a quote inside an unquoted field, or text after a closing quote",
     {},
     {}},
    {"a,b\n1,2,3\n", "line 2: 3 fields where the header has 2", {}, {}},
    {"a,b\n1,2\n\"3,4\n", "line 3: a quoted field is not closed", {}, {}},
    {"a,a\n1,2\n", "line 1: column 'a' appears twice", {}, {}},
    {"a,\n1,2\n", "line 1: column 2 has no name", {}, {}},
    {"a,b\n1,2\n\xFF,3\n", "line 3: the text is not UTF-8", {}, {}},
    {"a,b\n\xED\xA0\x80,3\n", "line 2: the text is not UTF-8", {}, {}},  // a surrogate
    {"", "the file is empty", {}, {}},
    {"\xEF\xBB\xBF\r\n\r\n", "the file is empty", {}, {}},
};

TEST(ObservedCsv, ReadsQuotedFieldsAndNamesTheLineOfEachError) {
  for (const CsvCase& c : CSV_CASES) {
    SCOPED_TRACE(c.text);
    const CsvTable table = parse_csv(c.text);
    EXPECT_EQ(table.error, c.error);
    std::vector<std::size_t> lines;
    std::vector<std::string> last;
    for (const CsvRecord& r : table.records) {
      lines.push_back(r.line);
      last.push_back(r.fields.back());
    }
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(last, c.last_field);
  }
  EXPECT_EQ(parse_csv(CSV_CASES[0].text).records[0].fields[0], "x, \"y\"\r\nz");
}

TEST(ObservedCases, ApplicantDataGivesTheCountsOfTheCasesTable) {
  // The applicant file has a byte-order mark, CR LF, quoted commas, quotes and
  // a line break, mixed spellings of hired, and two majority values (Y, Z).
  const CsvTable applicants = parse_csv(read_file(FIXTURES / "observed_applicants.csv"));
  ASSERT_EQ(applicants.error, "");
  const CaseList formed =
      cases_from_applicants(applicants, "a.csv", {"group", "X", "hired", "dept"});
  const CaseList given =
      cases_from_table(parse_csv(read_file(FIXTURES / "observed_cases.csv")), "c.csv");
  ASSERT_EQ(formed.error, "");
  ASSERT_EQ(given.error, "");
  ASSERT_EQ(formed.cases.size(), given.cases.size());
  for (std::size_t i = 0; i < formed.cases.size(); ++i) {
    EXPECT_EQ(formed.cases[i].label, given.cases[i].label);
    const kemro::ObservedCounts& a = formed.cases[i].counts;
    const kemro::ObservedCounts& b = given.cases[i].counts;
    EXPECT_EQ(std::vector({a.N, a.N1, a.K, a.S}), std::vector({b.N, b.N1, b.K, b.S})) << i;
  }
  const CaseList pooled = cases_from_applicants(applicants, "a.csv", {"group", "X", "hired", ""});
  ASSERT_EQ(pooled.cases.size(), 1u);
  EXPECT_EQ(pooled.cases[0].counts.N, 14);
  EXPECT_EQ(pooled.cases[0].counts.S, 2);
  EXPECT_FALSE(pooled.labelled);
}

kemro::testing::ProcessRun observed(const std::vector<std::string>& args,
                                    const std::filesystem::path& dir = FIXTURES) {
  return kemro::testing::run_program(KEMRO_OBSERVED_EXE, args, dir);
}

TEST(ObservedProgram, FileOfApplicantsAndFileOfCountsGiveTheSameRecords) {
  const auto from_data = observed({"--applicant-data", "observed_applicants.csv", "--group-column",
                                   "group", "--minority", "X", "--hired-column", "hired", "--by",
                                   "dept", "--d", "0,0.5", "--csv"});
  const auto from_counts = observed({"--cases=observed_cases.csv", "--d=0,0.5", "--csv"});
  ASSERT_EQ(from_data.status, 0) << from_data.err;
  EXPECT_EQ(from_data.out, from_counts.out);
  const std::vector<std::string> lines = split_lines(from_data.out);
  ASSERT_EQ(lines.size(), 5u);  // header, two cases times two d values
  EXPECT_TRUE(lines[1].starts_with("\"North, East\",8,6,2,3,1,0.3333333333333333,0.5,1.5,false,"));
}

TEST(ObservedProgram, TeaTastingTableInTextCsvAndJson) {
  const std::vector<std::string> counts = {"--applicants", "8", "--majority",      "4",
                                           "--hires",      "4", "--minority-hires"};
  auto args = counts;
  args.push_back("1");
  const auto text = observed(args);
  ASSERT_EQ(text.status, 0) << text.err;
  const std::vector<std::string> lines = split_lines(text.out);
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[2],
            "  Selection rates      SRA = 0.75000, SRI = 0.25000, AI = 0.33333 "
            "(below four fifths)");
  EXPECT_EQ(lines[5], "  Fisher's exact test  p one-sided (S <= 1) = 0.2429, p two-sided = 0.4857");
  EXPECT_TRUE(
      lines[9].starts_with("  An AI of 0.33 this low or lower has probability 0.24 if the "
                           "predictor has no group difference (d = 0); the outcome is "
                           "consistent with effect sizes from "));

  // S = 0 is the smallest outcome: no upper end and no finite ML d.
  args.back() = "0";
  args.push_back("--csv");
  const std::vector<std::string> csv = split_lines(observed(args).out);
  ASSERT_EQ(csv.size(), 2u);
  EXPECT_EQ(csv[0],
            "N,N1,N2,K,S,SRA,SRI,AI,four_fifths_violated,shortfall,z,p_z_two_sided,"
            "p_fisher_one_sided,p_fisher_two_sided,d,P_S_at_most_observed,"
            "P_AI_at_most_observed,d_ml,d_lower,d_upper,alpha,status");
  EXPECT_TRUE(csv[1].starts_with("8,4,4,4,0,1,0,0,true,2,")) << csv[1];
  EXPECT_TRUE(csv[1].ends_with(",,0.05,converged")) << csv[1];

  // S = 4 = K: no majority hire, AI undefined, no lower end.
  args.back() = "--json";
  args[args.size() - 2] = "4";
  const std::string json = observed(args).out;
  for (const char* field :
       {"\"AI\": null", "\"four_fifths_violated\": false", "\"P_AI_at_most_observed\": null",
        "\"d_ml\": null", "\"d_lower\": null", "\"P_S_at_most_observed\": 1,"}) {
    EXPECT_NE(json.find(field), std::string::npos) << field << "\n" << json;
  }
}

TEST(ObservedProgram, CsvOutputReadsBackWithItsLabelsAndEveryNumber) {
  const std::filesystem::path dir = make_temp_dir();
  write_file(dir / "labels.csv",
             "label,N,N1,K,S\n\"a, \"\"b\"\"\nc\",30,20,10,2\n\" padded \",30,20,10,10\n");
  const auto run = observed({"--cases", "labels.csv", "--csv"}, dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const CsvTable back = parse_csv(run.out);
  ASSERT_EQ(back.error, "");
  ASSERT_EQ(back.records.size(), 2u);
  EXPECT_EQ(back.records[0].fields[0], "a, \"b\"\nc");
  EXPECT_EQ(back.records[1].fields[0], " padded ");
  EXPECT_EQ(back.records[1].fields[column_index(back, "AI")], "");  // no majority hire
  const double ratio = std::stod(back.records[0].fields[column_index(back, "AI")]);
  EXPECT_EQ(ratio, (2.0 / 10) / (8.0 / 20));
  const auto json = observed({"--cases", "labels.csv", "--json"}, dir);
  EXPECT_NE(json.out.find("{\"label\": \"a, \\\"b\\\"\\nc\", \"N\": 30,"), std::string::npos)
      << json.out;
  std::filesystem::remove_all(dir);
}

struct BadRun {
  std::vector<std::string> args;
  int status;
  const char* message;  // the first line on standard error
};

const char* const APPLICANTS_BAD = "id,group,hired,dept\n1,X,1,a\n2,,0,a\n";
const char* const HIRED_BAD = "id,group,hired\n1,X,1\n2,Y,maybe\n";
const char* const NO_MINORITY = "group,hired,dept\nX,1,a\nY,0,a\nY,1,b\nY,0,b\n";
const char* const CASES_BAD = "N,N1,K,S\n10,5,3,1\n10,5,1.5,1\n";
const char* const CASES_RANGE = "label,N,N1,K,S\nok,10,5,3,1\nbad,10,5,4,5\n";

const BadRun BAD_RUNS[] = {
    {{"--cases", "missing.csv"},
     1,
     "kemro-observed: cannot read missing.csv: No such file or directory"},
    {{"--cases", "cases_bad.csv"},
     2,
     "kemro-observed: cases_bad.csv, line 3, column 'K': '1.5' is not a whole number"},
    {{"--cases", "cases_range.csv"},
     2,
     "kemro-observed: cases_range.csv, line 3: S = 5 is not between max(0, K - N1) = 0 and "
     "min(K, N2) = 4"},
    {{"--cases", "applicants_bad.csv"},
     2,
     "kemro-observed: applicants_bad.csv, line 1: unknown column 'id' (the columns are N, N1, "
     "K, S and an optional label)"},
    {{"--cases", "empty.csv"}, 2, "kemro-observed: empty.csv: the file is empty"},
    {{"--applicant-data", "applicants_bad.csv", "--group-column", "group", "--minority", "X",
      "--hired-column", "hired"},
     2,
     "kemro-observed: applicants_bad.csv, line 3, column 'group': the group is empty"},
    {{"--applicant-data", "hired_bad.csv", "--group-column", "group", "--minority", "X",
      "--hired-column", "hired"},
     2,
     "kemro-observed: hired_bad.csv, line 3, column 'hired': 'maybe' is not one of 1/0, "
     "yes/no, true/false"},
    {{"--applicant-data", "hired_bad.csv", "--group-column", "group", "--minority", "X",
      "--hired-column", "hired", "--by", "region"},
     2,
     "kemro-observed: hired_bad.csv: no column 'region' (named by --by)"},
    {{"--applicant-data", "no_minority.csv", "--group-column", "group", "--minority", "X",
      "--hired-column", "hired", "--by", "dept"},
     2,
     "kemro-observed: no_minority.csv, dept = 'b': N1 = 2 is not between 1 and N - 1 = 1"},
    {{"--applicants", "10", "--majority", "5", "--hires", "4", "--minority-hires", "0:5:1"},
     2,
     "kemro-observed: case N = 10, N1 = 5, K = 4, S = 5: S = 5 is not between max(0, K - N1) = 0 "
     "and min(K, N2) = 4"},
    {{"--applicants", "10", "--majority", "5", "--hires", "4"},
     2,
     "kemro-observed: --minority-hires is required with the other counts"},
    {{"--cases", "cases_bad.csv", "--hires", "4"},
     2,
     "kemro-observed: give the counts, --cases or --applicant-data, only one of them"},
    {{"--cases", "cases_bad.csv", "--minority", "X"},
     2,
     "kemro-observed: --minority needs --applicant-data"},
    {{"--cases", "cases_bad.csv", "--alpha", "1"},
     2,
     "kemro-observed: --alpha: '1' is not between 0 and 1 (exclusive)"},
    {{"--cases", "cases_bad.csv", "--d", "0,x"}, 2, "kemro-observed: --d: 'x' is not a number"},
    {{},
     2,
     "kemro-observed: no cases: give --applicants, --majority, --hires and "
     "--minority-hires, or --cases, or --applicant-data"},
};

TEST(ObservedProgram, BadInputEndsWithOneMessageAndNothingWritten) {
  const std::filesystem::path dir = make_temp_dir();
  write_file(dir / "applicants_bad.csv", APPLICANTS_BAD);
  write_file(dir / "hired_bad.csv", HIRED_BAD);
  write_file(dir / "no_minority.csv", NO_MINORITY);
  write_file(dir / "cases_bad.csv", CASES_BAD);
  write_file(dir / "cases_range.csv", CASES_RANGE);
  write_file(dir / "empty.csv", "");
  for (const BadRun& b : BAD_RUNS) {
    const auto run = observed(b.args, dir);
    EXPECT_EQ(run.status, b.status) << b.message;
    EXPECT_EQ(run.out, "") << b.message;
    const std::vector<std::string> err = split_lines(run.err);
    ASSERT_FALSE(err.empty()) << b.message;
    EXPECT_EQ(err[0], b.message);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
