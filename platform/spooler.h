// Spooler: the machine's printers, the user's default printer, each printer's papers and the user's
// settings for each printer, and the page device that prints on one of them.
//
// Printer names are UTF-8 exactly as the spooler reports them. Paper sizes are tenths of a millimetre,
// width and height as the printer names them (portrait papers are narrower than tall). Paper numbers are
// the standard ones of platform/paper/paper_numbers.h. Nothing third-party crosses this interface: a
// failure is a base::Status (kNotFound for a printer that cannot be opened), with the system's number
// (an errno value, or the spooler's own status) as its `system_error()` for the log lines that print it.
// Thread safety: every method may be called from any thread at once; an adapter serialises its own
// reads and writes of the user's stored settings.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/status.h"
#include "platform/print_device.h"

namespace platform {

struct PrinterSummary {
  std::string name;
  std::string comment;   // the printer's description; empty when it has none
  bool offline = false;  // the printer cannot print now: unreachable, stopped, or not taking jobs
  std::string state = {};  // why, as the spooler says it, for log lines ("stopped"); empty when ready
};

struct Paper {
  uint16_t id = 0;      // standard paper number, or a derived one above 256 (never 0)
  std::string label;    // UTF-8, at most 64 UTF-16 units; empty when the printer names none
  int32_t width_tenths_mm = 0;
  int32_t height_tenths_mm = 0;
  // What the printer cannot print on, from each edge of the paper as the printer names it (portrait).
  int32_t margin_left_hundredths_mm = 0;
  int32_t margin_top_hundredths_mm = 0;
  int32_t margin_right_hundredths_mm = 0;
  int32_t margin_bottom_hundredths_mm = 0;
  bool borderless = false;  // a borderless variant of another listed paper, with a number of its own
};

// The "fields" flags of PrintSettings: which public values are stated.
inline constexpr uint32_t kFieldOrientation = 0x1;
inline constexpr uint32_t kFieldPaperSize = 0x2;
inline constexpr uint32_t kFieldPaperLength = 0x4;
inline constexpr uint32_t kFieldPaperWidth = 0x8;
inline constexpr uint32_t kFieldCopies = 0x100;
inline constexpr uint32_t kFieldPrintQuality = 0x400;
inline constexpr uint32_t kFieldColor = 0x800;
inline constexpr uint32_t kFieldYResolution = 0x2000;
inline constexpr uint32_t kFieldFormName = 0x10000;

inline constexpr int16_t kOrientationPortrait = 1;
inline constexpr int16_t kOrientationLandscape = 2;
inline constexpr int16_t kColorMonochrome = 1;
inline constexpr int16_t kColorColor = 2;
inline constexpr uint16_t kPaperUser = 256;  // a paper of the size stated in the width and length fields

// One printer's settings: the public values every printer shares (a value counts only when its flag is
// in `fields`) and the printer's own options (name, value), which the public values override when they
// disagree.
struct PrintSettings {
  uint32_t fields = 0;
  int16_t orientation = kOrientationPortrait;
  uint16_t paper_id = 0;
  int16_t paper_length_tenths_mm = 0;
  int16_t paper_width_tenths_mm = 0;
  int16_t copies = 1;
  int16_t print_quality_dpi = 0;
  int16_t color = 0;
  int16_t y_resolution_dpi = 0;
  std::string form_name;  // the paper's label, UTF-8
  std::vector<std::pair<std::string, std::string>> options;

  friend bool operator==(const PrintSettings&, const PrintSettings&) = default;
};

// True for the printer options that decide how a job's pages are laid out on the paper (orientation,
// copies, n-up, scaling, fitting, position, mirroring, borders, page selection, sides): Pictavera's jobs
// set these themselves and never store them in the user's settings.
bool IsJobLayoutOption(std::string_view name);

// True for the printer options that choose colour or grey (the settings' colour field says it instead).
bool IsColourModeOption(std::string_view name);

class Spooler {
 public:
  virtual ~Spooler() = default;

  // Every printer, in the spooler's order. Empty when there are none or the spooler cannot be reached.
  virtual std::vector<PrinterSummary> Printers() = 0;

  // The user's default printer; nothing when there is none (or it names a printer that does not exist).
  virtual std::optional<std::string> DefaultPrinter() = 0;

  // Makes `name` the user's default printer. Ok only when the default now really is that printer.
  virtual base::Status SetDefaultPrinter(const std::string& name) = 0;

  // True when a printer of that name can be opened.
  virtual bool HasPrinter(const std::string& name) = 0;

  // The printer's papers, one consistent snapshot, in the printer's order (empty when it lists none);
  // nothing when the printer cannot be opened.
  virtual std::optional<std::vector<Paper>> Papers(const std::string& name) = 0;

  // The settings a job on this printer starts from: the printer's defaults with the user's stored
  // settings over them. Nothing when the printer cannot be opened or does not answer.
  virtual std::optional<PrintSettings> CurrentSettings(const std::string& name) = 0;

  // Checks `*settings` against what the printer can do and completes it (the printer's own option for the
  // chosen paper). Ok when the printer takes them; a failure (kNotFound: no such printer, kUnsupported:
  // settings it cannot print with) leaves `*settings` unspecified.
  virtual base::Status ValidateSettings(const std::string& name, PrintSettings* settings) = 0;

  // Stores `settings` as the user's settings for this printer. A failure always carries an errno value as
  // its `system_error()` (ENOENT: no such printer), which the settings dialog reports.
  virtual base::Status StoreSettings(const std::string& name, const PrintSettings& settings) = 0;

  // A page device for one job on this printer with `settings`, owned by the caller; a failure when the
  // printer cannot be opened (never a null device).
  virtual base::StatusOr<std::unique_ptr<PrintDevice>> OpenDevice(const std::string& name,
                                                                  const PrintSettings& settings) = 0;

  // The application is closing for good: cancels every job its devices started and did not finish, from
  // outside those jobs (a device stuck sending a page is not waited for). Their pages then fail.
  virtual void CancelActiveJobs() = 0;
};

}  // namespace platform
