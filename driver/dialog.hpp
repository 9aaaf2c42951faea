// The console side of a run: the streams, the answer reader and the report
// channel, with the small operations the driver and OPEN share.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <istream>
#include <string>
#include <string_view>

#include "report/answer_reader.hpp"
#include "report/record_writer.hpp"

namespace kemro {

// Exit statuses of a run.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FILE_ERROR = 1;   // the report file cannot be opened or written
inline constexpr int EXIT_INPUT_ERROR = 2;  // an answer cannot be read, or the input ended

// Where report records go: unit 1, the named file, or unit 0, standard error.
struct ReportChannel {
  int unit = 0;
  std::FILE* file = nullptr;  // open report file when unit is 1
  std::string name;           // the file name without trailing blanks
  // While not empty, the report is written to this temporary file in the
  // same folder, and renamed to `name` once it is complete: an answer that
  // ends the run early leaves no file and an old file untouched.
  std::string temporary;
  bool replaces_old = false;  // `name` holds an old file that the report is to replace
  int error = 0;           // errno of the first failed write, flush or sync of the file; 0 if none
  bool announced = false;  // the diagnostic for `error` is on standard error
};

struct Dialog {
  Dialog(std::istream& in, std::FILE* console, std::FILE* errors)
      : reader(in, ExtraText::Refused), console(console), errors(errors) {}

  AnswerReader reader;
  std::FILE* console;  // unit 6
  std::FILE* errors;   // unit 0
  ReportChannel report;

  // The stream that report records go to.
  std::FILE* report_stream() const { return report.unit == 1 ? report.file : errors; }

  // Writes one record to the report stream. A failure on the report file is
  // remembered with its errno and named on standard error at once.
  void write_report(Layout layout, std::initializer_list<Item> items = {});

  // Hands what the report stream holds to the system; false once any write
  // to the report file has failed (the diagnostic is then written).
  bool report_intact();

  // Hands everything written to the report file so far to the system and
  // waits until the system has it on the disk; the file stays open. After
  // this a run that ends without closing the file (killed, hung up, the
  // machine stopped) still leaves the whole report. A failure is remembered
  // and named on standard error at once.
  void flush_report();

  // The report is complete: a report written to a temporary file replaces
  // (or becomes) the named file. False when anything written to the report
  // file was lost; the diagnostic is then written.
  bool publish_report();

  // List-directed write of a prompt, flushed so it is visible before the read.
  void prompt(std::string_view text);

  // Ends the run after an unreadable answer or the end of the input: the
  // four diagnostic lines on standard error and every open file closed.
  int input_failure();

  // A one-line diagnostic on standard error ending the run with `status`.
  int fail(int status, const std::string& message);

  // Flushes and closes the report file; false when anything written was lost,
  // which the diagnostic on standard error names with the first error seen.
  // An unpublished temporary file is removed, unless a write failed on a new
  // report: then it takes the report's name, keeping what was written.
  bool close_report();

 private:
  void remember_report_error(int error_number);
  void announce_report_error();
};

}  // namespace kemro
