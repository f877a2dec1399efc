// Owners of libcups handles; opening a printer.
#include "platform/cups/cups_handles.h"

namespace platform::cups {
namespace {

constexpr int kConnectTimeoutMs = 30000;

}  // namespace

std::mutex& OptionsLock() {
  static std::mutex lock;
  return lock;
}

http_t* Connect() {
  return httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectTimeoutMs, nullptr);
}

cups_dest_t* NamedDest(const std::string& name) {
  std::lock_guard lock(OptionsLock());
  return cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.c_str(), nullptr);
}

CupsOptions OptionsOf(const cups_dest_t* dest) {
  CupsOptions options;
  for (int i = 0; i < dest->num_options; ++i) options.emplace_back(dest->options[i].name, dest->options[i].value);
  return options;
}

const char* Option(const cups_dest_t* dest, const char* name) {
  return cupsGetOption(name, dest->num_options, dest->options);
}

PrinterHandles OpenPrinter(const std::string& name, ConnectionKind kind) {
  PrinterHandles printer;
  printer.dest.reset(NamedDest(name));
  if (!printer.dest) return printer;
  if (kind == ConnectionKind::kOwn) {
    printer.connection.reset(Connect());
    if (!printer.connection) return printer;
  }
  printer.info.reset(cupsCopyDestInfo(printer.http(), printer.dest.get()));
  return printer;
}

}  // namespace platform::cups
