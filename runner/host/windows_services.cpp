// RealServices on Windows: the one place where the Windows adapters are chosen.
//
// Printers, papers and printing through the spooler and GDI; pictures through WIC and GDI+ (JPEGs through
// libjpeg-turbo, as on Linux); settings in the registry; files, processes and the shell through Win32;
// metadata and faces through the same libraries as on Linux, built for Windows. The thumbnail cache stays
// null: the shell's image factory gives nothing usable under Wine, and previews are decoded instead.
#include "runner/host/real_services.h"

#include <cstdlib>
#include <string>
#include <thread>

#include "platform/win32/windows_api.h"

#include "base/utf8.h"
#include "platform/clock.h"
#include "platform/platform_queue.h"
#include "platform/face_detector.h"
#include "platform/file_system.h"
#include "platform/graphics.h"
#include "platform/metadata_reader.h"
#include "platform/pdf_printer.h"
#include "platform/process_runner.h"
#include "platform/settings_store.h"
#include "platform/shell.h"
#include "platform/spooler.h"
#include "platform/thumbnail_cache.h"
#include "platform/dlib/dlib_face_detector.h"
#include "platform/gdiplus/gdiplus_graphics.h"
#include "platform/gdiplus/gdiplus_session.h"
#include "platform/libexif/libexif_metadata_reader.h"
#include "platform/portable/system_clock.h"  // the standard library's clocks: no POSIX call in it
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/win_dialogs.h"
#include "platform/win32/win_file_system.h"
#include "platform/win32/win_process_runner.h"
#include "platform/win32/win_shell.h"
#include "platform/win32/win_spooler.h"
#include "runner/host/folder_journal.h"
#include "runner/host/leftover_files.h"
#include "runner/printing/baking/bake_shared.h"
#include "runner/printing/printers/printer_directory.h"

namespace runner {
namespace {

// The folder of this program's own file (UTF-8), so that mosalith.exe beside it is found whatever the
// current folder; "." when it cannot be read.
std::string ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return ".";
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // a long path: try again with room for it
  }
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return ".";
  return base::Utf16ToUtf8(std::u16string(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(slash)));
}

}  // namespace

RealServices::RealServices(const char* memory_megabytes)
    : memory_(imaging::MemoryBudgetBytesFromEnvironment(memory_megabytes)),
      clock_(std::make_unique<platform::SystemClock>()),
      graphics_(std::make_unique<platform::GdiplusGraphics>(&memory_)),
      files_(std::make_unique<platform::WinFileSystem>()),
      system_printers_(std::make_unique<platform::WinSpooler>()),
      shell_(std::make_unique<platform::WinShell>()),
      settings_(std::make_unique<platform::RegistrySettingsStore>()),
      metadata_(std::make_unique<platform::LibexifMetadataReader>()),
      face_detector_(std::make_unique<platform::DlibFaceDetector>()),
      processes_(std::make_unique<platform::WinProcessRunner>()),
      lanes_(&threads_, clock_.get(), std::thread::hardware_concurrency(),
             [this](bool full) { full ? read_gate_.Hold() : read_gate_.Release(); }) {
  services_.clock = clock_.get();
  services_.memory = &memory_;
  services_.pending = &pending_;
  services_.lanes = &lanes_;
  services_.read_gate = &read_gate_;
  services_.graphics = graphics_.get();
  services_.process_id = static_cast<int>(::GetCurrentProcessId());
  journal_ = std::make_unique<FolderJournal>(*files_, services_.process_id);
  services_.files = journal_.get();
  services_.settings = settings_.get();
  bakes_ = std::make_unique<printing::BakeShared>();
  services_.bakes = bakes_.get();
  services_.colour = &colour_;
  services_.metadata = metadata_.get();
  services_.face_detector = face_detector_.get();
  services_.thumbnail_cache = thumbnail_cache_.get();
  services_.processes = processes_.get();
  services_.threads = &threads_;
  services_.grid_jobs = &grid_jobs_;
  // The system's printers only: Windows has a PDF printer of its own, so there is no built-in one.
  printers_ = std::make_unique<printing::PrinterDirectory>(system_printers_.get(), nullptr, nullptr);
  services_.spooler = printers_.get();
  // Without a desktop to show them on, the dialogs answer cancelled.
  settings_dialog_ = std::make_unique<platform::WinSettingsDialog>();
  services_.settings_dialog = settings_dialog_.get();
  print_dialog_ = std::make_unique<platform::WinPrintDialog>();
  services_.print_dialog = print_dialog_.get();
  services_.shell = shell_.get();
  services_.hardware_threads = std::thread::hardware_concurrency();
  services_.mosalith_path = ProgramFolder() + "\\mosalith.exe";
  // What a killed host left behind goes now (there is no built-in PDF printer's folder here).
  RemoveLeftoverFiles(*files_, *processes_, std::string(), services_.process_id);
}

RealServices::~RealServices() { threads_.JoinAll(); }

}  // namespace runner
