// Print with layout: the job, and one file printed the way the desktop prints it.
#include "runner/printing/printers/print_job.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>

#include "imaging/colour/colour_transforms.h"
#include "imaging/colour/output_space.h"
#include "runner/colour_output.h"
#include "runner/log.h"
#include "runner/printing/printers/page_picture.h"
#include "runner/printing/printers/paper_setter.h"
#include "runner/thread_registry.h"
#include "runner/status_numbers.h"

namespace runner::printing {
namespace {

const char* OrientationText(const platform::PrintSettings& settings) {
  return settings.orientation == platform::kOrientationPortrait ? "Portrait" : "Landscape";
}

void DumpSettings(const platform::PrintSettings& settings) {
  LogLine("DEBUG PRINTER SETTINGS:");
  LogLine("  Paper Size ID: " + std::to_string(settings.paper_id));
  LogLine("  Paper Width: " + std::to_string(settings.paper_width_tenths_mm) + " (0.1mm units)");
  LogLine("  Paper Length: " + std::to_string(settings.paper_length_tenths_mm) + " (0.1mm units)");
  LogLine("  Print Quality: " + std::to_string(settings.print_quality_dpi) + " DPI");
  LogLine("  Y Resolution: " + std::to_string(settings.y_resolution_dpi) + " DPI");
  LogLine(std::string("  Orientation: ") + OrientationText(settings));
  LogLine("  Copies: " + std::to_string(settings.copies));
}

enum class LoopEnd { kFinished, kCancelled, kFailed };

// Why `printer` cannot print now, as its spooler says it; empty when it can (or is not listed).
std::string QueueStateOf(platform::Spooler& spooler, const std::string& printer) {
  for (const platform::PrinterSummary& summary : spooler.Printers()) {
    if (summary.name == printer) return summary.offline ? summary.state.empty() ? "offline" : summary.state : "";
  }
  return {};
}

// The settings a job prints with: the settings record's paper, colour, quality and the printer's own
// options, with the job's own copies and always portrait: pages are turned to the paper here, so a
// landscape record must not turn them again. Pages in the printer profile's own numbers tell the printer
// not to convert them again.
platform::PrintSettings JobSettings(platform::PrintSettings settings, int32_t copies, bool printer_numbers) {
  settings.copies = static_cast<int16_t>(std::clamp<int32_t>(copies, 1, INT16_MAX));
  settings.orientation = platform::kOrientationPortrait;
  settings.fields |= platform::kFieldCopies | platform::kFieldOrientation;
  if (printer_numbers) settings.options.emplace_back("cm-calibration", "true");
  return settings;
}

// The space of a job's pages (see PrintColour).
struct PageSpace {
  imaging::colour::OutputSpace space;  // null profile: the numbers as stored
  bool printer_numbers = false;        // the custom printer profile's own numbers
};

PageSpace PageSpaceOf(const PrintColour& colour) {
  const imaging::colour::OutputChoice choice = imaging::colour::OutputChoiceFromJobValue(colour.job_value);
  if (choice.kind == imaging::colour::OutputKind::kAsStored) return {};
  if (choice.kind != imaging::colour::OutputKind::kCustom) return {{imaging::colour::SrgbProfile(), {}}, false};
  PageSpace page{OutputSpaceOf(choice, colour.files), false};
  page.printer_numbers = page.space.fallback_note.empty();
  return page;
}

// "<name> (<width>x<height> mm)" of the sheet a device prints on.
std::string PaperText(const platform::DeviceGeometry& geometry) {
  const double width_mm = geometry.dpi_x > 0 ? geometry.physical_width_px * 25.4 / geometry.dpi_x : 0;
  const double height_mm = geometry.dpi_y > 0 ? geometry.physical_height_px * 25.4 / geometry.dpi_y : 0;
  return (geometry.paper_name.empty() ? std::string("unnamed paper") : geometry.paper_name) + " (" +
         LogNumber(std::round(width_mm)) + "x" + LogNumber(std::round(height_mm)) + " mm)";
}

// The job's printer and its page device, opened under the settings lock: the printer, its paper and the
// job's settings belong to this job. No device when none could be opened.
struct JobDevice {
  std::string printer;
  std::string queue_state;  // why the printer cannot print now; empty when it can
  std::unique_ptr<platform::PrintDevice> device;
};

JobDevice OpenJobDevice(const PrintJobRequest& request, platform::Spooler& spooler, bool printer_numbers) {
  JobDevice job;
  std::lock_guard lock(PrinterSettingsLock());
  const bool set_paper = !request.printer_name.empty() && request.make_default && request.paper_width_mm > 0 &&
                         request.paper_height_mm > 0;
  if (!request.printer_name.empty() && request.make_default && !spooler.SetDefaultPrinter(request.printer_name).ok()) {
    LogLine("DEBUG: Could not make " + request.printer_name + " the default printer; printing on it anyway");
  }
  // The job's paper is the one chosen here, kept in the job's own settings: what is read back from the
  // stored settings may already be another job's choice.
  std::optional<platform::PrintSettings> with_paper;
  if (set_paper) {
    with_paper =
        SettingsWithPaperSize(spooler, request.printer_name, request.paper_width_mm, request.paper_height_mm);
    if (with_paper && spooler.StoreSettings(request.printer_name, *with_paper).ok()) {
      LogLine("DEBUG: Printer settings saved");
    }
  }
  LogLine("DEBUG C++: PrintWithLayoutWindows using GDI Print API with " +
          std::to_string(request.image_paths.size()) + " images as SINGLE job");
  job.printer = !request.printer_name.empty() ? request.printer_name : spooler.DefaultPrinter().value_or("");
  LogLine("DEBUG C++: Default printer: " + job.printer);
  job.queue_state = QueueStateOf(spooler, job.printer);
  if (!job.queue_state.empty()) LogLine("DEBUG: Printer " + job.printer + " cannot print now: " + job.queue_state);
  std::optional<platform::PrintSettings> settings = with_paper;
  if (!settings && !job.printer.empty() && spooler.HasPrinter(job.printer)) {
    settings = spooler.CurrentSettings(job.printer);
  }
  if (settings) DumpSettings(*settings);
  // The number the failure line gives is the last opening's.
  int error = 0;
  const auto open = [&](const platform::PrintSettings& job_settings) {
    base::StatusOr<std::unique_ptr<platform::PrintDevice>> opened = spooler.OpenDevice(job.printer, job_settings);
    if (opened.ok()) {
      job.device = std::move(opened).value();
    } else {
      error = opened.status().system_error();
    }
  };
  if (settings) {
    const platform::PrintSettings job_settings = JobSettings(*settings, request.copies, printer_numbers);
    open(job_settings);
    if (job.device) {
      LogLine(std::string("DEBUG: Created DC with DEVMODE orientation=") + OrientationText(job_settings));
    }
  }
  if (!job.device) {
    LogLine("DEBUG: Falling back to DC without DEVMODE");
    if (!job.printer.empty()) open(JobSettings({}, request.copies, printer_numbers));
    if (!job.device) {
      LogLine("DEBUG: Failed to create printer DC, error=" + std::to_string(job.printer.empty() ? ENOENT : error));
      return job;
    }
  }
  if (set_paper && !with_paper) {
    LogLine("DEBUG: Paper " + std::to_string(request.paper_width_mm) + "x" + std::to_string(request.paper_height_mm) +
            "mm could not be set on " + job.printer + "; printing on its current paper instead: " +
            PaperText(job.device->Geometry()));
  }
  return job;
}

// What the device says about its page: resolution, printable area, paper, and how pages travel.
void LogDeviceGeometry(const platform::DeviceGeometry& geometry) {
  const int pw = geometry.printable_width_px;
  const int ph = geometry.printable_height_px;
  LogLine("DEBUG PRINTER DC INFO:");
  LogLine("  Printer DPI: " + std::to_string(geometry.dpi_x) + "x" + std::to_string(geometry.dpi_y));
  LogLine("  Printable area: " + std::to_string(pw) + "x" + std::to_string(ph) + " pixels");
  LogLine("  Printable area: " + std::to_string(geometry.printable_width_mm) + "x" +
          std::to_string(geometry.printable_height_mm) + " mm");
  LogLine("  Physical page: " + std::to_string(geometry.physical_width_px) + "x" +
          std::to_string(geometry.physical_height_px) + " pixels");
  LogLine("  Physical offset: " + std::to_string(geometry.offset_x_px) + "x" + std::to_string(geometry.offset_y_px) +
          " pixels");
  LogLine("DEBUG: Paper: " + PaperText(geometry));
  if (!geometry.document_format.empty()) {
    LogLine("DEBUG: Pages are sent as " + geometry.document_format +
            (geometry.document_format == "image/jpeg" ? ", each page a job of its own" : ""));
  }
}

// What every page of a job shares.
struct JobPages {
  const PrintJobRequest& request;
  const platform::Graphics& graphics;
  platform::PrintDevice& device;
  const platform::DeviceGeometry& geometry;
  const PageSpace& page_space;
  imaging::colour::ColourTransforms& transforms;
};

// How one page ended: printed, skipped (its photo could not be loaded; the job goes on), or the job
// ends with it.
enum class PageEnd { kPrinted, kSkipped, kCancelled, kFailed };

// Size, resolution and size on paper of a loaded page picture.
void LogImageInfo(const LoadedPicture& picture) {
  const int w = picture.upright_width_px;
  const int h = picture.upright_height_px;
  const std::optional<imaging::PictureResolution>& resolution = picture.upright_resolution;
  const double image_dpi_x = resolution ? resolution->x_dpi : kUnknownImageDpi;
  const double image_dpi_y = resolution ? resolution->y_dpi : kUnknownImageDpi;
  LogLine("DEBUG IMAGE INFO:");
  LogLine("  Image size: " + std::to_string(w) + "x" + std::to_string(h) + " pixels");
  LogLine("  Image DPI: " + LogNumber(image_dpi_x) + "x" + LogNumber(image_dpi_y));
  LogLine("  Physical size: " + LogNumber(w / image_dpi_x * 25.4) + "x" + LogNumber(h / image_dpi_y * 25.4) + " mm");
}

// The device refused a page (`what` is "StartPage" or "EndPage"): the document is aborted, and the job
// ends cancelled when the device says the job was cancelled.
PageEnd AbortOnPage(const JobPages& job, const base::Status& page, const char* what, const std::string& k) {
  LogLine(std::string("DEBUG: ") + what + " failed for page " + k + ", error=" + std::to_string(page.system_error()) +
          " - job was likely cancelled");
  job.device.AbortDoc();
  return page.Is(base::Status::Code::kCancelled) ? PageEnd::kCancelled : PageEnd::kFailed;
}

// The picture as loaded: its converted pixels, or the file as stored, which the device turns upright as
// it places it.
platform::PagePicture LoadedPlacement(const LoadedPicture& picture, const std::string& path, bool turned) {
  platform::PagePicture placed;
  if (picture.bitmap) {
    placed.bitmap = &*picture.bitmap;
    placed.width_px = picture.bitmap->width_px;
    placed.height_px = picture.bitmap->height_px;
  } else {
    placed.jpeg_path = path;
    placed.width_px = picture.info.width_px;
    placed.height_px = picture.info.height_px;
    placed.orientation = picture.info.orientation;
  }
  placed.turn_clockwise = turned;
  return placed;
}

// The device cannot carry this JPEG as it is stored, or its colours must be converted for the page: its
// pixels, decoded no larger than the page needs and turned upright, are drawn instead.
platform::DrawResult DrawDecodedPixels(const JobPages& job, const std::string& path, const LoadedPicture& picture,
                                       const Placement& placement, const imaging::colour::ConversionRef& conversion,
                                       bool stored_needs_conversion, platform::PagePicture placed) {
  const platform::RectF& dest = placement.dest;
  const bool turned = placement.turned;
  LogLine(stored_needs_conversion ? "DEBUG: The JPEG's colours are converted for the page; drawing its pixels"
                                  : "DEBUG: The JPEG cannot be placed as stored; drawing its decoded pixels");
  imaging::Bitmap upright;
  const int need_x =
      static_cast<int>(std::min<double>(std::ceil(turned ? dest.height : dest.width), picture.upright_width_px));
  const int need_y =
      static_cast<int>(std::min<double>(std::ceil(turned ? dest.width : dest.height), picture.upright_height_px));
  imaging::ColourDescription decoded_colour;
  const platform::GraphicsStatus status =
      DecodeUpright(job.graphics, path, picture.info.orientation, need_x, need_y, &upright, &decoded_colour);
  if (status != platform::GraphicsStatus::kOk) {
    LogLine("DEBUG: Failed to decode image, status=" + std::to_string(runner::GraphicsStatusNumber(status)));
    return platform::DrawResult::kFailed;
  }
  conversion->Apply(upright.rgba.data(), upright.rgba.size() / 4);
  placed.bitmap = &upright;
  placed.jpeg_path.clear();
  placed.orientation = 1;
  placed.width_px = upright.width_px;
  placed.height_px = upright.height_px;
  return job.device.DrawPicture(placed, dest);
}

// Converts the picture once into the page's space and draws it; a JPEG already in that space is placed
// as stored.
platform::DrawResult DrawPagePicture(const JobPages& job, const std::string& path, LoadedPicture& picture,
                                     const Placement& placement) {
  const imaging::colour::ConversionRef conversion = job.transforms.For(picture.colour, job.page_space.space.profile);
  if (!conversion->source_note().empty()) LogLine("INFO: " + path + ": " + conversion->source_note());
  if (picture.bitmap) conversion->Apply(picture.bitmap->rgba.data(), picture.bitmap->rgba.size() / 4);

  const platform::PagePicture placed = LoadedPlacement(picture, path, placement.turned);
  const bool stored_needs_conversion = !picture.bitmap && conversion->changes_pixels();
  const platform::DrawResult drawn =
      stored_needs_conversion ? platform::DrawResult::kNeedsPixels : job.device.DrawPicture(placed, placement.dest);
  if (drawn != platform::DrawResult::kNeedsPixels) return drawn;
  return DrawDecodedPixels(job, path, picture, placement, conversion, stored_needs_conversion, placed);
}

// Page `i` of the job: loaded to fit the printable area, then placed, drawn and ended on the device.
PageEnd PrintPage(const JobPages& job, size_t i) {
  const std::string k = std::to_string(i + 1);
  const std::string& path = job.request.image_paths[i];
  LogLine("DEBUG C++: Printing page " + k + "/" + std::to_string(job.request.image_paths.size()) + ": " + path);
  LoadedPicture picture;
  std::string reason;
  const platform::GraphicsStatus status =
      LoadPagePicture(job.graphics, path, job.geometry.printable_width_px, job.geometry.printable_height_px,
                      &picture, &reason);
  if (status != platform::GraphicsStatus::kOk) {
    LogLine("DEBUG: Failed to load image, status=" + std::to_string(runner::GraphicsStatusNumber(status)));
    LogLine("ERROR: Print photo " + std::to_string(i) + " skipped (" + path + "): " + reason);
    return PageEnd::kSkipped;
  }
  LogImageInfo(picture);

  if (base::Status page = job.device.StartPage(); !page.ok()) return AbortOnPage(job, page, "StartPage", k);
  const Placement placement = PlacePicture(picture.upright_width_px, picture.upright_height_px,
                                           picture.upright_resolution, job.geometry);
  const platform::DrawResult drawn = DrawPagePicture(job, path, picture, placement);
  LogLine(std::string("DEBUG: StretchBlt result: ") + (drawn == platform::DrawResult::kDrawn ? "SUCCESS" : "FAILED"));

  if (base::Status page = job.device.EndPage(); !page.ok()) return AbortOnPage(job, page, "EndPage", k);
  LogLine("DEBUG: Page " + k + " sent to printer successfully");
  return PageEnd::kPrinted;
}

// The pages printed, and how the page loop ended.
struct PagesPrinted {
  int printed = 0;
  LoopEnd end = LoopEnd::kFinished;
};

// Prints the pages in order until one ends the job or the application starts closing.
PagesPrinted PrintPages(const JobPages& job, const ThreadRegistry* threads) {
  PagesPrinted pages;
  const size_t count = job.request.image_paths.size();
  for (size_t i = 0; i < count; ++i) {
    if (threads != nullptr && threads->stopping()) {
      LogEndingLine("DEBUG: Print job stopped before page " + std::to_string(i + 1) +
                    ": the application is closing");
      job.device.AbortDoc();
      pages.end = LoopEnd::kFailed;
      break;
    }
    const PageEnd page = PrintPage(job, i);
    if (page == PageEnd::kPrinted) ++pages.printed;
    if (page == PageEnd::kCancelled) pages.end = LoopEnd::kCancelled;
    if (page == PageEnd::kFailed) pages.end = LoopEnd::kFailed;
    if (pages.end != LoopEnd::kFinished) break;
  }
  return pages;
}

// Ends the document after a finished page loop and logs how the job ended; a document the device will
// not end counts as failed.
LoopEnd EndJob(const JobPages& job, const JobDevice& device, const PagesPrinted& pages) {
  const std::string printed = std::to_string(pages.printed);
  if (pages.end == LoopEnd::kCancelled) {
    LogLine("DEBUG: Print job aborted (user cancelled) after " + printed + " successful pages");
    return pages.end;
  }
  if (pages.end == LoopEnd::kFailed) {
    LogLine("DEBUG: Print job aborted after " + printed + " successful pages");
    return pages.end;
  }
  const base::Status ended = job.device.EndDoc();
  LogLine("DEBUG: Print job completed with " + printed + "/" + std::to_string(job.request.image_paths.size()) +
          " pages");
  if (!device.queue_state.empty() && ended.ok()) {
    LogLine("DEBUG: The job waits in the queue of " + device.printer + " (" + device.queue_state +
            ") until it can print");
  }
  if (!ended.ok()) {
    LogLine("DEBUG: EndDoc failed, error=" + std::to_string(ended.system_error()));
    return LoopEnd::kFailed;
  }
  return pages.end;
}

}  // namespace

std::optional<PrintFailure> PrintWithLayoutWindows(const PrintJobRequest& request, platform::Spooler& spooler,
                                                   const platform::Graphics& graphics, const ThreadRegistry* threads,
                                                   const PrintColour& colour) {
  const PageSpace page_space = PageSpaceOf(colour);
  imaging::colour::ColourTransforms own_transforms(4);
  imaging::colour::ColourTransforms& transforms = colour.transforms != nullptr ? *colour.transforms : own_transforms;
  if (page_space.space.profile) {
    LogLine("DEBUG: Pages printed in " + page_space.space.profile->name() +
            (page_space.printer_numbers ? " (the printer's own colours, already managed)" : ""));
  }
  JobDevice job = OpenJobDevice(request, spooler, page_space.printer_numbers);
  if (!job.device) return PrintFailure::kNoDevice;

  const platform::DeviceGeometry geometry = job.device->Geometry();
  LogDeviceGeometry(geometry);
  if (geometry.printable_width_px <= 0 || geometry.printable_height_px <= 0) {
    LogLine("DEBUG: StartDoc failed, error=0");
    return PrintFailure::kDocumentNotStarted;
  }
  if (const base::StatusOr<int> started = job.device->StartDoc(request.document_name); !started.ok()) {
    LogLine("DEBUG: StartDoc failed, error=" + std::to_string(started.status().system_error()));
    return PrintFailure::kDocumentNotStarted;
  }

  const JobPages pages{request, graphics, *job.device, geometry, page_space, transforms};
  const PagesPrinted printed = PrintPages(pages, threads);
  const LoopEnd end = EndJob(pages, job, printed);
  job.device.reset();
  if (printed.printed > 0 && end != LoopEnd::kFailed) return std::nullopt;
  return PrintFailure::kNoPagePrinted;
}

bool PrintFileOnPrinter(platform::Spooler& spooler, const platform::Graphics& graphics, const ThreadRegistry* threads,
                        const std::string& path, const std::string& printer, int32_t copies,
                        const PrintColour& colour) {
  PrintJobRequest request;
  request.image_paths = {path};
  request.copies = copies;
  const size_t slash = path.rfind('/');
  request.document_name = slash == std::string::npos ? path : path.substr(slash + 1);
  request.make_default = false;
  if (!printer.empty() && spooler.HasPrinter(printer)) request.printer_name = printer;
  return !PrintWithLayoutWindows(request, spooler, graphics, threads, colour);
}

}  // namespace runner::printing
