// RealServices: the composition root. Builds the real adapters of every port and the shared state once,
// for the program's lifetime, and lends them out as one Services. One declaration, one definition per
// platform: runner/host/real_services.cpp (Linux), runner/host/windows_services.cpp (Windows).
#pragma once

#include <memory>

#include "flutter/engine/read_gate.h"
#include "imaging/colour/colour_transforms.h"
#include "imaging/memory_budget.h"
#include "runner/channels/pending_work.h"
#include "runner/printing/sheets/grid_job_table.h"
#include "runner/services.h"
#include "runner/thread_registry.h"
#include "runner/work_lanes.h"

namespace platform {
class Clock;
class Graphics;
class Spooler;
class PdfPrinter;
class SettingsDialog;
class PrintDialog;
class Shell;
class FileSystem;
class SettingsStore;
class MetadataReader;
class FaceDetector;
class ThumbnailCache;
class ProcessRunner;
}  // namespace platform
namespace runner::printing {
struct BakeShared;
}

namespace runner {

// Thread safety: build and destroy on the main thread; services() is read-only.
class RealServices {
 public:
  // `memory_megabytes` is PICTAVERA_MEMORY_MB (null when unset): the pixel buffers' budget.
  explicit RealServices(const char* memory_megabytes = nullptr);
  // Joins the background threads before the adapters they use go away.
  ~RealServices();
  RealServices(const RealServices&) = delete;
  RealServices& operator=(const RealServices&) = delete;

  const Services& services() const { return services_; }

 private:
  imaging::MemoryBudget memory_;
  std::unique_ptr<platform::Clock> clock_;
  std::unique_ptr<platform::Graphics> graphics_;
  std::unique_ptr<platform::Spooler> system_printers_;    // the system's printers
  std::unique_ptr<platform::PdfPrinter> pdf_printer_;     // the built-in PDF printer's files
  std::unique_ptr<platform::Spooler> printers_;           // both, as the handlers see them
  std::unique_ptr<platform::SettingsDialog> settings_dialog_;
  std::unique_ptr<platform::PrintDialog> print_dialog_;
  std::unique_ptr<platform::Shell> shell_;
  std::unique_ptr<platform::FileSystem> files_;
  std::unique_ptr<platform::SettingsStore> settings_;
  std::unique_ptr<platform::SettingsStore> pdf_state_;  // the built-in PDF printer's state
  std::unique_ptr<printing::BakeShared> bakes_;
  std::unique_ptr<platform::MetadataReader> metadata_;
  std::unique_ptr<platform::FaceDetector> face_detector_;
  std::unique_ptr<platform::ThumbnailCache> thumbnail_cache_;
  std::unique_ptr<platform::ProcessRunner> processes_;
  ThreadRegistry threads_;
  PendingWork pending_;
  flutter::engine::ReadGate read_gate_;
  WorkLanes lanes_;
  printing::GridJobTable grid_jobs_;
  imaging::colour::ColourTransforms colour_;
  Services services_;
};

}  // namespace runner
