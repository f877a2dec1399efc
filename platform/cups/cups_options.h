// Conversions between CUPS options and the public settings of a printer, without libcups: which of a
// destination's options are the user's settings, how they map onto the record's public fields, and the
// options a job or a stored setting carries.
//
// Mappings: orientation-requested 3/6 -> portrait, 4/5 -> landscape and copies -> copies (read only:
// what is stored never carries them, a job states its own); print-color-mode monochrome/color <-> 1/2;
// printer-resolution "XxYdpi" or "Xdpi" <-> quality and y resolution; media <-> the paper (through the
// printer's media list).
// Pure functions, thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/spooler.h"

namespace platform {

using CupsOptions = std::vector<std::pair<std::string, std::string>>;

// One paper of a printer with its media name.
struct CupsMedia {
  std::string keyword;  // as the printer names it (perhaps a borderless variant)
  Paper paper;
};

// True for options the user sets (media, quality, driver options), false for the printer's own state and
// description attributes that a destination also carries (printer-info, printer-state, marker-..., ...).
bool IsUserOption(std::string_view name);

// The settings the options describe. The paper comes from `media` through `list`; a media name the
// printer does not list leaves the paper unstated. Options stay in `options` (user options only).
PrintSettings SettingsFromOptions(const CupsOptions& options, std::string_view media, const std::vector<CupsMedia>& list);

// The media name for the paper the settings state: the listed paper of that number, for a user-defined
// paper `custom_WxHmm_WxHmm` (tenths, as millimetres with one decimal where needed); empty when the
// settings state no paper or a number the printer does not list.
std::string MediaForSettings(const PrintSettings& settings, const std::vector<CupsMedia>& list);

// The name of a user-defined paper of width x length tenths of a millimetre.
std::string CustomMediaName(int width_tenths_mm, int length_tenths_mm);

// What storing `settings` writes into the user's settings for the printer: the user options that are not
// job layout options, with the public colour and resolution written over them and media set to `media`
// when not empty. Never orientation or copies (another program's job would inherit them).
CupsOptions StoredOptions(const PrintSettings& settings, const std::string& media);

// The options of a job: the stored options without any job layout option, then media, the copies and
// Pictavera's own layout: one page per sheet (number-up=1), no scaling (print-scaling=none,
// fit-to-page=false: sizes must print exactly), no mirroring, every page, one-sided, and
// orientation-requested=3 (the pages are already laid out as they print).
CupsOptions JobOptions(const PrintSettings& settings, const std::string& media);

// How a job's pages are sent to a queue: one PDF document, one JPEG per page (each page a job of its own:
// a driverless printer keeps only the first document of a job), or one PWG raster document.
enum class PageFormat { kPdf, kJpeg, kPwgRaster };

// The format for a queue that takes `supported` (its document-format-supported): PDF where it is listed,
// else JPEG (which every driverless printer takes), else PWG raster; PDF when it lists none of them.
PageFormat ChooseDocumentFormat(const std::vector<std::string>& supported);

// The resolution of pages sent as pictures, dots per inch: of the queue's `supported` resolutions (its
// pwg-raster-document-resolution-supported; empty for JPEG), the lowest at or above 300, else the
// highest; 300 when none is listed. 300 dpi is as fine as a photo printer's pictures need.
int ChooseRasterDpi(const std::vector<int>& supported);

// Whether a queue can print now, from its destination options (printer-state, printer-is-accepting-jobs,
// printer-state-reasons, printer-state-message): offline when it is stopped (state 5), refuses new jobs,
// or a state reason says it is offline. `text` names what is wrong, e.g. "stopped (paused), not accepting
// jobs"; empty when nothing is.
struct QueueState {
  bool offline = false;
  std::string text;
};
QueueState ReadQueueState(const CupsOptions& options);

// The printer the user's settings file names as the saved default ("Default NAME" or
// "Default NAME/INSTANCE", the last such line); nothing when it names none. `instance` is empty for none.
struct SavedDefault {
  std::string name;
  std::string instance;
};
std::optional<SavedDefault> SavedDefaultPrinter(std::string_view lpoptions_text);

}  // namespace platform
