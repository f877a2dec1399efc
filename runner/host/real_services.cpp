// RealServices: the one place where the real adapters are chosen.
#include "runner/host/real_services.h"

#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "platform/cairo/cairo_graphics.h"
#include "platform/cairo_pdf/pdf_file_printer.h"
#include "platform/cups/cups_spooler.h"
#include "flutter/engine/platform_thread.h"
#include "platform/gtk/gtk_dialogs.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/posix/file_primitives.h"
#include "platform/posix/file_settings_store.h"
#include "platform/xdg/xdg_shell.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_runner.h"
#include "platform/portable/system_clock.h"
#include "runner/host/folder_journal.h"
#include "runner/host/leftover_files.h"
#include "runner/log.h"
#include "runner/printing/baking/bake_shared.h"
#include "runner/printing/printers/printer_directory.h"
#include "runner/printing/printers/settings_record.h"
#include "platform/libexif/libexif_metadata_reader.h"
#include "platform/dlib/dlib_face_detector.h"
#include "platform/glib/glib_thumbnail_cache.h"

namespace runner {
namespace {

// The folder of this program's own file, found through /proc so that the helper beside it is found
// whatever the current folder; "." when that cannot be read.
std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  const std::string self(path, static_cast<size_t>(length));
  const size_t slash = self.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string(slash == 0 ? "/" : ".") : self.substr(0, slash);
}

// The sheet helper: beside this program (a build folder), else where an installed copy keeps it
// (<prefix>/lib/pictavera/mosalith for <prefix>/bin/pictavera).
std::string HelperPath(const std::string& folder) {
  const std::string beside = folder + "/mosalith";
  if (::access(beside.c_str(), X_OK) == 0) return beside;
  const size_t slash = folder.rfind('/');
  const std::string prefix = slash == std::string::npos ? ".." : folder.substr(0, slash);
  const std::string installed = prefix + "/lib/pictavera/mosalith";
  if (::access(installed.c_str(), X_OK) == 0) return installed;
  return beside;
}

// The engine's platform thread, as a dialog's loop running on it serves it.
class EngineQueue : public platform::PlatformQueue {
 public:
  void SetWake(std::function<void()> wake) override {
    if (auto* thread = flutter::engine::PlatformThread::Current()) thread->SetModalWake(std::move(wake));
  }
  bool RunQueued() override {
    auto* thread = flutter::engine::PlatformThread::Current();
    return thread == nullptr || thread->RunQueued();
  }
};

// A desktop session: an X11 or Wayland display is named.
bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace

RealServices::RealServices(const char* memory_megabytes)
    : memory_(imaging::MemoryBudgetBytesFromEnvironment(memory_megabytes)),
      clock_(std::make_unique<platform::SystemClock>()),
      graphics_(std::make_unique<platform::CairoGraphics>(&memory_)),
      lanes_(&threads_, clock_.get(), std::thread::hardware_concurrency(),
             [this](bool full) { full ? read_gate_.Hold() : read_gate_.Release(); }) {
  services_.clock = clock_.get();
  services_.memory = &memory_;
  services_.pending = &pending_;
  services_.lanes = &lanes_;
  services_.read_gate = &read_gate_;
  services_.graphics = graphics_.get();
  services_.process_id = static_cast<int>(::getpid());
  files_ = std::make_unique<platform::PosixFileSystem>();
  journal_ = std::make_unique<FolderJournal>(*files_, services_.process_id);
  services_.files = journal_.get();
  if (auto path = platform::PrintingSettingsPath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"))) {
    settings_ = std::make_unique<platform::FileSettingsStore>(*path);
  }
  services_.settings = settings_.get();
  bakes_ = std::make_unique<printing::BakeShared>();
  services_.bakes = bakes_.get();
  services_.colour = &colour_;
  metadata_ = std::make_unique<platform::LibexifMetadataReader>();
  services_.metadata = metadata_.get();
  face_detector_ = std::make_unique<platform::DlibFaceDetector>();
  services_.face_detector = face_detector_.get();
  thumbnail_cache_ = std::make_unique<platform::GlibThumbnailCache>();
  services_.thumbnail_cache = thumbnail_cache_.get();
  processes_ = std::make_unique<platform::PosixProcessRunner>();
  services_.processes = processes_.get();
  services_.threads = &threads_;
  services_.grid_jobs = &grid_jobs_;
  system_printers_ = std::make_unique<platform::CupsSpooler>(&memory_);
  pdf_printer_ = std::make_unique<platform::PdfFilePrinter>(*journal_);
  if (auto config = platform::ConfigFolder()) {
    pdf_state_ = std::make_unique<platform::FileSettingsStore>(
        *config + "/PictaVera/BuiltInPrinter", platform::FileSettingsStore::Oversized::kReplaceOversized);
    printer_choices_ = std::make_unique<platform::FileSettingsStore>(
        *config + "/PictaVera/PrinterChoices", platform::FileSettingsStore::Oversized::kReplaceOversized);
  }
  printers_ = std::make_unique<printing::PrinterDirectory>(system_printers_.get(), pdf_printer_.get(), pdf_state_.get(),
                                                           printer_choices_.get());
  services_.spooler = printers_.get();
  // GTK's dialogs on a desktop (they still answer as cancelled when GTK cannot start there); without a
  // display, dialogs that answer as cancelled.
  if (HasDisplay()) {
    platform_queue_ = std::make_unique<EngineQueue>();
    platform::GtkDialogSetup setup;
    setup.spooler = printers_.get();
    setup.queue = platform_queue_.get();
    setup.codec.decode = [](std::span<const uint8_t> record) { return printing::DecodeSettingsRecord(record); };
    setup.codec.encode = [](const std::string& printer, const platform::PrintSettings& settings) {
      return printing::EncodeSettingsRecord(printer, settings);
    };
    setup.built_in_printer = std::string(printing::kBuiltInPrinterName);
    setup.built_in_folder = platform::PdfFilePrinter::OutputFolder();
    setup.log = [](const std::string& line) { LogLine(line); };
    auto session = platform::MakeGtkDialogSession(std::move(setup));
    settings_dialog_ = std::make_unique<platform::GtkSettingsDialog>(session);
    print_dialog_ = std::make_unique<platform::GtkPrintDialog>(session);
  } else {
    settings_dialog_ = std::make_unique<platform::HeadlessSettingsDialog>();
    print_dialog_ = std::make_unique<platform::HeadlessPrintDialog>();
  }
  services_.settings_dialog = settings_dialog_.get();
  services_.print_dialog = print_dialog_.get();
  shell_ = std::make_unique<platform::XdgShell>();
  services_.shell = shell_.get();
  services_.hardware_threads = std::thread::hardware_concurrency();
  services_.mosalith_path = HelperPath(ProgramFolder());
  // What a killed host left behind (its job files, its unfinished files wherever it wrote) goes now.
  RemoveLeftoverFiles(*files_, *processes_, platform::PdfFilePrinter::OutputFolder(), services_.process_id);
}

RealServices::~RealServices() { threads_.JoinAll(); }

}  // namespace runner
