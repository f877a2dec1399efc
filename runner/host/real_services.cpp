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
#include "platform/headless/headless_dialogs.h"
#include "platform/posix/file_primitives.h"
#include "platform/posix/file_settings_store.h"
#include "platform/posix/xdg_shell.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_runner.h"
#include "platform/posix/system_clock.h"
#include "runner/host/leftover_files.h"
#include "runner/printing/baking/graphics_library.h"
#include "runner/printing/printers/printer_directory.h"
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
  files_ = std::make_unique<platform::PosixFileSystem>();
  services_.files = files_.get();
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
  pdf_printer_ = std::make_unique<platform::PdfFilePrinter>(*files_);
  if (auto config = platform::ConfigFolder()) {
    pdf_state_ = std::make_unique<platform::FileSettingsStore>(
        *config + "/PictaVera/BuiltInPrinter", platform::FileSettingsStore::Oversized::kReplaceOversized);
  }
  printers_ = std::make_unique<printing::PrinterDirectory>(system_printers_.get(), pdf_printer_.get(), pdf_state_.get());
  services_.spooler = printers_.get();
  settings_dialog_ = std::make_unique<platform::HeadlessSettingsDialog>();
  services_.settings_dialog = settings_dialog_.get();
  print_dialog_ = std::make_unique<platform::HeadlessPrintDialog>();
  services_.print_dialog = print_dialog_.get();
  shell_ = std::make_unique<platform::XdgShell>();
  services_.shell = shell_.get();
  services_.hardware_threads = std::thread::hardware_concurrency();
  services_.mosalith_path = ProgramFolder() + "/mosalith";
  services_.process_id = static_cast<int>(::getpid());
  // What a killed host left behind (its job files, its unfinished PDFs) goes now.
  RemoveLeftoverFiles(*files_, *processes_, platform::PdfFilePrinter::OutputFolder(), services_.process_id);
}

RealServices::~RealServices() { threads_.JoinAll(); }

}  // namespace runner
