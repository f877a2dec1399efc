// TestServices: a Services built from the fakes of platform/fake/, owned by the test.
#pragma once

#include "imaging/colour/colour_transforms.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_graphics.h"
#include "platform/fake/fake_shell.h"
#include "platform/fake/fake_spooler.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_settings_store.h"
#include "runner/printing/baking/bake_shared.h"
#include "platform/fake/fake_metadata_reader.h"
#include "platform/fake/fake_face_detector.h"
#include "platform/fake/fake_thumbnail_cache.h"
#include "platform/fake/fake_process_runner.h"
#include "runner/printing/sheets/grid_job_table.h"
#include "imaging/memory_budget.h"
#include "runner/channels/pending_work.h"
#include "runner/services.h"
#include "runner/thread_registry.h"
#include "runner/work_lanes.h"

namespace runner::testing {

// Fakes are members, so a test arranges them (clock.Advance, ...) before or while the handlers run.
// Declared before `services` is handed out; destroyed after the background threads are joined.
struct TestServices {
  TestServices() {
    services.clock = &clock;
    services.graphics = &graphics;
    services.files = &files;
    services.settings = &settings;
    services.bakes = &bakes;
    services.colour = &colour;
    services.metadata = &metadata;
    services.face_detector = &face_detector;
    services.thumbnail_cache = &thumbnail_cache;
    services.processes = &processes;
    services.threads = &threads;
    services.lanes = &lanes;
    services.pending = &pending;
    services.memory = &memory;
    services.grid_jobs = &grid_jobs;
    services.hardware_threads = 2;
    services.spooler = &spooler;
    services.settings_dialog = &settings_dialog;
    services.print_dialog = &print_dialog;
    services.shell = &shell;
  }
  ~TestServices() { threads.JoinAll(); }
  TestServices(const TestServices&) = delete;
  TestServices& operator=(const TestServices&) = delete;

  platform::FakeClock clock;
  platform::FakeGraphics graphics;
  platform::FakeSpooler spooler;
  platform::FakeSettingsDialog settings_dialog;
  platform::FakePrintDialog print_dialog;
  platform::FakeShell shell;
  platform::FakeFileSystem files;
  platform::FakeSettingsStore settings;
  printing::BakeShared bakes;
  platform::FakeMetadataReader metadata;
  platform::FakeFaceDetector face_detector;
  platform::FakeThumbnailCache thumbnail_cache;
  platform::FakeProcessRunner processes;
  imaging::MemoryBudget memory;
  ThreadRegistry threads;
  PendingWork pending;
  WorkLanes lanes{&threads, &clock, 2};
  printing::GridJobTable grid_jobs;
  imaging::colour::ColourTransforms colour;
  Services services;
};

}  // namespace runner::testing
