// Running a program as a process, for the tests that drive mosalith from outside.
#pragma once

#include <string>
#include <vector>

namespace mosalith::testing {

// The exit code RunProgram gives for a program it had to stop, as timeout(1) does.
inline constexpr int kTimedOut = 124;

// Runs the program at `program` (UTF-8 path) with `arguments` (UTF-8, passed on exactly, spaces and
// quotes included), with empty standard input and its standard output and error written to the files
// `out_path` and `err_path`. Waits at most `timeout_s` seconds: a program still running then is killed
// and kTimedOut returned, so a hang fails a test instead of stopping the suite. Returns the program's
// exit code; -1 when it could not be started or (on POSIX) was ended by a signal.
int RunProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& out_path,
               const std::string& err_path, int timeout_s);

}  // namespace mosalith::testing
