// kemro-serve's API without HTTP: the query-string parser on a table of texts;
// every endpoint's answer byte for byte against kemro-grid and kemro-observed
// run with the same options (so the same numbers); a table of bad and hostile
// requests with their status and message; the time budget and the request
// limits.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/program_process.hpp"
#include "tools/serve/api.hpp"
#include "tools/serve/options.hpp"
#include "tools/serve/query.hpp"

namespace {

using namespace kemro::serve;
using kemro::testing::make_temp_dir;
using kemro::testing::read_file;

const std::filesystem::path FIXTURES = std::filesystem::path(KEMRO_SOURCE_DIR) / "tests/fixtures";
constexpr auto GENEROUS = std::chrono::seconds(60);

Reply ask(Endpoint endpoint, const std::string& query, const std::string& body = "",
          Budget budget = Budget(GENEROUS)) {
  WorkShelf shelf;
  return answer(endpoint, query, body, budget, shelf);
}

struct QueryCase {
  const char* text;
  std::vector<std::pair<std::string, std::string>> parameters;
  const char* error;  // a phrase of the error; empty: parses
};

const QueryCase QUERY_CASES[] = {
    {"a=1&b=x%2Cy&c", {{"a", "1"}, {"b", "x,y"}, {"c", ""}}, ""},
    {"&&title=A+b%2bc&&", {{"title", "A b+c"}}, ""},
    {"d=0:1:0.5&d=2", {{"d", "0:1:0.5"}, {"d", "2"}}, ""},  // repeats are the parser's to refuse
    {"x=%E2%89%A4", {{"x", "\xE2\x89\xA4"}}, ""},
    {"", {}, ""},
    {"a=%zz", {}, "not followed by two hexadecimal digits"},
    {"a=%4", {}, "not followed by two hexadecimal digits"},
    {"=1", {}, "parameter 1 has no name"},
    {"a=%FF", {}, "the value of 'a' is not UTF-8"},
    {"a%00=1", {}, "the name of parameter 1 holds a control character"},
    {"a=x%0Ay", {}, "holds a control character"},
};

TEST(ServeQuery, SplitsDecodesAndRefusesMalformedText) {
  for (const QueryCase& c : QUERY_CASES) {
    const Query q = parse_query(c.text);
    EXPECT_NE(q.error.find(c.error), std::string::npos) << c.text << ": " << q.error;
    if (*c.error != '\0') {
      EXPECT_TRUE(q.parameters.empty()) << c.text;
      continue;
    }
    std::vector<std::pair<std::string, std::string>> got;
    for (const QueryParameter& p : q.parameters) got.emplace_back(p.name, p.value);
    EXPECT_EQ(got, c.parameters) << c.text;
  }
  std::string many;
  for (std::size_t i = 0; i <= MAX_QUERY_PARAMETERS; ++i) many += "a=1&";
  EXPECT_EQ(parse_query(many).error, "more than 64 parameters");
}

// An endpoint's answer and the tool's output for the same options.
struct SameAsTool {
  Endpoint endpoint;
  const char* query;
  const char* program;  // "grid" or "observed"
  std::vector<std::string> args;
  const char* body_file;  // a fixture sent as the body; empty: none
};

const SameAsTool SAME_AS_TOOL[] = {
    {Endpoint::summary,
     "applicants=100:400:100&minority-share=0.3&selection-ratio=0.2,0.4&d=0,0.5",
     "grid",
     {"--applicants=100:400:100", "--minority-share=0.3", "--selection-ratio=0.2,0.4", "--d=0,0.5",
      "--json"},
     ""},
    {Endpoint::summary,
     "applicants=60&majority=40,45&hires=20&predictor-d=0.5,1&intercorrelations=0.3&csv",
     "grid",
     {"--applicants=60", "--majority=40,45", "--hires=20", "--predictor-d=0.5,1",
      "--intercorrelations=0.3", "--csv"},
     ""},
    {Endpoint::distribution,
     "applicants=20&majority=14&hires=6&d=0.5",
     "grid",
     {"--applicants=20", "--majority=14", "--hires=6", "--d=0.5", "--json", "--distribution"},
     ""},
    {Endpoint::distribution,
     "applicants=20&majority=14&hires=6&d=0.5&csv",
     "grid",
     {"--applicants=20", "--majority=14", "--hires=6", "--d=0.5", "--csv", "--distribution"},
     ""},
    {Endpoint::solve,
     "applicants=50:100:50&minority-share=0.3&selection-ratio=0.2&solve=d&d=0:2&target="
     "P_below_four_fifths%3D0.5",
     "grid",
     {"--applicants=50:100:50", "--minority-share=0.3", "--selection-ratio=0.2", "--solve=d",
      "--d=0:2", "--target=P_below_four_fifths=0.5", "--json"},
     ""},
    {Endpoint::solve,
     "solve=applicants&applicants=10:200&minority-share=0.3&selection-ratio=0.2&d=0.5&target="
     "P_below_four_fifths%3E%3D0.9&csv",
     "grid",
     {"--solve=applicants", "--applicants=10:200", "--minority-share=0.3", "--selection-ratio=0.2",
      "--d=0.5", "--target=P_below_four_fifths>=0.9", "--csv"},
     ""},
    {Endpoint::observed,
     "applicants=62&majority=43&hires=31&minority-hires=5:7:1&d=0,0.5",
     "observed",
     {"--applicants=62", "--majority=43", "--hires=31", "--minority-hires=5:7:1", "--d=0,0.5",
      "--json"},
     ""},
    {Endpoint::observed,
     "group-column=group&minority=X&hired-column=hired&by=dept&d=0,0.5&csv",
     "observed",
     {"--applicant-data=observed_applicants.csv", "--group-column=group", "--minority=X",
      "--hired-column=hired", "--by=dept", "--d=0,0.5", "--csv"},
     "observed_applicants.csv"},
};

TEST(ServeApi, AnswersAreTheToolsOutputForTheSameOptions) {
  for (const SameAsTool& c : SAME_AS_TOOL) {
    const std::string body = *c.body_file ? read_file(FIXTURES / c.body_file) : "";
    const Reply reply = ask(c.endpoint, c.query, body);
    const std::string program =
        std::string(c.program) == "grid" ? KEMRO_GRID_EXE : KEMRO_OBSERVED_EXE;
    const auto run = kemro::testing::run_program(program, c.args, FIXTURES);
    ASSERT_EQ(run.status, 0) << c.query << ": " << run.err;
    EXPECT_EQ(reply.status, HTTP_OK) << c.query << ": " << reply.body;
    EXPECT_EQ(reply.body, run.out) << c.query;
    const bool csv = std::string_view(c.query).ends_with("csv");
    EXPECT_EQ(reply.content_type, csv ? "text/csv; charset=utf-8" : "application/json") << c.query;
  }
}

TEST(ServeApi, PlotIsTheSvgTheToolWrites) {
  const struct {
    const char* query;
    std::vector<std::string> args;
  } cases[] = {
      {"applicants=100&majority=80&hires=10&d=0.5&title=%3Cscript%3Ealert(1)%3C%2Fscript%3E",
       {"--applicants=100", "--majority=80", "--hires=10", "--d=0.5",
        "--title=<script>alert(1)</script>"}},
      {"applicants=100:300:100&minority-share=0.2,0.3&selection-ratio=0.1&d=0:1:0.5&x=d",
       {"--applicants=100:300:100", "--minority-share=0.2,0.3", "--selection-ratio=0.1",
        "--d=0:1:0.5", "--x=d"}},
      {"applicants=50:100:50&minority-share=0.3&selection-ratio=0.2&solve=d&d=0:2&target="
       "P_below_four_fifths%3D0.5",
       {"--applicants=50:100:50", "--minority-share=0.3", "--selection-ratio=0.2", "--solve=d",
        "--d=0:2", "--target=P_below_four_fifths=0.5"}},
  };
  for (const auto& c : cases) {
    const auto dir = make_temp_dir();
    std::vector<std::string> args = c.args;
    args.push_back("--plot=plot.svg");
    args.push_back("--csv");
    const auto run = kemro::testing::run_program(KEMRO_GRID_EXE, args, dir);
    ASSERT_EQ(run.status, 0) << c.query << ": " << run.err;
    const Reply reply = ask(Endpoint::plot, c.query);
    EXPECT_EQ(reply.status, HTTP_OK) << reply.body;
    EXPECT_EQ(reply.content_type, "image/svg+xml");
    EXPECT_EQ(reply.body, read_file(dir / "plot.svg")) << c.query;
    EXPECT_EQ(reply.body.find("<script>"), std::string::npos) << c.query;
    std::filesystem::remove_all(dir);
  }
}

struct Hostile {
  Endpoint endpoint;
  const char* query;
  const char* body;
  int status;
  const char* error;  // a phrase of the message
};

const Hostile HOSTILE[] = {
    {Endpoint::summary, "applicants=100&majority=80&hires=10&d=%zz", "", 400,
     "query: parameter 4: a '%' is not followed by two hexadecimal digits"},
    {Endpoint::summary, "applicants=100&majority=80&hires=10&d=0.5&shoe=9", "", 400,
     "unknown parameter 'shoe'; this request takes: applicants majority"},
    {Endpoint::summary, "applicants=%3Cscript%3E&majority=80&hires=10&d=0", "", 400,
     "--applicants: '<script>' is not a whole number"},
    {Endpoint::summary, "applicants=100&majority=80&hires=10", "", 400,
     "--d or --predictor-d is required"},
    {Endpoint::summary, "applicants=100&applicants=200&majority=80&hires=10&d=0", "", 400,
     "--applicants is given more than once"},
    {Endpoint::summary, "applicants=100&majority=80&hires=10&d=0&csv=yes", "", 400,
     "--csv takes no value"},
    {Endpoint::summary, "applicants=100&majority=80&hires=100&d=0", "", 400,
     "scenario N = 100, N1 = 80, K = 100, d = 0: "},
    {Endpoint::summary, "applicants=100:10000:10&majority=5:60:5&hires=3&d=0", "", 400,
     "the request asks for 11892 scenarios, more than 10000"},
    {Endpoint::summary, "applicants=100:10000:1&majority=5:50:5&hires=3&d=0:1:0.5", "", 400,
     "the grid has no scenario or more than 100000"},
    {Endpoint::distribution, "applicants=1000000&majority=500000&hires=400000&d=0", "", 400,
     "the distributions hold 400001 outcomes, more than 200000"},
    {Endpoint::summary,
     "applicants=60&hires=20&majority=40&predictor-d=0.5,1&intercorrelations="
     "%2Fetc%2Fpasswd.csv",
     "", 400, "--intercorrelations: files are not read here"},
    {Endpoint::summary, "applicants=100&majority=80&hires=10&d=0&plot=%2Ftmp%2Fx.svg", "", 400,
     "unknown parameter 'plot'"},
    {Endpoint::summary, "applicants=100&majority=80&hires=10&d=0&engine=nested", "", 400,
     "unknown parameter 'engine'"},
    {Endpoint::summary, "applicants=100&majority=80&hires=10&d=0&jobs=256", "", 400,
     "unknown parameter 'jobs'"},
    {Endpoint::summary, "help", "", 400, "unknown parameter 'help'"},
    {Endpoint::summary, "applicants=100&majority=80&hires=10&d=0", "N,N1\n", 400,
     "this request takes no body"},
    {Endpoint::solve, "applicants=100&majority=80&hires=10&d=0", "", 400, "solve is required"},
    {Endpoint::observed, "cases=%2Fetc%2Fpasswd", "", 400, "unknown parameter 'cases'"},
    {Endpoint::observed, "applicant-data=%2Fetc%2Fpasswd&group-column=g&minority=a&hired-column=h",
     "", 400, "unknown parameter 'applicant-data'"},
    {Endpoint::observed, "applicants=62&majority=43&hires=31", "", 400,
     "--minority-hires is required with the other counts"},
    {Endpoint::observed, "applicants=62&majority=43&hires=31&minority-hires=25", "", 400,
     "S = 25 is not between"},
    {Endpoint::observed, "applicants=62&majority=43&hires=31&minority-hires=0:19:1&d=0:0.5:0.001", "",
     400, "the request asks for 10020 records (cases times d values), more than 10000"},
    {Endpoint::observed, "group-column=group&minority=B&hired-column=hired", "group,hired\n\"A,1\n",
     400, "the uploaded file, line 2: "},
    {Endpoint::observed, "group-column=group&minority=B&hired-column=hired",
     "group,hired\nA,1\nB,maybe\n", 400, "the uploaded file, line 3"},
    {Endpoint::observed, "applicants=62&majority=43&hires=31&minority-hires=6", "group,hired\n",
     400, "give the counts, --cases or --applicant-data, only one of them"},
};

TEST(ServeApi, BadAndHostileRequestsGetTheToolsWords) {
  for (const Hostile& c : HOSTILE) {
    const Reply reply = ask(c.endpoint, c.query, c.body);
    EXPECT_EQ(reply.status, c.status) << c.query << ": " << reply.body;
    EXPECT_EQ(reply.content_type, "application/json") << c.query;
    EXPECT_TRUE(reply.body.starts_with("{\"error\": \"")) << reply.body;
    EXPECT_NE(reply.body.find(c.error), std::string::npos) << c.query << ": " << reply.body;
  }
}

TEST(ServeApi, ErrorTextsAreEscapedAsJsonStrings) {
  EXPECT_EQ(error_reply(400, "a \"b\" \\ c\n\x01\xff").body,
            "{\"error\": \"a \\\"b\\\" \\\\ c\\n\\u0001\xEF\xBF\xBD\"}\n");
}

TEST(ServeApi, LabelsTravelAsJsonTextNotMarkup) {
  const Reply reply = ask(Endpoint::observed, "group-column=g&minority=B&hired-column=h&by=site",
                          "g,h,site\nA,1,<script>x</script>\nB,0,<script>x</script>\n"
                          "A,0,\"<img src=x onerror=\"\"alert(1)\"\">\"\nB,1,\"<img src=x "
                          "onerror=\"\"alert(1)\"\">\"\n");
  ASSERT_EQ(reply.status, HTTP_OK) << reply.body;
  EXPECT_NE(reply.body.find("\"label\": \"<script>x</script>\""), std::string::npos);
  EXPECT_NE(reply.body.find("\"label\": \"<img src=x onerror=\\\"alert(1)\\\">\""),
            std::string::npos)
      << reply.body;
}

TEST(ServeApi, SpentBudgetStopsTheComputationWith503) {
  const char* queries[] = {"applicants=100:2000:100&majority=50&hires=20&d=0:1:0.1",
                           "applicants=50:100:50&minority-share=0.3&selection-ratio=0.2&solve=d&"
                           "d=0:2&target=P_below_four_fifths%3D0.5"};
  for (Endpoint endpoint : {Endpoint::summary, Endpoint::solve}) {
    const Reply reply =
        ask(endpoint, queries[endpoint == Endpoint::solve], "", Budget(std::chrono::seconds(0)));
    EXPECT_EQ(reply.status, HTTP_UNAVAILABLE) << reply.body;
    EXPECT_NE(reply.body.find("the computation was stopped: it took longer than the limit of 0 s"),
              std::string::npos)
        << reply.body;
  }
  std::atomic<bool> stopping{true};
  const Reply reply = ask(Endpoint::observed, "applicants=62&majority=43&hires=31&minority-hires=6",
                          "", Budget(GENEROUS, &stopping));
  EXPECT_EQ(reply.status, HTTP_UNAVAILABLE) << reply.body;
}

TEST(ServeApi, EveryParameterIsAnOptionOfItsTool) {
  for (Endpoint e : {Endpoint::summary, Endpoint::distribution, Endpoint::solve, Endpoint::plot,
                     Endpoint::observed}) {
    for (std::string_view name : parameter_names(e)) {
      // An option the tool does not know would be refused as unknown by its parser.
      const Reply reply = ask(e, std::string(name) + "=%3F");
      EXPECT_EQ(reply.body.find("unknown option"), std::string::npos) << name << reply.body;
      EXPECT_EQ(reply.body.find("unknown parameter"), std::string::npos) << name << reply.body;
    }
  }
}

struct ServeOptionCase {
  std::vector<std::string_view> args;
  const char* error;
};

TEST(ServeOptions, RefuseWhatCannotBeServed) {
  const ServeOptionCase cases[] = {
      {{}, ""},
      {{"--host", "0.0.0.0", "--port=0", "--workers=4", "--time-limit=0.5"}, ""},
      {{"--port", "65536"}, "--port: '65536' is not a port between 0 and 65535"},
      {{"--workers", "0"}, "--workers: the number of workers must be between 1 and 64"},
      {{"--time-limit", "0"}, "--time-limit: '0' is not between 0.001 and 3600 seconds"},
      {{"--host="}, "--host: an empty host"},
      {{"--plot", "x"}, "unknown option '--plot'"},
  };
  for (const ServeOptionCase& c : cases) {
    EXPECT_EQ(parse_options(c.args).error, c.error) << (c.args.empty() ? "" : c.args[0]);
  }
  EXPECT_TRUE(is_loopback("127.0.0.1"));
  EXPECT_TRUE(is_loopback("localhost"));
  EXPECT_TRUE(is_loopback("::1"));
  EXPECT_FALSE(is_loopback("0.0.0.0"));
  EXPECT_FALSE(is_loopback("::"));
}

}  // namespace
