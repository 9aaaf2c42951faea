// kemro-observed's input and end-to-end behaviour: the CSV reader on a table of
// texts (quoting, CR LF, byte-order mark, delimiters, unnamed trailing
// columns, errors with their lines, a wide header in linear time), counts
// formed from applicant data against the same counts given directly, and runs
// of build/kemro-observed for text, CSV and JSON, streamed records that a
// signal stops with a whole document, and for a table of bad inputs
// (exit status and message, nothing on standard output).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/json_checker.hpp"
#include "tests/support/program_process.hpp"
#include "tools/common/csv_table.hpp"
#include "tools/observed/cases.hpp"

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
    {",a\n1,2\n", "line 1: column 1 has no name", {}, {}},
    // Unnamed empty columns at the end, as spreadsheets save them, are dropped.
    {"a,b,,\n1,2,,\n3,4\n", "", {2, 3}, {"2", "4"}},
    {"a,,\n1,,x\n", "line 2: column 3 has no name in the header but holds 'x'", {}, {}},
    // Semicolons or tabs, whichever the header line holds most of outside quotes.
    {"\"a,b\";c\n1,5;2\n", "", {2}, {"2"}},
    {"a\tb\n1\t\n", "", {2}, {""}},
    {"a;b\n1,5;2,5\n", "", {2}, {"2,5"}},
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

// The cases table with the counts of X against its reference group alone.
const char* const PAIR_CASES = "label,N,N1,K,S\n\"North, East\",6,4,3,1\nSouth,6,3,3,1\n";

TEST(ObservedCases, ApplicantDataGivesTheCountsOfEachGroupAgainstItsReference) {
  // The applicant file has a byte-order mark, CR LF, quoted commas, quotes and
  // a line break, mixed spellings of hired, and three groups (X, Y, Z).
  const CsvTable applicants = parse_csv(read_file(FIXTURES / "observed_applicants.csv"));
  ASSERT_EQ(applicants.error, "");
  // --minority X: X against the group with the highest rate among the others
  // (Y in both departments), not against Y and Z pooled.
  const CaseList formed =
      cases_from_applicants(applicants, "a.csv", {"group", "X", "hired", "dept", ""});
  const CaseList given = cases_from_table(parse_csv(PAIR_CASES), "c.csv");
  ASSERT_EQ(formed.error, "");
  ASSERT_EQ(given.error, "");
  ASSERT_EQ(formed.cases.size(), given.cases.size());
  for (std::size_t i = 0; i < formed.cases.size(); ++i) {
    EXPECT_EQ(formed.cases[i].label, given.cases[i].label);
    EXPECT_EQ(formed.cases[i].group, "X");
    EXPECT_EQ(formed.cases[i].reference, "Y");
    const kemro::ObservedCounts& a = formed.cases[i].counts;
    const kemro::ObservedCounts& b = given.cases[i].counts;
    EXPECT_EQ(std::vector({a.N, a.N1, a.K, a.S}), std::vector({b.N, b.N1, b.K, b.S})) << i;
  }
  // Without --minority, every group other than the reference, in order of appearance.
  const CaseList all = cases_from_applicants(applicants, "a.csv", {"group", "", "hired", "", ""});
  ASSERT_EQ(all.error, "");
  ASSERT_EQ(all.cases.size(), 2u);
  EXPECT_FALSE(all.labelled);
  EXPECT_EQ(all.cases[0].reference, "Y");  // 4 of 7 hired
  EXPECT_EQ(all.cases[0].group, "Z");
  EXPECT_EQ(all.cases[1].group, "X");  // 2 of 5 hired
  EXPECT_EQ(std::vector({all.cases[1].counts.N, all.cases[1].counts.N1, all.cases[1].counts.K,
                         all.cases[1].counts.S}),
            std::vector<std::int64_t>({12, 7, 6, 2}));
  ASSERT_EQ(all.cases[1].groups.size(), 3u);
  // A named reference.
  const CaseList named =
      cases_from_applicants(applicants, "a.csv", {"group", "", "hired", "", "Z"});
  ASSERT_EQ(named.cases.size(), 2u);
  EXPECT_EQ(named.cases[0].group, "Y");
  EXPECT_EQ(named.cases[1].reference, "Z");
}

TEST(ObservedCases, SemicolonFileWithYesNoLettersGivesTheCountsOfTheCommaFile) {
  const std::string comma = read_file(FIXTURES / "observed_applicants.csv");
  const CsvTable table = parse_csv(comma);
  ASSERT_EQ(table.error, "");
  // The same applicants as a spreadsheet in a decimal-comma locale saves them:
  // semicolons, hired as Y/N or y/n, and two unnamed empty columns at the end.
  std::string semicolon = "\"group\";\"hired\";\"dept\";;\r\n";
  const auto field = [&](const CsvRecord& r, const char* name) {
    return r.fields[static_cast<std::size_t>(column_index(table, name))];
  };
  for (const CsvRecord& r : table.records) {
    const bool hired = parse_hired(field(r, "hired")) == HiredValue::Hired;
    semicolon += '"';
    semicolon += field(r, "group");
    semicolon += "\";";
    semicolon += hired ? (r.line % 2 ? "Y" : "y") : "n";
    semicolon += ";\"";
    semicolon += field(r, "dept");
    semicolon += "\";;\r\n";
  }
  const ApplicantColumns columns{"group", "X", "hired", "dept", ""};
  const CaseList a = cases_from_text(comma, "a.csv", {}, &columns);
  const CaseList b = cases_from_text(semicolon, "b.csv", {}, &columns);
  const CaseList forced = cases_from_text(semicolon, "b.csv", {';', true}, &columns);
  ASSERT_EQ(a.error, "");
  ASSERT_EQ(b.error, "");
  ASSERT_EQ(forced.error, "");
  ASSERT_EQ(a.cases.size(), b.cases.size());
  for (std::size_t i = 0; i < a.cases.size(); ++i) {
    const kemro::ObservedCounts& x = a.cases[i].counts;
    const kemro::ObservedCounts& y = b.cases[i].counts;
    EXPECT_EQ(a.cases[i].label, b.cases[i].label);
    EXPECT_EQ(std::vector({x.N, x.N1, x.K, x.S}), std::vector({y.N, y.N1, y.K, y.S})) << i;
  }
  // Read with a delimiter it does not have, a file has one column, and the message lists it.
  const CaseList wrong = cases_from_text("group;hired\nX;1\n", "c.csv", {',', true}, &columns);
  EXPECT_EQ(wrong.error,
            "c.csv: no column 'group' (named by --group-column); the columns are 'group;hired'");
}

TEST(ObservedCsv, WideHeaderIsCheckedInLinearTime) {
  // 200,000 distinct names, then the same with the last one repeating the first.
  std::string header;
  for (int i = 0; i < 200000; ++i) header += (i > 0 ? ",c" : "c") + std::to_string(i);
  // Processor time, so that a busy machine does not fail the test; it was 34 s when quadratic.
  const std::clock_t start = std::clock();
  EXPECT_EQ(parse_csv(header + "\n").error, "");
  EXPECT_EQ(parse_csv(header + ",c0\n").error, "line 1: column 'c0' appears twice");
  const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  EXPECT_LT(seconds, 2.0);  // both reads
}

kemro::testing::ProcessRun observed(const std::vector<std::string>& args,
                                    const std::filesystem::path& dir = FIXTURES) {
  return kemro::testing::run_program(KEMRO_OBSERVED_EXE, args, dir);
}

TEST(ObservedProgram, FileOfApplicantsAndFileOfCountsGiveTheSameRecords) {
  const std::filesystem::path dir = make_temp_dir();
  write_file(dir / "pairs.csv", PAIR_CASES);
  std::filesystem::copy_file(FIXTURES / "observed_applicants.csv", dir / "applicants.csv");
  const auto from_data =
      observed({"--applicant-data", "applicants.csv", "--group-column", "group", "--minority", "X",
                "--hired-column", "hired", "--by", "dept", "--d", "0,0.5", "--csv"},
               dir);
  const auto from_counts = observed({"--cases=pairs.csv", "--d=0,0.5", "--csv"}, dir);
  ASSERT_EQ(from_data.status, 0) << from_data.err;
  // The same fields, then group, reference and P_any_flag_fair.
  const std::vector<std::string> lines = split_lines(from_data.out);
  const std::vector<std::string> given = split_lines(from_counts.out);
  ASSERT_EQ(lines.size(), 5u);  // header, two cases times two d values
  ASSERT_EQ(given.size(), lines.size());
  EXPECT_EQ(lines[0], given[0] + ",group,reference,P_any_flag_fair");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_TRUE(lines[i].starts_with(given[i] + ",X,Y,")) << lines[i];
  }
  EXPECT_TRUE(lines[1].starts_with("\"North, East\",6,4,2,3,1,0.5,0.5,1,false,"));
}

TEST(ObservedProgram, TeaTastingTableInTextCsvAndJson) {
  const std::vector<std::string> counts = {"--applicants", "8", "--majority",      "4",
                                           "--hires",      "4", "--minority-hires"};
  auto args = counts;
  args.push_back("1");
  const auto text = observed(args);
  ASSERT_EQ(text.status, 0) << text.err;
  const std::vector<std::string> lines = split_lines(text.out);
  ASSERT_EQ(lines.size(), 26u);  // ten lines of statistics, three more tests, the rules, a caveat
  EXPECT_EQ(lines[12],
            "  AI interval          0.056 to 1.995 (95 %)");  // exp(ln(1/3) -+ 1.96 * 0.9129)
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
  // The first columns keep their order; the rules' fields follow them.
  EXPECT_TRUE(csv[0].starts_with(
      "N,N1,N2,K,S,SRA,SRI,AI,four_fifths_violated,shortfall,z,p_z_two_sided,"
      "p_fisher_one_sided,p_fisher_two_sided,d,P_S_at_most_observed,"
      "P_AI_at_most_observed,d_ml,d_lower,d_upper,alpha,status,p_fisher_mid_p,z_ir,p_z_ir,"
      "AI_lower,AI_upper,AI_interval_missing,four_fifths_survives_flip,threshold,"
      "flags_four_fifths,"))
      << csv[0];
  EXPECT_TRUE(csv[1].starts_with("8,4,4,4,0,1,0,0,true,2,")) << csv[1];
  // d_upper unbounded; no interval for the ratio without a minority hire, and the reason.
  EXPECT_NE(csv[1].find(",Inf,0.05,converged,"), std::string::npos) << csv[1];
  EXPECT_NE(csv[1].find(",,,,,no minority hire (s = 0)"), std::string::npos) << csv[1];

  // S = 4 = K: no majority hire, AI undefined, no lower end.
  args.back() = "--json";
  args[args.size() - 2] = "4";
  const std::string json = observed(args).out;
  for (const char* field :
       {"\"AI\": null", "\"four_fifths_violated\": false", "\"P_AI_at_most_observed\": null",
        "\"d_ml\": \"-Inf\"", "\"d_lower\": \"-Inf\"", "\"P_S_at_most_observed\": 1,"}) {
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

// kemro-observed started in `dir`, its output in out.txt and err.txt, and sent
// `signal_number` once out.txt holds `lines` lines. Returns the exit status,
// or 128 + the signal that ended it.
int interrupted_run(const std::filesystem::path& dir, const std::vector<std::string>& args,
                    int signal_number, std::size_t lines) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(dir.c_str()) != 0 || !std::freopen("out.txt", "w", stdout) ||
        !std::freopen("err.txt", "w", stderr)) {
      ::_exit(127);
    }
    std::vector<char*> argv = {const_cast<char*>(KEMRO_OBSERVED_EXE)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(KEMRO_OBSERVED_EXE, argv.data());
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ADD_FAILURE() << "the run did not write " << lines << " lines in time";
    } else if (split_lines(read_file(dir / "out.txt")).size() >= lines) {
      ::kill(child, signal_number);
      ::waitpid(child, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(ObservedProgram, RecordsStreamAndASignalLeavesEveryFinishedCaseWritten) {
  // 300 cases, each some tens of milliseconds: the signal comes while most remain.
  const std::vector<std::string> args = {"--applicants", "5000:5299", "--majority",       "2500",
                                         "--hires",      "500",       "--minority-hires", "200",
                                         "--d",          "0,0.2"};
  struct Case {
    int signal_number;
    const char* format;
    int status;
  };
  for (const Case& c : {Case{SIGTERM, "--json", 143}, Case{SIGINT, "--csv", 130}}) {
    SCOPED_TRACE(c.format);
    const std::filesystem::path dir = make_temp_dir();
    std::vector<std::string> run_args = args;
    run_args.emplace_back(c.format);
    EXPECT_EQ(interrupted_run(dir, run_args, c.signal_number, 3), c.status);
    const std::string out = read_file(dir / "out.txt");
    const std::string err = read_file(dir / "err.txt");
    std::filesystem::remove_all(dir);
    ASSERT_NE(err.find("kemro-observed: stopped after "), std::string::npos) << err;
    const std::size_t done = std::stoul(err.substr(err.find("after ") + 6));
    ASSERT_GE(done, 1u);
    ASSERT_LT(done, 300u);
    // Two records per case, each on its own line, after one line that opens the output.
    EXPECT_EQ(split_lines(out).size(), 1 + 2 * done + (c.status == 143 ? 1 : 0)) << out;
    if (c.status == 143) {
      EXPECT_TRUE(kemro::testing::JsonChecker(out).well_formed()) << out;
      EXPECT_TRUE(out.ends_with("}\n]\n"));
    }
    // The same first cases, run to the end, give the same records.
    std::vector<std::string> first = run_args;
    first[1] = "5000:" + std::to_string(5000 + done - 1);
    EXPECT_EQ(observed(first, FIXTURES).out, out);
  }
}

TEST(ObservedProgram, MemoryThatRunsOutEndsWithAMessageAndStatusOne) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#else
  // A device has no size to refuse first; under a 40 MB address-space limit
  // its text outgrows memory long before the 256 MiB bound.
  const std::filesystem::path dir = make_temp_dir();
  const std::string command = "ulimit -v 40000 && " + std::string(KEMRO_OBSERVED_EXE) +
                              " --cases /dev/zero > " + (dir / "out").string() + " 2> " +
                              (dir / "err").string();
  const int status = std::system(command.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(read_file(dir / "err"), "kemro-observed: out of memory\n");
  EXPECT_EQ(read_file(dir / "out"), "");
  std::filesystem::remove_all(dir);
#endif
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
     "yes/no, y/n, true/false"},
    {{"--applicant-data", "hired_bad.csv", "--group-column", "group", "--minority", "X",
      "--hired-column", "hired", "--by", "region"},
     2,
     "kemro-observed: hired_bad.csv: no column 'region' (named by --by); the columns are 'id', "
     "'group', 'hired'"},
    {{"--cases", "plus_minus.csv"},
     2,
     "kemro-observed: plus_minus.csv, line 2, column 'S': '+-0' is not a whole number"},
    {{"--cases", "cases_bad.csv", "--delimiter", "pipe"},
     2,
     "kemro-observed: --delimiter: 'pipe' is not comma, semicolon or tab"},
    {{"--applicants", "10:1000", "--majority", "5", "--hires", "3", "--minority-hires", "0:3",
      "--d", "0:1:0.01"},
     2,
     "kemro-observed: 3964 cases times 101 --d values make more than 100000 records; split the "
     "cases or give fewer d values"},
    {{"--applicant-data", "no_minority.csv", "--group-column", "group", "--minority", "W",
      "--hired-column", "hired", "--by", "dept"},
     2,
     "kemro-observed: no_minority.csv: --minority 'W' does not occur in column 'group'; its "
     "values are 'X', 'Y'"},
    {{"--applicant-data", "no_minority.csv", "--group-column", "group", "--reference", "V",
      "--hired-column", "hired"},
     2,
     "kemro-observed: no_minority.csv: --reference 'V' does not occur in column 'group'; its "
     "values are 'X', 'Y'"},
    {{"--applicant-data", "all_hired.csv", "--group-column", "group", "--minority", "X",
      "--hired-column", "hired"},
     2,
     "kemro-observed: all_hired.csv: X against Y: K = 2 is not between 1 and N - 1 = 1"},
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
  write_file(dir / "all_hired.csv", "group,hired\nX,1\nY,1\n");
  write_file(dir / "cases_bad.csv", CASES_BAD);
  write_file(dir / "cases_range.csv", CASES_RANGE);
  write_file(dir / "empty.csv", "");
  write_file(dir / "plus_minus.csv", "N,N1,K,S\n10,5,3,+-0\n");
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

namespace kemro_groups {

// Applicant data of three groups: `passed` of each group's `applicants` hired.
std::string three_groups(const std::vector<std::tuple<std::string, int, int>>& groups) {
  std::string text = "race,passed\n";
  for (const auto& [name, applicants, passed] : groups) {
    for (int i = 0; i < applicants; ++i) text += name + (i < passed ? ",1\n" : ",0\n");
  }
  return text;
}

// ln C(n, k)
double log_choose(int n, int k) {
  return std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0);
}

// P(some group's rate below four fifths of the highest) under the
// multivariate hypergeometric, by enumeration of three groups.
double fair_flag_enumerated(int n1, int n2, int n3, int K) {
  double p = 0.0;
  const double all = log_choose(n1 + n2 + n3, K);
  for (int s1 = 0; s1 <= std::min(n1, K); ++s1) {
    for (int s2 = 0; s2 <= std::min(n2, K - s1); ++s2) {
      const int s3 = K - s1 - s2;
      if (s3 > n3) continue;
      // 5 s_g N_h < 4 s_h N_g for some pair, i.e. a rate below 0.8 of the highest
      const int s[] = {s1, s2, s3}, n[] = {n1, n2, n3};
      bool flag = false;
      for (int g = 0; g < 3; ++g) {
        for (int h = 0; h < 3; ++h) flag = flag || 5LL * s[g] * n[h] < 4LL * s[h] * n[g];
      }
      if (flag) {
        p += std::exp(log_choose(n1, s1) + log_choose(n2, s2) + log_choose(n3, s3) - all);
      }
    }
  }
  return p;
}

}  // namespace kemro_groups

TEST(ObservedProgram, EveryGroupAgainstTheReferenceWithTheFairFlagProbability) {
  const std::filesystem::path dir = make_temp_dir();
  // A pass/fail examination: 43, 19 and 15 candidates, 25, 6 and 3 passing.
  write_file(dir / "exam.csv", kemro_groups::three_groups(
                                   {{"White", 43, 25}, {"Black", 19, 6}, {"Hispanic", 15, 3}}));
  const std::vector<std::string> base = {"--applicant-data", "exam.csv", "--group-column", "race",
                                         "--hired-column",   "passed"};
  auto csv_args = base;
  csv_args.push_back("--csv");
  const auto csv = observed(csv_args, dir);
  ASSERT_EQ(csv.status, 0) << csv.err;
  const std::vector<std::string> lines = split_lines(csv.out);
  ASSERT_EQ(lines.size(), 3u);  // header, Black and Hispanic against White
  // Black against White alone: N = 62, N1 = 43, K = 31, S = 6.
  EXPECT_TRUE(lines[1].starts_with("62,43,19,31,6,")) << lines[1];
  EXPECT_NE(lines[1].find(",Black,White,"), std::string::npos) << lines[1];
  EXPECT_TRUE(lines[2].starts_with("58,43,15,28,3,")) << lines[2];
  const double fair = std::stod(lines[1].substr(lines[1].rfind(',') + 1));
  EXPECT_NEAR(fair, kemro_groups::fair_flag_enumerated(43, 19, 15, 34), 1e-12);

  auto minority = base;
  minority.insert(minority.end(), {"--minority", "Black", "--csv"});
  const auto one = observed(minority, dir);
  ASSERT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(split_lines(one.out).size(), 2u);
  EXPECT_EQ(split_lines(one.out)[1], lines[1]);

  const auto text = observed(base, dir);
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("  Groups               White 43 applicants, 25 hired (rate 0.58140); "
                          "Black 19 applicants, 6 hired (rate 0.31579); Hispanic 15 applicants, "
                          "3 hired (rate 0.20000)"),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("  Compared             Black with White (the reference)"),
            std::string::npos);
}

TEST(ObservedProgram, ASubgroupThatCannotBeAnalysedGetsAStatusRecord) {
  const std::filesystem::path dir = make_temp_dir();
  write_file(dir / "depts.csv", NO_MINORITY);
  const auto run =
      observed({"--applicant-data", "depts.csv", "--group-column", "group", "--minority", "X",
                "--hired-column", "hired", "--by", "dept", "--json"},
               dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = split_lines(run.out);
  ASSERT_EQ(lines.size(), 4u) << run.out;  // [, dept a, dept b, ]
  EXPECT_NE(lines[1].find("\"group\": \"X\", \"reference\": \"Y\""), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("\"status\": \"not analysed: no applicants of group 'X'\""),
            std::string::npos)
      << lines[2];
  EXPECT_NE(lines[2].find("\"p_fisher_one_sided\": null"), std::string::npos) << lines[2];
  EXPECT_NE(run.err.find("could not be analysed"), std::string::npos) << run.err;
}
