// How the viewer speaks and ends: the one function that prints its progress report, the statuses
// it ends with, and the one function that ends it on an error.
#pragma once

namespace zorv {

enum class exit_status : int {
  success = 0,
  usage = 1,     // the help text, a bad option, a display that cannot be opened
  failure = 255, // exit value -1: memory, the object file, the fork
};

// Ends the process with the status, flushing the standard streams.
[[noreturn]] void end_process(exit_status status);

// Prints the message (a printf format and its arguments) on standard error and ends the process.
// The two prefixes are by design: "ZORV: " starts a resource or file error (a display, a window,
// a file, memory), "zorv: " an option or process error (a bad option, a picture name, the fork).
[[noreturn]] void die(exit_status status, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// A failed allocation, reported as perror("malloc") reports it: "malloc: Cannot allocate memory".
[[noreturn]] void die_of_memory();

// Prints a line (or part of one) of the progress report (a printf format and its arguments) on
// standard output, at once. The report is not the product: once its reader has gone away, this
// and every later report is dropped without a word, and the process goes on as with a reader.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Drops the progress report from here on (-quiet, a host's window); errors are not part of it.
void silence_report();

// Prints what the user needs of the run, as report prints, but even when the report is silenced:
// the pid of the process that draws.
void report_result(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace zorv
