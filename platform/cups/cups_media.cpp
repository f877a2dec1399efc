// A CUPS printer's papers through libcups.
#include "platform/cups/cups_media.h"

#include <cups/pwg.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/paper/paper_numbers.h"

namespace platform::cups {
namespace {

// A paper by its size alone (hundredths of a millimetre, no margins), for a printer that does not
// describe it.
Sheet PlainSheet(const std::string& media, int width, int length) {
  Sheet sheet;
  sheet.media = media;
  snprintf(sheet.size.media, sizeof sheet.size.media, "%s", media.c_str());
  sheet.size.width = width;
  sheet.size.length = length;
  return sheet;
}

}  // namespace

std::vector<CupsMedia> MediaList(http_t* http, cups_dest_t* dest, cups_dinfo_t* info) {
  std::vector<CupsMedia> list;
  const int count = cupsGetDestMediaCount(http, dest, info, CUPS_MEDIA_FLAGS_DEFAULT);
  for (int i = 0; i < count; ++i) {
    cups_size_t size {};
    if (!cupsGetDestMediaByIndex(http, dest, info, i, CUPS_MEDIA_FLAGS_DEFAULT, &size)) continue;
    CupsMedia entry;
    entry.keyword = size.media;
    const std::string base(BaseMediaName(entry.keyword));
    const pwg_media_t* pwg = pwgMediaForPWG(base.c_str());
    // Known sizes are exact; a printer description in points rounds them (A4 as 209.9 x 297.04 mm).
    const int width = pwg ? pwg->width : size.width;
    const int length = pwg ? pwg->length : size.length;
    const char* localized = cupsLocalizeDestMedia(http, dest, info, CUPS_MEDIA_FLAGS_DEFAULT, &size);
    std::string display = localized && *localized && std::string(localized) != entry.keyword ? localized : "";
    if (display.empty() && pwg && pwg->ppd) display = pwg->ppd;
    entry.paper.id = PaperIdForMedia(entry.keyword);
    entry.paper.label = PaperLabel(display, entry.keyword);
    entry.paper.width_tenths_mm = TenthsFromHundredths(width);
    entry.paper.height_tenths_mm = TenthsFromHundredths(length);
    entry.paper.margin_left_hundredths_mm = size.left;
    entry.paper.margin_top_hundredths_mm = size.top;
    entry.paper.margin_right_hundredths_mm = size.right;
    entry.paper.margin_bottom_hundredths_mm = size.bottom;
    entry.paper.borderless = IsBorderlessMedia(entry.keyword);
    if (entry.paper.id > kPaperUser) {
      for (const CupsMedia& earlier : list) {
        if (earlier.paper.id == entry.paper.id && earlier.keyword != entry.keyword) entry.paper.id = kPaperUser;
      }
    }
    list.push_back(std::move(entry));
  }
  return list;
}

std::string DefaultMedia(http_t* http, cups_dest_t* dest, cups_dinfo_t* info) {
  ipp_attribute_t* attribute = cupsFindDestDefault(http, dest, info, "media");
  const char* value = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
  return value ? value : "";
}

Sheet SheetForSettings(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, const PrintSettings& settings) {
  std::vector<std::string> candidates;
  candidates.push_back(MediaForSettings(settings, MediaList(http, dest, info)));
  for (const auto& [name, value] : settings.options) {
    if (name == "media") candidates.push_back(value);
  }
  candidates.push_back(DefaultMedia(http, dest, info));
  for (const std::string& media : candidates) {
    if (media.empty()) continue;
    // Asked for by its plain name, a borderless variant comes back as its bordered base paper.
    const unsigned flags = IsBorderlessMedia(media) ? CUPS_MEDIA_FLAGS_BORDERLESS : CUPS_MEDIA_FLAGS_DEFAULT;
    Sheet sheet;
    if (cupsGetDestMediaByName(http, dest, info, media.c_str(), flags, &sheet.size)) {
      sheet.media = sheet.size.media;
      return sheet;
    }
    if (const pwg_media_t* pwg = pwgMediaForPWG(media.c_str())) return PlainSheet(media, pwg->width, pwg->length);
  }
  // A printer without media names (a raw queue): A4.
  return PlainSheet("iso_a4_210x297mm", 21000, 29700);
}

bool SettlePaper(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, PrintSettings* settings) {
  if (!(settings->fields & kFieldPaperSize)) return true;
  const std::vector<CupsMedia> list = MediaList(http, dest, info);
  std::string media;
  const CupsMedia* chosen = nullptr;
  if (settings->paper_id == kPaperUser) {
    const int width = settings->paper_width_tenths_mm;
    const int length = settings->paper_length_tenths_mm;
    if (width <= 0 || length <= 0) return false;
    const std::string custom = CustomMediaName(width, length);
    if (cupsCheckDestSupported(http, dest, info, "media", custom.c_str())) {
      media = custom;
    } else {
      // The printer takes no sizes of its own choosing: the nearest listed paper within 10 mm.
      int64_t best = 101;
      for (const CupsMedia& entry : list) {
        const int64_t direct = std::llabs(entry.paper.width_tenths_mm - width) + std::llabs(entry.paper.height_tenths_mm - length);
        const int64_t turned = std::llabs(entry.paper.height_tenths_mm - width) + std::llabs(entry.paper.width_tenths_mm - length);
        const int64_t distance = std::min(direct, turned);
        if (distance < best) {
          best = distance;
          chosen = &entry;
        }
      }
      if (!chosen) return false;
    }
  } else {
    for (const CupsMedia& entry : list) {
      if (entry.paper.id == settings->paper_id) {
        chosen = &entry;
        break;
      }
    }
    // A printer may list a standard paper only as its borderless variant (photo sizes on driverless
    // printers): a standard number then stands for that variant.
    for (size_t i = 0; !chosen && i < list.size(); ++i) {
      if (list[i].paper.borderless && StandardPaperId(list[i].keyword) == settings->paper_id) chosen = &list[i];
    }
    if (!chosen) return false;
  }
  if (chosen) {
    media = chosen->keyword;
    settings->paper_id = chosen->paper.id;
    settings->form_name = chosen->paper.label;
    settings->fields |= kFieldFormName;
    if (chosen->paper.width_tenths_mm <= 32767 && chosen->paper.height_tenths_mm <= 32767) {
      settings->paper_width_tenths_mm = static_cast<int16_t>(chosen->paper.width_tenths_mm);
      settings->paper_length_tenths_mm = static_cast<int16_t>(chosen->paper.height_tenths_mm);
    }
  } else {
    settings->form_name.clear();
    settings->fields &= ~kFieldFormName;
  }
  // The public paper wins over a stored option.
  for (auto& [option, value] : settings->options) {
    if (option == "media") value = media;
  }
  return true;
}

}  // namespace platform::cups
