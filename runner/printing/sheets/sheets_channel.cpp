// The sheets family's handlers and table rows: read the arguments, run or start the job, answer once.
#include "runner/printing/sheets/sheets_channel.h"

#include <exception>

#include "runner/channels/channel_args.h"
#include "runner/colour_output.h"
#include "runner/printing/baking/color_profiles.h"
#include "runner/channels/channel_errors.h"
#include "runner/channels/on_lane.h"
#include "runner/log.h"
#include "runner/printing/sheets/grid_job_table.h"
#include "runner/printing/sheets/sheet_arguments.h"
#include "runner/printing/sheets/sheet_checks.h"
#include "runner/printing/sheets/sheet_job.h"
#include "runner/work_lanes.h"

namespace runner::printing {
namespace {

// Runs `body`, answering "GRID_ERROR" with the text of an exception that escapes it. `body` must not
// have answered when it throws.
template <class Body>
void AnswerGuarded(MethodResult& result, Body&& body) {
  try {
    body();
  } catch (const std::exception& exception) {
    LogLine(std::string("ERROR: sheet job failed: ") + exception.what());
    AnswerError(result, GridError(exception.what()));
  } catch (...) {
    LogLine("ERROR: sheet job failed with an unknown exception");
    AnswerError(result, GridError("Unknown exception in sheet job"));
  }
}

// The failure row of a sheet job the host ends before it could run: the row a failing job answers.
void SheetJobStopped(const MethodCall&, MethodResult& result) {
  AnswerError(result, GridError("Sheet job stopped: the application is closing"));
}

}  // namespace

MethodHandler MakeCreateGridImagesHandler(const Services& services) {
  const SheetJobContext context = SheetJobContextOf(services);
  const platform::SettingsStore* const settings = services.settings;
  MethodHandler handler = [context, settings](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    AnswerGuarded(*result, [&] {
      ChannelError error(kExpectedMapOfArguments);
      std::optional<mosalith::GridJob> request = ReadSheetRequest(call.arguments(), SheetMethod::kBlocking, &error);
      if (!request) {
        AnswerError(*result, error);
        return;
      }
      // The sheets are made in the colour space the user chose, by the helper and the fallback alike.
      request->colorProfile = ColourJobValue(LoadSelectedColorProfile(settings));
      if (const std::optional<std::string> problem = SheetRequestProblem(*request)) {
        AnswerError(*result, GridError(*problem));  // at once, before any job file or helper
        return;
      }
      const GridResult outcome = CreateGridImagesWithHelper(*request, context);
      if (outcome.success) {
        result->Success(EncodableValue(true));
      } else {
        AnswerError(*result, GridError(outcome.errorMessage));
      }
    });
  };
  // The job waits on a helper program: it runs on the sheet lane, never on the platform thread.
  return OnLane(services.lanes ? &services.lanes->sheets : nullptr, services.pending, "sheet job", SheetJobStopped,
                std::move(handler));
}

MethodHandler MakeCreateGridImagesAsyncHandler(const Services& services) {
  const SheetJobContext context = SheetJobContextOf(services);
  GridJobTable* const table = services.grid_jobs;
  WorkQueue* const lane = services.lanes != nullptr ? &services.lanes->sheets : nullptr;
  PendingWork* const pending = services.pending;
  const platform::SettingsStore* const settings = services.settings;
  return [context, table, lane, pending, settings](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    AnswerGuarded(*result, [&] {
      ChannelError error(kExpectedMapOfArguments);
      std::optional<mosalith::GridJob> request =
          ReadSheetRequest(call.arguments(), SheetMethod::kBackground, &error);
      if (!request) {
        AnswerError(*result, error);
        return;
      }
      request->colorProfile = ColourJobValue(LoadSelectedColorProfile(settings));
      if (const std::optional<std::string> problem = SheetRequestProblem(*request)) {
        AnswerError(*result, GridError(*problem));
        return;
      }
      if (table == nullptr || lane == nullptr) {
        AnswerError(*result, GridError("Background sheet jobs are not available"));
        return;
      }
      std::string reason;
      const std::optional<int32_t> job_id = table->Start(std::move(*request), context, *lane, pending, &reason);
      if (!job_id) {
        LogLine("ERROR: Failed to start sheet job: " + reason);
        AnswerError(*result, GridError(reason));
        return;
      }
      result->Success(EncodableValue(*job_id));
    });
  };
}

MethodHandler MakeCheckGridJobStatusHandler(const Services& services) {
  GridJobTable* const table = services.grid_jobs;
  return [table](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    AnswerGuarded(*result, [&] {
      const std::optional<int32_t> job_id = Read(call.arguments(), kInt32);
      if (!job_id) {
        AnswerError(*result, kExpectedJobId);
        return;
      }
      const std::optional<GridJobTable::Status> status =
          table == nullptr ? std::nullopt : table->Poll(*job_id);
      if (!status) {
        AnswerError(*result, JobNotFound(*job_id));
        return;
      }
      EncodableMap reply;
      reply[EncodableValue("completed")] = EncodableValue(status->completed);
      if (status->completed) {
        reply[EncodableValue("success")] = EncodableValue(status->result.success);
        reply[EncodableValue("errorMessage")] = EncodableValue(status->result.errorMessage);
        reply[EncodableValue("totalTimeMs")] = EncodableValue(status->result.totalTimeMs);
        // Beside the job's own keys: each photo that could not be used, with why (its cell stayed white).
        EncodableList failed;
        for (const FailedImage& image : status->result.failedImages) {
          failed.emplace_back(EncodableMap{{EncodableValue("index"), EncodableValue(image.index)},
                                           {EncodableValue("reason"), EncodableValue(image.reason)}});
        }
        reply[EncodableValue("failedImages")] = EncodableValue(std::move(failed));
      }
      result->Success(EncodableValue(std::move(reply)));
    });
  };
}

std::vector<MethodEntry> SheetsMethodTable(const Services& services) {
  const MethodHandler create_grid_images = MakeCreateGridImagesHandler(services);
  return {
      {"createGridImages", create_grid_images},
      {"createGridImagesFast", create_grid_images},
      {"createGridImagesFastAsync", MakeCreateGridImagesAsyncHandler(services)},
      {"checkGridJobStatus", MakeCheckGridJobStatusHandler(services)},
  };
}

}  // namespace runner::printing
