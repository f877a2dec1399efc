// Settings records: public fields to PrintSettings and back; fetching and merging through the driver.
#include "platform/win32/devmode.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/win32/wide_text.h"

namespace platform::win32 {
namespace {

// The flags PrintSettings carries; they are the system's own DM_ values.
constexpr uint32_t kKnownFields = kFieldOrientation | kFieldPaperSize | kFieldPaperLength | kFieldPaperWidth |
                                  kFieldCopies | kFieldPrintQuality | kFieldColor | kFieldYResolution |
                                  kFieldFormName;
static_assert(kFieldOrientation == DM_ORIENTATION && kFieldPaperSize == DM_PAPERSIZE &&
              kFieldPaperLength == DM_PAPERLENGTH && kFieldPaperWidth == DM_PAPERWIDTH && kFieldCopies == DM_COPIES &&
              kFieldPrintQuality == DM_PRINTQUALITY && kFieldColor == DM_COLOR &&
              kFieldYResolution == DM_YRESOLUTION && kFieldFormName == DM_FORMNAME);

}  // namespace

std::vector<uint8_t> DevMode::Bytes() const {
  const DEVMODEW* mode = get();
  if (mode == nullptr) return {};
  const size_t stated = std::min<size_t>(static_cast<size_t>(mode->dmSize) + mode->dmDriverExtra, bytes_);
  const auto* first = reinterpret_cast<const uint8_t*>(storage_.data());
  return std::vector<uint8_t>(first, first + stated);
}

PrintSettings SettingsFromDevMode(const DEVMODEW& mode) {
  PrintSettings settings;
  settings.fields = mode.dmFields & kKnownFields;
  settings.orientation = mode.dmOrientation;
  settings.paper_id = static_cast<uint16_t>(mode.dmPaperSize);
  settings.paper_length_tenths_mm = mode.dmPaperLength;
  settings.paper_width_tenths_mm = mode.dmPaperWidth;
  settings.copies = mode.dmCopies;
  settings.print_quality_dpi = mode.dmPrintQuality;
  settings.color = mode.dmColor;
  settings.y_resolution_dpi = mode.dmYResolution;
  settings.form_name = NarrowField(mode.dmFormName, CCHFORMNAME);
  return settings;
}

void ApplySettings(const PrintSettings& settings, DEVMODEW* mode) {
  const uint32_t fields = settings.fields & kKnownFields;
  if (fields & kFieldOrientation) mode->dmOrientation = settings.orientation;
  if (fields & kFieldPaperSize) {
    mode->dmPaperSize = static_cast<short>(settings.paper_id);
    if (settings.paper_id != kPaperUser) mode->dmFields &= ~static_cast<DWORD>(DM_PAPERLENGTH | DM_PAPERWIDTH);
    if ((fields & kFieldFormName) == 0) {
      // The old form name would name the old paper.
      mode->dmFields &= ~static_cast<DWORD>(DM_FORMNAME);
      std::fill(std::begin(mode->dmFormName), std::end(mode->dmFormName), L'\0');
    }
  }
  if (fields & kFieldPaperLength) mode->dmPaperLength = settings.paper_length_tenths_mm;
  if (fields & kFieldPaperWidth) mode->dmPaperWidth = settings.paper_width_tenths_mm;
  if (fields & kFieldCopies) mode->dmCopies = settings.copies;
  if (fields & kFieldPrintQuality) mode->dmPrintQuality = settings.print_quality_dpi;
  if (fields & kFieldColor) mode->dmColor = settings.color;
  if (fields & kFieldYResolution) mode->dmYResolution = settings.y_resolution_dpi;
  if (fields & kFieldFormName) {
    std::fill(std::begin(mode->dmFormName), std::end(mode->dmFormName), L'\0');
    const std::wstring name = Widen(settings.form_name).value_or(L"");
    std::copy_n(name.begin(), std::min<size_t>(name.size(), CCHFORMNAME - 1), mode->dmFormName);
  }
  mode->dmFields |= fields;
}

size_t PublicBytesOf(std::span<const uint8_t> record) {
  if (record.size() < offsetof(DEVMODEW, dmSize) + sizeof(WORD)) return 0;
  WORD stated = 0;
  std::memcpy(&stated, record.data() + offsetof(DEVMODEW, dmSize), sizeof stated);
  return std::min({record.size(), sizeof(DEVMODEW), static_cast<size_t>(stated)});
}

DEVMODEW PublicPartOf(std::span<const uint8_t> record) {
  DEVMODEW mode{};
  const size_t readable = PublicBytesOf(record);
  if (readable > 0) std::memcpy(&mode, record.data(), readable);
  const std::pair<DWORD, size_t> ends[] = {
      {DM_ORIENTATION, offsetof(DEVMODEW, dmOrientation) + 2}, {DM_PAPERSIZE, offsetof(DEVMODEW, dmPaperSize) + 2},
      {DM_PAPERLENGTH, offsetof(DEVMODEW, dmPaperLength) + 2}, {DM_PAPERWIDTH, offsetof(DEVMODEW, dmPaperWidth) + 2},
      {DM_COPIES, offsetof(DEVMODEW, dmCopies) + 2},           {DM_PRINTQUALITY, offsetof(DEVMODEW, dmPrintQuality) + 2},
      {DM_COLOR, offsetof(DEVMODEW, dmColor) + 2},             {DM_YRESOLUTION, offsetof(DEVMODEW, dmYResolution) + 2},
      {DM_FORMNAME, offsetof(DEVMODEW, dmFormName) + sizeof mode.dmFormName}};
  if (readable < offsetof(DEVMODEW, dmFields) + sizeof(DWORD)) mode.dmFields = 0;
  for (const auto& [flag, end] : ends) {
    if (readable < end) mode.dmFields &= ~flag;
  }
  return mode;
}

std::optional<DevMode> CurrentDevMode(HANDLE printer, const std::wstring& name) {
  auto* device = const_cast<wchar_t*>(name.c_str());
  const LONG bytes = ::DocumentPropertiesW(nullptr, printer, device, nullptr, nullptr, 0);
  if (bytes < static_cast<LONG>(sizeof(DEVMODEW))) return std::nullopt;
  DevMode mode(static_cast<size_t>(bytes));
  if (::DocumentPropertiesW(nullptr, printer, device, mode.get(), nullptr, DM_OUT_BUFFER) != IDOK) return std::nullopt;
  return mode;
}

std::optional<DevMode> MergedDevMode(HANDLE printer, const std::wstring& name, const DevMode& base,
                                     const PrintSettings& settings) {
  DevMode input = base;
  if (input.get() == nullptr) return std::nullopt;
  ApplySettings(settings, input.get());
  DevMode output(base.size());
  auto* device = const_cast<wchar_t*>(name.c_str());
  if (::DocumentPropertiesW(nullptr, printer, device, output.get(), input.get(), DM_IN_BUFFER | DM_OUT_BUFFER) != IDOK) {
    return std::nullopt;
  }
  return output;
}

}  // namespace platform::win32
