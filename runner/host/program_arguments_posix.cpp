// The program's arguments on Linux: the bytes the program was started with.
#include "runner/host/program_arguments.h"

namespace runner {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace runner
