// Conversions between CUPS options and public printer settings.
#include "platform/cups/cups_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <initializer_list>

namespace platform {
namespace {

const std::string* Find(const CupsOptions& options, std::string_view name) {
  for (const auto& [key, value] : options) {
    if (key == name) return &value;
  }
  return nullptr;
}

void Set(CupsOptions& options, const std::string& name, const std::string& value) {
  for (auto& [key, existing] : options) {
    if (key == name) {
      existing = value;
      return;
    }
  }
  options.emplace_back(name, value);
}

bool ParseInt(std::string_view text, int* value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size();
}

// "600dpi", "600x300dpi".
bool ParseResolution(std::string_view text, int* x, int* y) {
  if (text.size() < 4 || text.substr(text.size() - 3) != "dpi") return false;
  text.remove_suffix(3);
  const size_t cross = text.find('x');
  if (cross == std::string_view::npos) return ParseInt(text, x) && ParseInt(text, y);
  return ParseInt(text.substr(0, cross), x) && ParseInt(text.substr(cross + 1), y);
}

std::string Millimetres(int tenths) {
  char text[32];
  if (tenths % 10 == 0) {
    std::snprintf(text, sizeof text, "%d", tenths / 10);
  } else {
    std::snprintf(text, sizeof text, "%d.%d", tenths / 10, tenths % 10);
  }
  return text;
}

}  // namespace

bool IsUserOption(std::string_view name) {
  if (name == "printer-resolution") return true;
  for (const std::string_view prefix : {"printer-", "marker-", "member-"}) {
    if (name.substr(0, prefix.size()) == prefix) return false;
  }
  // The scheduler's defaults for job handling, not settings of the paper or the print.
  for (const std::string_view exact : {"device-uri", "auth-info-required", "job-sheets", "copies-default",
                                       "document-format", "job-cancel-after", "job-hold-until", "job-priority",
                                       "job-uuid"}) {
    if (name == exact) return false;
  }
  return !name.empty();
}

PrintSettings SettingsFromOptions(const CupsOptions& options, std::string_view media, const std::vector<CupsMedia>& list) {
  PrintSettings settings;
  for (const auto& [name, value] : options) {
    if (IsUserOption(name)) settings.options.emplace_back(name, value);
  }
  settings.fields |= kFieldCopies | kFieldOrientation;
  settings.copies = 1;
  settings.orientation = kOrientationPortrait;
  int number = 0;
  if (const std::string* copies = Find(options, "copies"); copies && ParseInt(*copies, &number) && number > 0) {
    settings.copies = static_cast<int16_t>(number > 32767 ? 32767 : number);
  }
  if (const std::string* orientation = Find(options, "orientation-requested");
      orientation && ParseInt(*orientation, &number) && (number == 4 || number == 5)) {
    settings.orientation = kOrientationLandscape;
  }
  if (const std::string* color = Find(options, "print-color-mode")) {
    if (*color == "monochrome") {
      settings.fields |= kFieldColor;
      settings.color = kColorMonochrome;
    } else if (*color == "color") {
      settings.fields |= kFieldColor;
      settings.color = kColorColor;
    }
  }
  int x = 0;
  int y = 0;
  if (const std::string* resolution = Find(options, "printer-resolution");
      resolution && ParseResolution(*resolution, &x, &y) && x > 0 && y > 0 && x <= 32767 && y <= 32767) {
    settings.fields |= kFieldPrintQuality | kFieldYResolution;
    settings.print_quality_dpi = static_cast<int16_t>(x);
    settings.y_resolution_dpi = static_cast<int16_t>(y);
  }
  for (const CupsMedia& entry : list) {
    if (entry.keyword != media) continue;
    settings.fields |= kFieldPaperSize | kFieldFormName;
    settings.paper_id = entry.paper.id;
    settings.form_name = entry.paper.label;
    if (entry.paper.width_tenths_mm > 0 && entry.paper.width_tenths_mm <= 32767 && entry.paper.height_tenths_mm > 0 &&
        entry.paper.height_tenths_mm <= 32767) {
      settings.fields |= kFieldPaperWidth | kFieldPaperLength;
      settings.paper_width_tenths_mm = static_cast<int16_t>(entry.paper.width_tenths_mm);
      settings.paper_length_tenths_mm = static_cast<int16_t>(entry.paper.height_tenths_mm);
    }
    break;
  }
  return settings;
}

std::string CustomMediaName(int width_tenths_mm, int length_tenths_mm) {
  const std::string size = Millimetres(width_tenths_mm) + "x" + Millimetres(length_tenths_mm) + "mm";
  return "custom_" + size + "_" + size;
}

std::string MediaForSettings(const PrintSettings& settings, const std::vector<CupsMedia>& list) {
  if (!(settings.fields & kFieldPaperSize)) return {};
  if (settings.paper_id == kPaperUser) {
    if (settings.paper_width_tenths_mm <= 0 || settings.paper_length_tenths_mm <= 0) return {};
    return CustomMediaName(settings.paper_width_tenths_mm, settings.paper_length_tenths_mm);
  }
  for (const CupsMedia& entry : list) {
    if (entry.paper.id == settings.paper_id) return entry.keyword;
  }
  return {};
}

CupsOptions StoredOptions(const PrintSettings& settings, const std::string& media) {
  CupsOptions options;
  for (const auto& [name, value] : settings.options) {
    if (IsUserOption(name) && !IsJobLayoutOption(name)) Set(options, name, value);
  }
  if (!media.empty()) Set(options, "media", media);
  if (settings.fields & kFieldColor) {
    if (settings.color == kColorMonochrome) Set(options, "print-color-mode", "monochrome");
    if (settings.color == kColorColor) Set(options, "print-color-mode", "color");
  }
  if ((settings.fields & kFieldPrintQuality) && settings.print_quality_dpi > 0) {
    const int y = (settings.fields & kFieldYResolution) && settings.y_resolution_dpi > 0 ? settings.y_resolution_dpi
                                                                                          : settings.print_quality_dpi;
    Set(options, "printer-resolution",
        y == settings.print_quality_dpi ? std::to_string(y) + "dpi"
                                        : std::to_string(settings.print_quality_dpi) + "x" + std::to_string(y) + "dpi");
  }
  return options;
}

CupsOptions JobOptions(const PrintSettings& settings, const std::string& media) {
  CupsOptions options = StoredOptions(settings, media);
  const int copies = (settings.fields & kFieldCopies) && settings.copies > 0 ? settings.copies : 1;
  Set(options, "copies", std::to_string(copies));
  for (const auto& [name, value] : std::initializer_list<std::pair<const char*, const char*>>{
           {"number-up", "1"}, {"print-scaling", "none"}, {"fit-to-page", "false"}, {"mirror", "false"},
           {"page-set", "all"}, {"sides", "one-sided"}, {"orientation-requested", "3"}}) {
    Set(options, name, value);
  }
  return options;
}

PageFormat ChooseDocumentFormat(const std::vector<std::string>& supported) {
  bool jpeg = false;
  bool pwg = false;
  for (const std::string& format : supported) {
    if (format == "application/pdf") return PageFormat::kPdf;
    jpeg = jpeg || format == "image/jpeg";
    pwg = pwg || format == "image/pwg-raster";
  }
  if (jpeg) return PageFormat::kJpeg;
  return pwg ? PageFormat::kPwgRaster : PageFormat::kPdf;
}

int ChooseRasterDpi(const std::vector<int>& supported) {
  constexpr int kWanted = 300;
  int above = 0;
  int highest = 0;
  for (const int dpi : supported) {
    if (dpi >= kWanted && (above == 0 || dpi < above)) above = dpi;
    highest = std::max(highest, dpi);
  }
  if (above > 0) return above;
  return highest > 0 ? highest : kWanted;
}

QueueState ReadQueueState(const CupsOptions& options) {
  QueueState state;
  const auto add = [&state](const std::string& part) { state.text += (state.text.empty() ? "" : ", ") + part; };
  const std::string* reasons = Find(options, "printer-state-reasons");
  const bool has_reasons = reasons && !reasons->empty() && *reasons != "none";
  if (const std::string* printer_state = Find(options, "printer-state"); printer_state && *printer_state == "5") {
    state.offline = true;
    add(has_reasons ? "stopped (" + *reasons + ")" : "stopped");
  } else if (has_reasons && reasons->find("offline") != std::string::npos) {
    state.offline = true;
    add("offline (" + *reasons + ")");
  }
  if (const std::string* accepting = Find(options, "printer-is-accepting-jobs"); accepting && *accepting == "false") {
    state.offline = true;
    add("not accepting jobs");
  }
  const std::string* message = Find(options, "printer-state-message");
  if (state.offline && message && !message->empty()) add("\"" + *message + "\"");
  return state;
}

std::optional<SavedDefault> SavedDefaultPrinter(std::string_view text) {
  std::optional<SavedDefault> found;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    // "Default" in any case, then blanks, then the name up to the next blank or the end of the line.
    constexpr std::string_view kKeyword = "default";
    if (line.size() <= kKeyword.size()) continue;
    bool keyword = true;
    for (size_t i = 0; i < kKeyword.size(); ++i) {
      keyword = keyword && std::tolower(static_cast<unsigned char>(line[i])) == kKeyword[i];
    }
    if (!keyword || (line[kKeyword.size()] != ' ' && line[kKeyword.size()] != '\t')) continue;
    line.remove_prefix(kKeyword.size());
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    const std::string_view name = line.substr(0, line.find_first_of(" \t\r"));
    if (name.empty()) continue;
    const size_t slash = name.find('/');
    found = SavedDefault{std::string(name.substr(0, slash)),
                         slash == std::string_view::npos ? std::string() : std::string(name.substr(slash + 1))};
  }
  return found;
}

}  // namespace platform
