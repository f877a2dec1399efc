// CupsSpooler: printers, settings and jobs through libcups.
#include "platform/cups/cups_spooler.h"

#include <cups/cups.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/cups/cups_handles.h"
#include "platform/cups/cups_media.h"
#include "platform/cups/cups_options.h"
#include "platform/cups/cups_print_device.h"
#include "platform/posix/file_primitives.h"

namespace platform {
namespace {

using cups::ConnectionKind;
using cups::DestHandle;
using cups::DestList;
using cups::OpenPrinter;
using cups::OptionsLock;

// The start of a settings file (empty when it cannot be read): libcups's own files are far smaller.
std::string ReadSmallFile(const std::string& path) {
  std::string text;
  ReadFileStart(path, size_t{1} << 20, &text);
  return text;
}

// With LPDEST or PRINTER set, libcups reads no saved default and so writes none back: the user's own
// "Default" line would be lost. The destination their settings name (their own file first, then the
// system-wide one) is marked as the default again before the settings are written.
void KeepSavedDefault(int count, cups_dest_t* dests) {
  const char* lpdest = std::getenv("LPDEST");
  const char* printer = std::getenv("PRINTER");
  if ((lpdest == nullptr || *lpdest == '\0') && (printer == nullptr || *printer == '\0')) return;
  const std::string home = HomeFolder().value_or("");
  const char* server_root = std::getenv("CUPS_SERVERROOT");
  std::optional<SavedDefault> saved;
  if (!home.empty()) saved = SavedDefaultPrinter(ReadSmallFile(home + "/.cups/lpoptions"));
  if (!saved) saved = SavedDefaultPrinter(ReadSmallFile(std::string(server_root ? server_root : "/etc/cups") + "/lpoptions"));
  const cups_dest_t* kept =
      saved ? cupsGetDest(saved->name.c_str(), saved->instance.empty() ? nullptr : saved->instance.c_str(), count, dests)
            : nullptr;
  for (int i = 0; i < count; ++i) dests[i].is_default = &dests[i] == kept ? 1 : 0;
}

base::Status NoPrinter(const std::string& name) {
  return base::Status::NotFound("no printer " + name).WithSystemError(ENOENT);
}

// The printer is listed but its scheduler does not answer: the number is libcups's last status.
base::Status NotAnswering(const std::string& name) {
  const ipp_status_t last = cupsLastError();
  return base::Status::Unavailable(name + ": " + cupsLastErrorString()).WithSystemError(static_cast<int>(last));
}

// libcups could not write the user's lpoptions (errno says why when it was set).
base::Status OptionsNotWritten(const std::string& name) {
  const int error = errno != 0 ? errno : EIO;
  return base::Status::IoError(name + ": the user's printer options were not written: " + std::strerror(error))
      .WithSystemError(error);
}

}  // namespace

std::vector<PrinterSummary> CupsSpooler::Printers() {
  DestList all;
  {
    std::lock_guard lock(OptionsLock());
    all.count = cupsGetDests2(CUPS_HTTP_DEFAULT, &all.dests);
  }
  std::vector<PrinterSummary> printers;
  for (int i = 0; i < all.count; ++i) {
    const cups_dest_t* dest = &all.dests[i];
    if (dest->instance != nullptr) continue;  // instances have no counterpart in the interface
    PrinterSummary summary;
    summary.name = dest->name;
    const char* info = cups::Option(dest, "printer-info");
    summary.comment = info ? info : "";
    const QueueState state = ReadQueueState(cups::OptionsOf(dest));
    summary.offline = state.offline;
    summary.state = state.text;
    printers.push_back(std::move(summary));
  }
  return printers;
}

std::optional<std::string> CupsSpooler::DefaultPrinter() {
  DestHandle found;
  {
    std::lock_guard lock(OptionsLock());
    found.reset(cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr));
  }
  if (!found || !found->name) return std::nullopt;
  return std::string(found->name);
}

base::Status CupsSpooler::SetDefaultPrinter(const std::string& name) {
  std::lock_guard lock(OptionsLock());
  DestList all;
  all.count = cupsGetDests2(CUPS_HTTP_DEFAULT, &all.dests);
  const cups_dest_t* dest = cupsGetDest(name.c_str(), nullptr, all.count, all.dests);
  if (dest == nullptr) return NoPrinter(name);
  const std::string exact = dest->name;
  cupsSetDefaultDest(exact.c_str(), nullptr, all.count, all.dests);
  errno = 0;
  if (cupsSetDests2(CUPS_HTTP_DEFAULT, all.count, all.dests) != 0) return OptionsNotWritten(name);
  // LPDEST and PRINTER take precedence over the stored default: check what the default now is.
  const DestHandle now(cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr));
  if (now && now->name && exact == now->name) return base::Status::Ok();
  return base::Status::AccessDenied(exact + " is stored as the default, but the environment names " +
                                    (now && now->name ? std::string(now->name) : std::string("none")));
}

bool CupsSpooler::HasPrinter(const std::string& name) {
  if (name.empty()) return false;
  return DestHandle(cups::NamedDest(name)) != nullptr;
}

std::optional<std::vector<Paper>> CupsSpooler::Papers(const std::string& name) {
  if (name.empty()) return std::nullopt;
  const cups::PrinterHandles printer = OpenPrinter(name, ConnectionKind::kShared);
  if (!printer.info) return std::nullopt;
  std::vector<Paper> papers;
  for (CupsMedia& entry : cups::MediaList(printer.http(), printer.dest.get(), printer.info.get())) {
    papers.push_back(std::move(entry.paper));
  }
  return papers;
}

std::optional<PrintSettings> CupsSpooler::CurrentSettings(const std::string& name) {
  if (name.empty()) return std::nullopt;
  const cups::PrinterHandles printer = OpenPrinter(name, ConnectionKind::kShared);
  if (!printer.info) return std::nullopt;
  cups_dest_t* dest = printer.dest.get();
  const std::vector<CupsMedia> list = cups::MediaList(printer.http(), dest, printer.info.get());
  const char* stored = cups::Option(dest, "media");
  const std::string media = stored ? stored : cups::DefaultMedia(printer.http(), dest, printer.info.get());
  return SettingsFromOptions(cups::OptionsOf(dest), media, list);
}

base::Status CupsSpooler::ValidateSettings(const std::string& name, PrintSettings* settings) {
  const cups::PrinterHandles printer = OpenPrinter(name, ConnectionKind::kShared);
  if (!printer.dest) return NoPrinter(name);
  if (!printer.info) return NotAnswering(name);
  if (cups::SettlePaper(printer.http(), printer.dest.get(), printer.info.get(), settings)) return base::Status::Ok();
  return base::Status::Unsupported(name + " takes no such paper");
}

base::Status CupsSpooler::StoreSettings(const std::string& name, const PrintSettings& settings) {
  std::string media;
  {
    const cups::PrinterHandles printer = OpenPrinter(name, ConnectionKind::kShared);
    if (!printer.dest) return NoPrinter(name);
    if (printer.info) {
      media = MediaForSettings(settings, cups::MediaList(printer.http(), printer.dest.get(), printer.info.get()));
    }
  }
  const CupsOptions options = StoredOptions(settings, media);
  std::lock_guard lock(OptionsLock());
  DestList all;
  all.count = cupsGetDests2(CUPS_HTTP_DEFAULT, &all.dests);
  cups_dest_t* dest = cupsGetDest(name.c_str(), nullptr, all.count, all.dests);
  if (dest == nullptr) return NoPrinter(name);
  for (const auto& [option, value] : options) {
    dest->num_options = cupsAddOption(option.c_str(), value.c_str(), dest->num_options, &dest->options);
  }
  KeepSavedDefault(all.count, all.dests);
  errno = 0;
  if (cupsSetDests2(CUPS_HTTP_DEFAULT, all.count, all.dests) != 0) return OptionsNotWritten(name);
  return base::Status::Ok();
}

base::StatusOr<std::unique_ptr<PrintDevice>> CupsSpooler::OpenDevice(const std::string& name,
                                                                     const PrintSettings& settings) {
  cups::PrinterHandles printer = OpenPrinter(name, ConnectionKind::kOwn);
  if (!printer.dest) return NoPrinter(name);
  if (!printer.connection || !printer.info) return NotAnswering(name);
  return cups::OpenPrintDevice(std::move(printer), settings, active_, budget_);
}

CupsSpooler::CupsSpooler(imaging::MemoryBudget* budget) : active_(std::make_shared<ActiveJobs>()), budget_(budget) {}

CupsSpooler::~CupsSpooler() = default;

void CupsSpooler::CancelActiveJobs() {
  std::set<std::pair<std::string, int>> jobs;
  {
    std::lock_guard lock(active_->mutex);
    jobs = active_->jobs;
  }
  // On a connection of its own: the devices' connections may be in the middle of sending a page.
  const cups::HttpHandle http(cups::Connect());
  for (const auto& [queue, job] : jobs) cupsCancelJob2(http ? http.get() : CUPS_HTTP_DEFAULT, queue.c_str(), job, 0);
}

}  // namespace platform
