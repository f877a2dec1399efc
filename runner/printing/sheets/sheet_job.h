// The sheet job: write the job file, run the helper program on it, and fall back to the in-process
// composer when the helper is missing, cannot start or fails.
#pragma once

#include <functional>
#include <string>

#include "runner/printing/sheets/sheet_job_records.h"

namespace platform {
class Clock;
class FaceDetector;
class FileSystem;
class Graphics;
class ProcessRunner;
}  // namespace platform

namespace imaging::colour {
class ColourTransforms;
}

namespace runner {
struct Services;
}

namespace runner::printing {

// What a sheet job uses. Pointers are borrowed from the Services and must outlive the job; a null port
// makes the step that needs it fail (a missing graphics port fails the fallback composer).
struct SheetJobContext {
  platform::FileSystem* files = nullptr;
  platform::ProcessRunner* processes = nullptr;
  const platform::Graphics* graphics = nullptr;
  platform::Clock* clock = nullptr;
  imaging::colour::ColourTransforms* colour = nullptr;  // the fallback's conversions; null: its own
  const platform::FaceDetector* faces = nullptr;  // for face-aware crops; null: crops stay centred
  std::string mosalith_path;  // the helper program
  int process_id = 0;         // names the job files
  // True once the application is closing for good (its helpers are being stopped): a helper that ends
  // then is not replaced by the in-process composer. Empty: never.
  std::function<bool()> stopping;
};

SheetJobContext SheetJobContextOf(const Services& services);

// Runs one sheet job and returns its result. Blocking, without a time limit while the helper runs; may be
// called from several threads at once (each job has its own job file, removed on every path).
//   a page outside the page budget, an empty output path, an output that is one of the photos or
//   frames                           -> {false, <SheetRequestProblem / OutputNamingAnInput>}, nothing written
//   helper missing                   -> the in-process composer's result
//   job file cannot be written       -> {false, "Failed to create config file"}, no fallback
//   helper cannot start              -> the in-process composer's result (its times)
//   helper exits non-0               -> the in-process composer's result for the sheets the helper did not
//                                       write; the ones it wrote are kept, never replaced
//   helper exits 0                   -> {true, "", totalTimeMs}
//   helper stopped by the closing    -> {false, "Sheet job stopped: the application is closing"}
// A request for face-aware crops that carries no faces has its photos' faces found first (both composers
// then crop by the same faces). The helper's joined output is copied unchanged to standard error when it
// has ended. Every step logs its
// "DEBUG C++: " line; the texts keep the helper's Windows name "mosalith.exe".
GridResult CreateGridImagesWithHelper(const mosalith::GridJob& request, const SheetJobContext& context);

}  // namespace runner::printing
