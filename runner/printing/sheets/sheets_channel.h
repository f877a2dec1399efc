// The sheets family's part of `printing_channel`: "createGridImages" / "createGridImagesFast" (blocking),
// "createGridImagesFastAsync" (background, answers the job number) and "checkGridJobStatus" (poll), their
// handlers and their rows of the method table.
//
// Each handler answers exactly once on every path: an exception escaping the work is answered as
// "GRID_ERROR" with the exception's text. Handlers copy the Services members they use. The blocking
// handler runs on the sheet lane (services.lanes->sheets, when given), where background jobs wait their
// turn too (two sheet jobs at once); a call the host ends first is answered "GRID_ERROR" with "Sheet job
// stopped: the application is closing".
#pragma once

#include <vector>

#include "runner/channels/channel.h"
#include "runner/services.h"

namespace runner::printing {

// Arguments as in runner/printing/sheets/sheet_arguments.h. A request SheetRequestProblem refuses (a page
// beyond the page budget, an empty output path) is answered "GRID_ERROR" with that text at once. Success
// true when the sheet job succeeded, otherwise "GRID_ERROR" with the job's errorMessage.
MethodHandler MakeCreateGridImagesHandler(const Services& services);

// Arguments as above with the background method's forms, refused at once in the same way. Success with
// the job number (int32), or "GRID_ERROR" with the reason when the job's thread cannot start (or there is
// no job table).
MethodHandler MakeCreateGridImagesAsyncHandler(const Services& services);

// Argument: the job number, an int32 ("Expected job ID as integer" otherwise). "JOB_NOT_FOUND" with
// "Job ID not found: <n>" when there is no such job; otherwise success with {"completed": bool} and, once
// completed, "success", "errorMessage" and "totalTimeMs".
MethodHandler MakeCheckGridJobStatusHandler(const Services& services);

// The family's rows of the `printing_channel` method table. Both "createGridImages" and
// "createGridImagesFast" are bound to one handler, so they give identical replies.
std::vector<MethodEntry> SheetsMethodTable(const Services& services);

}  // namespace runner::printing
