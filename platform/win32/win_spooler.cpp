// WinSpooler: printers, papers and settings through winspool; jobs through GDI.
#include "platform/win32/win_spooler.h"

#include "platform/win32/windows_api.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <mutex>
#include <string>

#include "platform/paper/paper_numbers.h"
#include "platform/win32/devmode.h"
#include "platform/win32/gdi_print_device.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

using win32::DevMode;
using win32::PrinterHandle;

base::Status NoPrinter(const std::string& name) {
  return base::Status::NotFound("no printer " + name).WithSystemError(ENOENT);
}

// What the spooler call `what` that just failed said, its error number kept for the log.
base::Status SpoolerFailure(const std::string& what) {
  DWORD code = ::GetLastError();
  if (code == 0) code = ERROR_INVALID_HANDLE;  // a call that failed without saying why still failed
  const base::Status::Code kind = code == ERROR_INVALID_PRINTER_NAME ? base::Status::Code::kNotFound
                                  : code == ERROR_ACCESS_DENIED     ? base::Status::Code::kAccessDenied
                                                                    : base::Status::Code::kUnavailable;
  return base::Status(kind, what + " failed (Windows error " + std::to_string(code) + ")")
      .WithSystemError(static_cast<int>(code));
}

std::optional<std::wstring> PrinterName(const std::string& name) {
  std::optional<std::wstring> wide = win32::Widen(name);
  if (!wide || wide->empty()) return std::nullopt;
  return wide;
}

// One DeviceCapabilitiesW array: `count` entries of `unit` elements of T.
template <typename T>
std::vector<T> Capability(const std::wstring& name, WORD which, int count, size_t unit = 1) {
  std::vector<T> values(static_cast<size_t>(count) * unit + unit);
  const int got = ::DeviceCapabilitiesW(name.c_str(), nullptr, which, reinterpret_cast<wchar_t*>(values.data()), nullptr);
  if (got != count) return {};
  values.resize(static_cast<size_t>(count) * unit);
  return values;
}

// Hundredths of a millimetre of `px` device pixels at `dpi`.
int32_t HundredthsMm(int px, int dpi) {
  return dpi > 0 ? static_cast<int32_t>(std::lround(px * 2540.0 / dpi)) : 0;
}

// What the driver cannot print on for `paper_id`, from the printable area of an information context made
// with the record set to that paper, portrait. False when the driver makes none.
bool FillMargins(const std::wstring& name, const DevMode& base, Paper* paper) {
  DevMode mode = base;
  if (mode.get() == nullptr) return false;
  PrintSettings settings;
  settings.fields = kFieldPaperSize | kFieldOrientation;
  settings.paper_id = paper->id;
  settings.orientation = kOrientationPortrait;
  win32::ApplySettings(settings, mode.get());
  const HDC ic = ::CreateICW(L"WINSPOOL", name.c_str(), nullptr, mode.get());
  if (ic == nullptr) return false;
  const int dpi_x = ::GetDeviceCaps(ic, LOGPIXELSX);
  const int dpi_y = ::GetDeviceCaps(ic, LOGPIXELSY);
  const int left = ::GetDeviceCaps(ic, PHYSICALOFFSETX);
  const int top = ::GetDeviceCaps(ic, PHYSICALOFFSETY);
  const int right = ::GetDeviceCaps(ic, PHYSICALWIDTH) - left - ::GetDeviceCaps(ic, HORZRES);
  const int bottom = ::GetDeviceCaps(ic, PHYSICALHEIGHT) - top - ::GetDeviceCaps(ic, VERTRES);
  ::DeleteDC(ic);
  paper->margin_left_hundredths_mm = HundredthsMm(std::max(left, 0), dpi_x);
  paper->margin_top_hundredths_mm = HundredthsMm(std::max(top, 0), dpi_y);
  paper->margin_right_hundredths_mm = HundredthsMm(std::max(right, 0), dpi_x);
  paper->margin_bottom_hundredths_mm = HundredthsMm(std::max(bottom, 0), dpi_y);
  return true;
}

// Storing the user's record is read, merge, write: two at once would lose one's changes.
std::mutex& StoredSettingsLock() {
  static std::mutex lock;
  return lock;
}

bool LabelSaysBorderless(std::string label) {
  std::transform(label.begin(), label.end(), label.begin(), [](unsigned char c) { return std::tolower(c); });
  return IsBorderlessMedia(label);
}

}  // namespace

WinSpooler::WinSpooler() : active_(std::make_shared<ActiveJobs>()) {}

WinSpooler::~WinSpooler() = default;

std::vector<PrinterSummary> WinSpooler::Printers() {
  constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  DWORD bytes = 0;
  DWORD count = 0;
  ::EnumPrintersW(kFlags, nullptr, 2, nullptr, 0, &bytes, &count);
  std::vector<PrinterSummary> printers;
  if (bytes == 0) return printers;
  // The list may grow between the two calls: ask again with the larger size a few times.
  std::vector<uint64_t> buffer;
  for (int attempt = 0; attempt < 4; ++attempt) {
    buffer.assign(bytes / sizeof(uint64_t) + 1, 0);
    if (::EnumPrintersW(kFlags, nullptr, 2, reinterpret_cast<BYTE*>(buffer.data()),
                        static_cast<DWORD>(buffer.size() * sizeof(uint64_t)), &bytes, &count)) {
      const auto* records = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
      for (DWORD i = 0; i < count; ++i) {
        if (records[i].pPrinterName == nullptr) continue;
        PrinterSummary summary;
        summary.name = win32::Narrow(records[i].pPrinterName);
        summary.comment = records[i].pComment ? win32::Narrow(records[i].pComment) : "";
        summary.offline = (records[i].Status & PRINTER_STATUS_OFFLINE) != 0;
        printers.push_back(std::move(summary));
      }
      return printers;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
  }
  return printers;
}

std::optional<std::string> WinSpooler::DefaultPrinter() {
  DWORD units = 0;
  ::GetDefaultPrinterW(nullptr, &units);
  if (units == 0) return std::nullopt;
  std::wstring name(units, L'\0');
  if (!::GetDefaultPrinterW(name.data(), &units)) return std::nullopt;
  name.resize(wcsnlen(name.c_str(), name.size()));
  if (name.empty() || !PrinterHandle(name)) return std::nullopt;
  return win32::Narrow(name);
}

base::Status WinSpooler::SetDefaultPrinter(const std::string& name) {
  const std::optional<std::wstring> wide = PrinterName(name);
  if (!wide || !PrinterHandle(*wide)) return NoPrinter(name);
  if (!::SetDefaultPrinterW(wide->c_str())) return SpoolerFailure("SetDefaultPrinterW " + name);
  const std::optional<std::string> now = DefaultPrinter();
  if (now && *win32::Widen(*now) == *wide) return base::Status::Ok();
  return base::Status::AccessDenied(name + " did not become the default printer");
}

bool WinSpooler::HasPrinter(const std::string& name) {
  const std::optional<std::wstring> wide = PrinterName(name);
  return wide && PrinterHandle(*wide);
}

std::optional<std::vector<Paper>> WinSpooler::Papers(const std::string& name) {
  const std::optional<std::wstring> wide = PrinterName(name);
  if (!wide) return std::nullopt;
  const PrinterHandle printer(*wide);
  if (!printer) return std::nullopt;
  const int count = ::DeviceCapabilitiesW(wide->c_str(), nullptr, DC_PAPERS, nullptr, nullptr);
  std::vector<Paper> papers;
  if (count <= 0) return papers;
  // One snapshot: the three arrays must agree in length, or the list is read again once.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const std::vector<WORD> ids = Capability<WORD>(*wide, DC_PAPERS, count);
    const std::vector<wchar_t> names = Capability<wchar_t>(*wide, DC_PAPERNAMES, count, 64);
    const std::vector<POINT> sizes = Capability<POINT>(*wide, DC_PAPERSIZE, count);
    if (ids.empty() || names.empty() || sizes.empty()) continue;
    const std::optional<DevMode> base = win32::CurrentDevMode(printer.get(), *wide);
    for (int i = 0; i < count; ++i) {
      Paper paper;
      paper.id = ids[static_cast<size_t>(i)];
      if (paper.id == 0) continue;
      paper.label = TruncateToUtf16Units(win32::NarrowField(&names[static_cast<size_t>(i) * 64], 64), kPaperLabelMaxUtf16);
      paper.width_tenths_mm = sizes[static_cast<size_t>(i)].x;
      paper.height_tenths_mm = sizes[static_cast<size_t>(i)].y;
      paper.borderless = LabelSaysBorderless(paper.label);
      if (base) FillMargins(*wide, *base, &paper);
      papers.push_back(std::move(paper));
    }
    return papers;
  }
  return std::nullopt;
}

std::optional<PrintSettings> WinSpooler::CurrentSettings(const std::string& name) {
  const std::optional<std::wstring> wide = PrinterName(name);
  if (!wide) return std::nullopt;
  const PrinterHandle printer(*wide);
  if (!printer) return std::nullopt;
  const std::optional<DevMode> mode = win32::CurrentDevMode(printer.get(), *wide);
  if (!mode) return std::nullopt;
  return win32::SettingsFromDevMode(*mode->get());
}

base::Status WinSpooler::ValidateSettings(const std::string& name, PrintSettings* settings) {
  const std::optional<std::wstring> wide = PrinterName(name);
  if (!wide) return NoPrinter(name);
  const PrinterHandle printer(*wide);
  if (!printer) return NoPrinter(name);
  if ((settings->fields & kFieldPaperSize) != 0) {
    // A driver merges an unknown paper number silently into its default: refuse it here instead. Drivers
    // number their own papers from 256 up, so 256 is one of the driver's papers when it lists it, and a
    // size stated in the record only when it does not.
    const int count = ::DeviceCapabilitiesW(wide->c_str(), nullptr, DC_PAPERS, nullptr, nullptr);
    const std::vector<WORD> ids = count > 0 ? Capability<WORD>(*wide, DC_PAPERS, count) : std::vector<WORD>();
    const bool listed = std::find(ids.begin(), ids.end(), settings->paper_id) != ids.end();
    const bool stated_size = settings->paper_id == kPaperUser && (settings->fields & kFieldPaperWidth) &&
                             (settings->fields & kFieldPaperLength) && settings->paper_width_tenths_mm > 0 &&
                             settings->paper_length_tenths_mm > 0;
    if (!listed && !stated_size) return base::Status::Unsupported(name + " lists no such paper");
  }
  const std::optional<DevMode> base = win32::CurrentDevMode(printer.get(), *wide);
  if (!base) return base::Status::Unavailable(name + ": the printer's settings could not be read");
  const std::optional<DevMode> merged = win32::MergedDevMode(printer.get(), *wide, *base, *settings);
  if (!merged) return base::Status::Unsupported(name + ": the driver refused the settings");
  *settings = win32::SettingsFromDevMode(*merged->get());
  return base::Status::Ok();
}

base::Status WinSpooler::StoreSettings(const std::string& name, const PrintSettings& settings) {
  const std::optional<std::wstring> wide = PrinterName(name);
  if (!wide) return NoPrinter(name);
  const PrinterHandle printer(*wide);
  if (!printer) return NoPrinter(name);
  std::lock_guard lock(StoredSettingsLock());
  const std::optional<DevMode> base = win32::CurrentDevMode(printer.get(), *wide);
  if (!base) return base::Status::IoError(name + ": the printer's settings could not be read").WithSystemError(EIO);
  std::optional<DevMode> merged = win32::MergedDevMode(printer.get(), *wide, *base, settings);
  if (!merged) return base::Status::InvalidArgument(name + ": the driver refused the settings").WithSystemError(EINVAL);
  // The user's own record for this printer (level 9 needs no administrator's rights, unlike level 2).
  PRINTER_INFO_9W info{merged->get()};
  if (!::SetPrinterW(printer.get(), 9, reinterpret_cast<BYTE*>(&info), 0)) {
    return base::Status::AccessDenied(name + ": the spooler refused to store the settings").WithSystemError(EACCES);
  }
  return base::Status::Ok();
}

base::StatusOr<std::unique_ptr<PrintDevice>> WinSpooler::OpenDevice(const std::string& name,
                                                                    const PrintSettings& settings) {
  const std::optional<std::wstring> wide = PrinterName(name);
  if (!wide) {
    return base::Status::NotFound("no printer named " + name).WithSystemError(ERROR_INVALID_PRINTER_NAME);
  }
  std::optional<DevMode> mode;
  {
    const PrinterHandle printer(*wide);
    if (!printer) {
      const DWORD code = ::GetLastError();
      const base::Status::Code kind = code == ERROR_ACCESS_DENIED ? base::Status::Code::kAccessDenied
                                                                  : base::Status::Code::kNotFound;
      return base::Status(kind, "OpenPrinterW " + name + " failed (Windows error " + std::to_string(code) + ")")
          .WithSystemError(static_cast<int>(code));
    }
    const std::optional<DevMode> base = win32::CurrentDevMode(printer.get(), *wide);
    if (base) mode = win32::MergedDevMode(printer.get(), *wide, *base, settings);
    if (!mode) mode = base;
  }
  // The job's record always goes to CreateDCW: the device context must not take whatever the printer's
  // record was changed to in the meantime.
  const HDC dc = ::CreateDCW(L"WINSPOOL", wide->c_str(), nullptr, mode ? mode->get() : nullptr);
  if (dc == nullptr) return SpoolerFailure("CreateDCW " + name);
  std::string paper_name = mode ? win32::NarrowField(mode->get()->dmFormName, CCHFORMNAME) : std::string();
  return win32::OpenGdiPrintDevice(*wide, dc, std::move(paper_name), active_);
}

void WinSpooler::CancelActiveJobs() {
  for (const auto& [printer_name, job] : active_->CancelAll()) {
    const PrinterHandle printer(printer_name);
    if (printer) ::SetJobW(printer.get(), job, 0, nullptr, JOB_CONTROL_CANCEL);
  }
}

}  // namespace platform
