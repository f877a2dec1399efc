// What a sheet request is refused for before any file is written, the same whichever composer would
// run: the helper program and the in-process composer give one answer to one request.
#pragma once

#include <optional>
#include <string>

#include "runner/printing/sheets/sheet_job_records.h"

namespace platform {
class FileSystem;
}

namespace runner::printing {

// Pure checks, cheap enough for the platform thread: the page outside the page budget of
// helper/page_budget.h ("Invalid page size WxH"), then an empty output path ("Empty output path at
// index <i>"). Nothing when the request passes.
std::optional<std::string> SheetRequestProblem(const mosalith::GridJob& request);

// The first output that names the same file (device and inode, links followed) as any photo or frame
// of the request: "Output path is one of the input files: <path>". Nothing when none does. Looks up
// every path once.
std::optional<std::string> OutputNamingAnInput(const mosalith::GridJob& request, platform::FileSystem& files);

}  // namespace runner::printing
