// The mosalith driver: command line, reading the job, running the production, the exit code.
#pragma once

namespace mosalith {

// Exit codes of the program. The application treats every code but kExitOk as a failed job and falls
// back to its own composer.
inline constexpr int kExitOk = 0;             // every sheet written; "OK" printed on standard output
inline constexpr int kExitBadJob = 1;         // no argument, unreadable job file, a job that cannot be laid out
                                              // or an output that is one of its photos or frames
inline constexpr int kExitSheetsFailed = 2;   // some sheet file could not be written
inline constexpr int kExitWorkerFailed = 3;   // a worker thread could not be started

// Runs one job: argv[1] is the job file's path (UTF-8); further arguments are ignored. Diagnostic lines
// go to standard error, "OK" to standard output only on full success. Returns the exit code.
int RunDriver(int argc, const char* const* argv);

}  // namespace mosalith
