// "planMagnetSheets": read the design, choose the paper, plan the sheet, preflight the photos, answer.
#include "runner/printing/plans/plans_channel.h"

#include <cmath>
#include <exception>

#include "helper/grid_job_fields.h"
#include "runner/channels/channel_args.h"
#include "runner/channels/channel_errors.h"
#include "runner/channels/on_lane.h"
#include "runner/log.h"
#include "runner/printing/plans/plan_paper.h"
#include "runner/printing/plans/preflight.h"
#include "runner/printing/plans/sheet_plan.h"
#include "runner/printing/sheets/sheet_arguments.h"
#include "runner/thread_registry.h"
#include "runner/work_lanes.h"

namespace runner::printing {
namespace {

using V = EncodableValue;

struct PlanArgs {
  PlanInput input;
  PlanPaperRequest paper;
  bool has_photos = false;
};

// A number at `key` within [low, high], or `fallback` when absent; a failure names the key.
std::optional<double> RangedNumber(ArgReader& args, std::string_view key, double low, double high,
                                   std::optional<double> fallback, std::optional<ChannelError>& refused) {
  std::optional<double> value = fallback ? args.Optional(key, kNumber) : args.Required(key, kNumber, kMissingRequiredParameters);
  if (!args.ok()) return std::nullopt;
  if (!value) return fallback;
  if (!std::isfinite(*value) || *value < low || *value > high) {
    if (!refused) refused = InvalidValueForKey(key, mosalith::FormatJobReal(low) + " to " + mosalith::FormatJobReal(high));
    return std::nullopt;
  }
  return value;
}

std::optional<PlanArgs> ReadPlanArgs(const EncodableMap& map, ChannelError* error) {
  ArgReader args(map);
  std::optional<ChannelError> refused;
  PlanArgs plan;
  const std::optional<double> width = RangedNumber(args, "magnetWidthMm", 0.1, 10000, std::nullopt, refused);
  const std::optional<double> height = RangedNumber(args, "magnetHeightMm", 0.1, 10000, std::nullopt, refused);
  const std::optional<double> gap = RangedNumber(args, "gapMm", 0, 1000, 0.0, refused);
  const std::optional<double> bleed = RangedNumber(args, "bleedMm", 0, 1000, 0.0, refused);
  const int32_t dpi = args.Or("dpi", kInt32OrDouble, 300);
  if (FindKey(map, "dpi") != nullptr && !Read(FindKey(map, "dpi"), kInt32OrDouble)) {
    args.Optional("dpi", kInt32OrDouble);  // the wrong kind, named
  }
  if (args.ok() && !refused && (dpi < 1 || dpi > 10000)) refused = InvalidValueForKey("dpi", "1 to 10000");
  plan.paper.printer = args.Optional("printerName", kString);
  plan.paper.paper_name = args.Optional("paperName", kString);
  if (const std::optional<const EncodableMap*> size = args.Optional("paperSize", kMap); size && !plan.paper.paper_name) {
    ArgReader sides(**size);
    plan.paper.paper_width_mm = RangedNumber(sides, "width", 1, 10000, std::nullopt, refused).value_or(0);
    plan.paper.paper_height_mm = RangedNumber(sides, "height", 1, 10000, std::nullopt, refused).value_or(0);
    if (!sides.ok() && !refused) refused = InvalidTypeForKey("paperSize");
  }
  plan.has_photos = FindKey(map, "imagePaths") != nullptr;
  const std::optional<int32_t> count = plan.has_photos ? args.Optional("imageCount", kInt32)
                                                       : args.Required("imageCount", kInt32, kMissingRequiredParameters);
  if (args.ok() && !refused && count && *count < 0) refused = InvalidValueForKey("imageCount", "0 or more");
  if (!args.ok() || refused) {
    *error = args.ok() ? *refused : *args.failure();
    return std::nullopt;
  }
  plan.input = PlanInput{*width, *height, *gap, *bleed, dpi, count.value_or(0)};
  return plan;
}

// The sheet keys the plan passes on, and the photos with their effects, read as "createGridImages" reads
// them (so a value it would refuse is refused here, by the same name), over a placeholder layout.
std::optional<mosalith::GridJob> ReadSheetKeys(const EncodableMap& map, ChannelError* error) {
  EncodableMap sheet = {{V("outputPaths"), V(EncodableList{})}, {V("imagePaths"), V(EncodableList{})}};
  for (const char* key : {"rows", "columns", "pageWidth", "pageHeight"}) sheet[V(key)] = V(int32_t{1});
  for (const char* key : {"marginLeft", "marginRight", "marginTop", "marginBottom"}) sheet[V(key)] = V(int32_t{0});
  for (const char* key : {"imagePaths", "imageEffects", "imageFaces", "cutGuides", "fullLengthGuides", "rotateToFit",
                          "faceAwareCrop", "frameFit", "cutGridWidthMm", "cutGridColor", "jpegQuality"}) {
    if (const EncodableValue* value = FindKey(map, key)) sheet[V(key)] = *value;
  }
  const V arguments(std::move(sheet));
  return ReadSheetRequest(&arguments, SheetMethod::kBlocking, error);
}

// Millimetres to the micrometre: finer than any printer places a dot.
V Mm(double mm) { return V(std::round(mm * 1000) / 1000); }

EncodableMap RectMap(const PaperRectMm& rect) {
  return {{V("left"), Mm(rect.left)}, {V("top"), Mm(rect.top)}, {V("width"), Mm(rect.width)}, {V("height"), Mm(rect.height)}};
}

// The "createGridImages" arguments of `job`, from the field table: every setting the blocking method reads.
EncodableMap RequestMap(const mosalith::GridJob& job) {
  EncodableMap request;
  for (const mosalith::SettingField& field : mosalith::kSettingFields) {
    if (field.argument.empty() || field.requirement == mosalith::Requirement::kBackgroundOnly) continue;
    const V key(std::string(field.argument));
    switch (field.kind) {
      case mosalith::SettingKind::kInteger:
        request[key] = V(job.*field.integer);
        break;
      case mosalith::SettingKind::kWholeReal:
        request[key] = V(static_cast<int32_t>(job.*field.real));
        break;
      case mosalith::SettingKind::kReal:
        request[key] = V(job.*field.real);
        break;
      case mosalith::SettingKind::kFlag:
        request[key] = V(job.*field.flag);
        break;
      case mosalith::SettingKind::kText:
      case mosalith::SettingKind::kChoice:
        request[key] = V(job.*field.text);
        break;
    }
  }
  return request;
}

EncodableList PreflightList(const std::vector<PhotoPreflight>& photos, int64_t per_sheet, int32_t* warned) {
  EncodableList list;
  for (size_t i = 0; i < photos.size(); ++i) {
    const PhotoPreflight& photo = photos[i];
    EncodableList warnings;
    for (const std::string& warning : photo.warnings) warnings.emplace_back(warning);
    if (!warnings.empty()) ++*warned;
    EncodableMap entry = {
        {V("imagePath"), V(photo.path)},
        {V("sheet"), V(static_cast<int32_t>(static_cast<int64_t>(i) / per_sheet))},
        {V("readable"), V(photo.readable)},
        {V("widthPx"), V(photo.width_px)},
        {V("heightPx"), V(photo.height_px)},
        {V("turned"), V(photo.turned)},
        {V("effectivePpi"), V(std::round(photo.effective_ppi * 10) / 10)},
        {V("facesChecked"), V(photo.faces_checked)},
        {V("faces"), V(photo.faces)},
        {V("facesCut"), V(photo.faces_cut)},
        {V("warnings"), V(std::move(warnings))},
    };
    EncodableList areas;
    for (const mosalith::FaceArea& face : photo.face_areas) {
      areas.emplace_back(EncodableMap{{V("left"), V(face.left)}, {V("top"), V(face.top)},
                                      {V("width"), V(face.width)}, {V("height"), V(face.height)}});
    }
    entry[V("faceAreas")] = V(std::move(areas));
    if (!photo.readable) entry[V("reason")] = V(photo.reason);
    list.emplace_back(std::move(entry));
  }
  return list;
}

ChannelError PaperFailure(PlanPaperFailure failure, const PlanPaperRequest& request) {
  switch (failure) {
    case PlanPaperFailure::kNoPrinter:
      return ChannelError(std::string(kPrinterErrorCode), "No default printer");
    case PlanPaperFailure::kUnknownPrinter:
      return kFailedToOpenPrinter;
    case PlanPaperFailure::kNoPapers:
      return kNoPaperSizesAvailable;
    case PlanPaperFailure::kPaperNotFound:
      break;
  }
  return ChannelError("PAPER_NOT_FOUND", "Paper '" + request.paper_name.value_or("") + "' not found on " +
                                             request.printer.value_or("the default printer"));
}

struct PlanPorts {
  platform::Spooler* spooler = nullptr;
  const platform::Graphics* graphics = nullptr;
  const platform::FaceDetector* faces = nullptr;
  ThreadRegistry* threads = nullptr;
};

// The reply's plan: the paper, the sheet, the magnets as they print and the request that composes them.
EncodableMap PlanReply(const SheetPlan& plan, const PlanPaperChoice& choice, int64_t image_count, int32_t dpi,
                       const mosalith::GridJob& job) {
  const platform::Paper& paper = choice.paper;
  return {
      {V("printerName"), V(choice.printer)},
      {V("paperName"), V(paper.label)},
      {V("paperWidthMm"), Mm(paper.width_tenths_mm / 10.0)},
      {V("paperHeightMm"), Mm(paper.height_tenths_mm / 10.0)},
      {V("paperListed"), V(choice.listed)},
      {V("printableAreaMm"), V(RectMap(plan.printable))},
      {V("dpi"), V(dpi)},
      {V("orientation"), V(plan.landscape ? "landscape" : "portrait")},
      {V("sheetWidthPx"), V(plan.sheet_width_px)},
      {V("sheetHeightPx"), V(plan.sheet_height_px)},
      {V("sheetWidthMm"), Mm(MmOfPixels(plan.sheet_width_px, dpi))},
      {V("sheetHeightMm"), Mm(MmOfPixels(plan.sheet_height_px, dpi))},
      {V("rows"), V(plan.rows)},
      {V("columns"), V(plan.cols)},
      {V("magnetsPerSheet"), V(static_cast<int32_t>(plan.magnets_per_sheet))},
      {V("imageCount"), V(static_cast<int32_t>(image_count))},
      {V("sheetsNeeded"), V(static_cast<int32_t>(plan.sheets_needed))},
      {V("magnetWidthPx"), V(plan.magnet_width_px)},
      {V("magnetHeightPx"), V(plan.magnet_height_px)},
      {V("magnetWidthMm"), Mm(MmOfPixels(plan.magnet_width_px, dpi))},
      {V("magnetHeightMm"), Mm(MmOfPixels(plan.magnet_height_px, dpi))},
      {V("gapPx"), V(plan.gap_px)},
      {V("gapMm"), Mm(MmOfPixels(plan.gap_px, dpi))},
      {V("bleedPx"), V(plan.bleed_px)},
      {V("bleedMm"), Mm(MmOfPixels(plan.bleed_px, dpi))},
      {V("pixelRounding"), V("nearest")},
      {V("marginsPx"), V(EncodableMap{{V("left"), V(plan.margin_left_px)},
                                      {V("right"), V(plan.margin_right_px)},
                                      {V("top"), V(plan.margin_top_px)},
                                      {V("bottom"), V(plan.margin_bottom_px)}})},
      {V("sheetOnPaperMm"), V(RectMap(plan.sheet))},
      {V("gridOnPaperMm"), V(RectMap(plan.grid))},
      // A size the printer does not list may be printed on another paper, fitted.
      {V("printsAtTrueSize"), V(choice.listed)},
      {V("request"), V(RequestMap(job))},
  };
}

void AnswerPlan(const MethodCall& call, MethodResult& result, const PlanPorts& ports) {
  const std::optional<const EncodableMap*> map = Read(call.arguments(), kMap);
  if (!map) return AnswerError(result, kExpectedMapOfArguments);
  ChannelError error(kExpectedMapOfArguments);
  const std::optional<PlanArgs> args = ReadPlanArgs(**map, &error);
  if (!args) return AnswerError(result, error);
  std::optional<mosalith::GridJob> job = ReadSheetKeys(**map, &error);
  if (!job) return AnswerError(result, error);
  if (ports.spooler == nullptr) return AnswerError(result, kFailedToOpenPrinter);

  PlanPaperFailure failure = PlanPaperFailure::kNoPrinter;
  const std::optional<PlanPaperChoice> choice = ChoosePlanPaper(*ports.spooler, args->paper, &failure);
  if (!choice) return AnswerError(result, PaperFailure(failure, args->paper));
  const platform::Paper& paper = choice->paper;
  const PlanPaperArea area{int64_t{paper.width_tenths_mm} * 10, int64_t{paper.height_tenths_mm} * 10,
                           paper.margin_left_hundredths_mm, paper.margin_top_hundredths_mm,
                           paper.margin_right_hundredths_mm, paper.margin_bottom_hundredths_mm};
  PlanInput input = args->input;
  if (args->has_photos && FindKey(**map, "imageCount") == nullptr) input.image_count = static_cast<int64_t>(job->images.size());
  PlanProblem problem = PlanProblem::kNone;
  std::string text;
  const std::optional<SheetPlan> plan = PlanSheets(input, area, paper.label + " on " + choice->printer, &problem, &text);
  if (!plan) {
    LogLine("DEBUG C++: Sheet plan refused: " + text);
    return AnswerError(result, problem == PlanProblem::kMagnetTooLarge ? ChannelError("MAGNET_TOO_LARGE", text)
                                                                         : ChannelError(std::string(kInvalidArgumentsCode), text));
  }

  // The plan's sheet request: its layout over the keys the call passed on.
  job->rows = plan->rows;
  job->cols = plan->cols;
  job->pageWidth = plan->sheet_width_px;
  job->pageHeight = plan->sheet_height_px;
  job->marginLeft = plan->margin_left_px;
  job->marginRight = plan->margin_right_px;
  job->marginTop = plan->margin_top_px;
  job->marginBottom = plan->margin_bottom_px;
  job->dpi = input.dpi;
  job->gapPx = plan->gap_px;
  job->bleedPx = plan->bleed_px;
  if (FindKey(**map, "cutGuides") == nullptr) job->cutGuides = plan->bleed_px > 0 ? "marks" : "lines";

  const int32_t dpi = input.dpi;
  EncodableMap reply = PlanReply(*plan, *choice, input.image_count, dpi, *job);
  if (args->has_photos) {
    const std::vector<PhotoPreflight> photos = PreflightPhotos(
        *job, *ports.graphics, ports.faces, [threads = ports.threads] { return threads != nullptr && threads->stopping(); });
    int32_t warned = 0;
    reply[V("preflight")] = V(PreflightList(photos, plan->magnets_per_sheet, &warned));
    reply[V("preflightWarnings")] = V(warned);
  }
  LogLine("DEBUG C++: Sheet plan: " + std::to_string(plan->rows) + "x" + std::to_string(plan->cols) + " magnets of " +
          std::to_string(plan->magnet_width_px) + "x" + std::to_string(plan->magnet_height_px) + " px on a " +
          std::to_string(plan->sheet_width_px) + "x" + std::to_string(plan->sheet_height_px) + " px sheet at " +
          std::to_string(dpi) + " dpi");
  result.Success(V(std::move(reply)));
}

void PlanStopped(const MethodCall&, MethodResult& result) {
  AnswerError(result, GridError("Sheet plan stopped: the application is closing"));
}

}  // namespace

MethodHandler MakePlanMagnetSheetsHandler(const Services& services) {
  const PlanPorts ports{services.spooler, services.graphics, services.face_detector, services.threads};
  MethodHandler handler = [ports](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    try {
      AnswerPlan(call, *result, ports);
    } catch (const std::exception& exception) {
      LogLine(std::string("ERROR: sheet plan failed: ") + exception.what());
      AnswerError(*result, GridError(exception.what()));
    }
  };
  return OnLane(services.lanes ? &services.lanes->faces : nullptr, services.pending, "sheet plan", PlanStopped,
                std::move(handler));
}

std::vector<MethodEntry> PlansMethodTable(const Services& services) {
  return {{"planMagnetSheets", MakePlanMagnetSheetsHandler(services)}};
}

}  // namespace runner::printing
