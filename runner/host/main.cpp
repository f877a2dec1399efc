// pictavera: the application host. Serves the four channels over a transport, or sends one call.
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "runner/host/host.h"
#include "runner/host/process_streams.h"
#include "runner/host/program_arguments.h"
#include "runner/host/real_services.h"

namespace {

constexpr char kUsage[] =
    "usage: pictavera serve --stdio\n"
    "       pictavera serve --socket PATH\n"
    "       pictavera call CHANNEL METHOD [JSON]\n";

constexpr char kHelp[] =
    "\n"
    "Serves the photo-magnet interface's method channels (printing_channel, thumbnail_channel,\n"
    "media_info_channel, face_rects_channel): frames on standard input and output, or on a unix socket;\n"
    "`call` sends one call and prints its reply as JSON. Logs go to standard error.\n"
    "\n"
    "Exit codes: 0 end of input or a stop signal; 1 the host could not start; 2 usage, or an argument\n"
    "`call` refuses; 3 `call` got no answer; 4 `serve --stdio` ended by a protocol failure.\n"
    "See pictavera(1) for the environment variables and files.\n";

int Usage() {
  std::cerr << kUsage;
  return runner::kExitUsage;
}

// --help and --version, on standard output; nothing else is started for them.
std::optional<int> InformationOption(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1) return std::nullopt;
  if (arguments[0] == "--help" || arguments[0] == "-h") {
    std::cout << kUsage << kHelp;
    return 0;
  }
  if (arguments[0] == "--version") {
    std::cout << "pictavera " PICTAVERA_VERSION "\n";
    return 0;
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  // Everything after the program path goes to the interface's entry point, as it would with a Dart program.
  const std::vector<std::string> arguments = runner::ProgramArguments(argc, argv);
  if (arguments.empty()) return Usage();
  if (const std::optional<int> code = InformationOption(arguments)) return *code;
  const std::string& command = arguments[0];
  // Programs the host starts get its standard streams and nothing else, inherited descriptors included.
  runner::MarkDescriptorsCloseOnExec();
  const runner::RealServices real(std::getenv("PICTAVERA_MEMORY_MB"));
  const runner::Services& services = real.services();
  if (command == "serve") {
    if (arguments.size() == 2 && arguments[1] == "--stdio") return runner::RunServeStdio(services);
    if (arguments.size() == 3 && arguments[1] == "--socket") return runner::RunServeSocket(services, arguments[2]);
    return Usage();
  }
  if (command == "call") {
    if (arguments.size() != 3 && arguments.size() != 4) return Usage();
    const auto json = arguments.size() == 4 ? std::optional<std::string>(arguments[3]) : std::nullopt;
    return runner::RunCall(services, arguments[1], arguments[2], json, std::cout, std::cerr);
  }
  return Usage();
}
