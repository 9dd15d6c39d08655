// The run log: one UTF-8 text file per run in the user's temporary folder, outside the work folder, so that it
// outlives it and support can ask for it. Subsystems report the facts they already know, one line each, with
// Record(...). Nothing here may fail the run: a log that cannot be opened is simply absent, a write that fails
// is dropped, and every text part is cut to a bound, so that a hostile server text cannot make a huge log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace diagnostics {

// The logs of this many runs (this one included) stay in the folder; older ones are removed when a run starts.
constexpr int kKeptRunLogs = 5;
// One part of a line (a name, a URL, a failure text), in code points: a hostile answer must not make a huge log.
constexpr std::size_t kMaxLogPartChars = 512;

// Opens this run's log, "<file description of the program> yyyy-mm-dd hh.mm.ss.log", in `folder` (the user's
// temporary folder when empty), and removes the oldest logs beyond kKeptRunLogs. Starts the clock of the lines.
// Idempotent: a second call while a log is open does nothing.
void StartRunLog(const std::wstring& folder = std::wstring());
// Closes the log; later Record calls do nothing. For tests and the end of the process.
void StopRunLog();
// The log's full path, or empty when there is none.
std::wstring GetRunLogPath();
bool IsRunLogOpen();

// Milliseconds on a steady clock: a duration for a log line is the difference of two readings.
std::uint64_t GetTickMs();

// Writes one line, prefixed with the milliseconds since the log was started and the calling thread's id.
// `format` is printf-like, with only these conversions: %s (UTF-8 text), %ls (UTF-16 text), %d, %u, %ld, %lu,
// %lld, %llu, %zu and %%; every text is cut to kMaxLogPartChars and its control characters become
// spaces. Thread-safe; never throws; does nothing without a log. A call site costs its arguments and a call.
void Record(const char* format, ...) noexcept __attribute__((format(gnu_printf, 1, 2)));

// "yes" or "no", for a flag in a line.
inline const char* YesNo(bool flag) {
    return flag ? "yes" : "no";
}

}  // namespace diagnostics
