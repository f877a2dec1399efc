// The program's command-line arguments after the program path, as UTF-8.
#pragma once

#include <string>
#include <vector>

namespace runner {

// On Linux `argv` as it is. On Windows the process's UTF-16 command line split the standard Windows way
// (`argc` and `argv`, in the ANSI code page, are not used), each argument converted to UTF-8; one that
// is not valid UTF-16 (an unpaired surrogate) becomes "".
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace runner
