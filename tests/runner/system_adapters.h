// The system's own adapters, for the runner tests that check their part against real files, pictures and
// processes: the ones the program runs on (cairo and POSIX calls on Linux, GDI+ and Win32 on Windows),
// the implementation chosen in CMake, so that each such test runs against each platform's adapter.
#pragma once

#include <memory>
#include <string>

#include "imaging/memory_budget.h"
#include "platform/file_system.h"
#include "platform/graphics.h"
#include "platform/process_runner.h"

namespace runner::testing {

// The Graphics port the program uses; its memory from `budget` (none: not counted).
std::unique_ptr<platform::Graphics> SystemGraphics(imaging::MemoryBudget* budget = nullptr);
// The FileSystem port on disk, its temporary folder `temp_folder` (absolute, UTF-8).
std::unique_ptr<platform::FileSystem> SystemFileSystem(const std::string& temp_folder);
// The ProcessRunner port.
std::unique_ptr<platform::ProcessRunner> SystemProcessRunner();
// This process's id, as the program's services give it.
int SystemProcessId();

}  // namespace runner::testing
