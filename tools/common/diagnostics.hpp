// How every KEMRO tool ends: one table of exit statuses, one voice for
// diagnostics on standard error, and writes that are checked.
//
//   0    success
//   1    an output or a file could not be written, an input file not read, or
//        memory ran out
//   2    invalid options or input: nothing was computed or written
//   3    kemro-grid: a solve ended without an answer (the evaluation limit, or
//        a scenario it needed was abandoned); every record is written
//   130  interrupted by SIGINT, 143 by SIGTERM: what was complete is written
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kemro::cli {

inline constexpr int EXIT_SUCCESS_STATUS = 0;
inline constexpr int EXIT_FILE_ERROR = 1;
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_NO_ANSWER = 3;
inline constexpr int EXIT_INTERRUPTED = 130;  // 128 + SIGINT
inline constexpr int EXIT_TERMINATED = 143;   // 128 + SIGTERM

// `text` with every byte that could act on a terminal shown escaped: control
// characters (C0, DEL, and C1 as UTF-8) as \t, \n, \r or \xNN per byte, and
// bytes that are not UTF-8 as \xNN, so that echoed input (a CSV cell holding
// ESC [2J) cannot clear the screen or split the diagnostic line.
std::string printable(std::string_view text);

// "PROGRAM: MESSAGE" (MESSAGE made printable) and "Try 'PROGRAM --help' for the
// options." on standard error; returns EXIT_USAGE.
int usage_error(std::string_view program, std::string_view message);

// "PROGRAM: cannot write WHAT" on standard error; returns EXIT_FILE_ERROR.
int output_error(std::string_view program, std::string_view what);

// "PROGRAM: MESSAGE" (MESSAGE made printable) on standard error, for failures
// that are not usage errors.
void diagnostic(std::string_view program, std::string_view message);

// Writes all of `text` to `out` and flushes it; false when any of it failed.
bool write_all(std::FILE* out, std::string_view text);

}  // namespace kemro::cli
