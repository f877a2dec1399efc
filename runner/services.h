// Services: the ports and the shared state that channel handlers receive, built once per program.
//
// `main` fills one Services from the real adapters (runner/host/real_services.h); tests fill one from the fakes
// of platform/fake/. Channel setups and method tables take it by reference and hand each handler the
// members it needs; no handler reaches a port any other way.
//
// Ownership: Services only points. Whoever filled it (RealServices, a test fixture) owns every member and
// keeps it alive until the window that uses it has been destroyed. A member a program does not provide is
// null; a handler that needs a null member answers as its operation fails.
// Thread safety: the struct is read-only once built; each port states its own thread safety.
#pragma once

#include <string>

namespace flutter::engine {
class ReadGate;
}

namespace platform {
class Clock;
class Graphics;
class ProcessRunner;
class FileSystem;
class SettingsStore;
class Spooler;
class PrintDialog;
class SettingsDialog;
class Shell;
class MetadataReader;
class FaceDetector;
class ThumbnailCache;
}  // namespace platform
namespace imaging {
class MemoryBudget;
}  // namespace imaging

namespace imaging::colour {
class ColourTransforms;
}

namespace runner {

class ThreadRegistry;
class PendingWork;
struct WorkLanes;
namespace printing {
class GridJobTable;
struct BakeShared;
}  // namespace printing

struct Services {
  // Ports (platform/).
  platform::Clock* clock = nullptr;
  platform::Graphics* graphics = nullptr;
  platform::ProcessRunner* processes = nullptr;
  platform::FileSystem* files = nullptr;
  platform::SettingsStore* settings = nullptr;
  platform::Spooler* spooler = nullptr;
  platform::PrintDialog* print_dialog = nullptr;
  platform::SettingsDialog* settings_dialog = nullptr;
  platform::Shell* shell = nullptr;
  platform::MetadataReader* metadata = nullptr;
  platform::FaceDetector* face_detector = nullptr;
  platform::ThumbnailCache* thumbnail_cache = nullptr;  // the desktop's shared previews; may stay null

  // Shared state.
  ThreadRegistry* threads = nullptr;              // background threads, joined when the window closes
  WorkLanes* lanes = nullptr;                     // the lanes work leaves the platform thread by; may be null
  const flutter::engine::ReadGate* read_gate = nullptr;  // held by full lanes: the transports stop reading
  PendingWork* pending = nullptr;                 // calls and jobs taken on and not yet finished
  imaging::MemoryBudget* memory = nullptr;       // the pixel buffers' budget the adapters draw on
  printing::GridJobTable* grid_jobs = nullptr;    // background sheet jobs
  printing::BakeShared* bakes = nullptr;          // the bakes' graphics-library count and file counter
  imaging::colour::ColourTransforms* colour = nullptr;  // colour conversions, made once per pair of spaces

  // Facts about the machine and the installation.
  unsigned hardware_threads = 1;  // as the standard library reports it; 0 when unknown
  std::string mosalith_path;      // the sheet helper program, beside this program
  int process_id = 0;             // this process, for names of files it creates
};

}  // namespace runner
