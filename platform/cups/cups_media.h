// A CUPS printer's papers: its media list (numbers, labels, sizes and margins), its default media, the
// paper a job prints on and the paper that settings are validated to. Internal to platform/cups/
// (included only by the adapter's own files, which is why it may name libcups types).
// Thread safety: the functions may be called from any thread with handles of that thread.
#pragma once

#include <cups/cups.h>

#include <string>
#include <vector>

#include "platform/cups/cups_options.h"
#include "platform/spooler.h"

namespace platform::cups {

// The destination's media list, numbered and labelled (as platform/paper/paper_numbers.h says); derived
// numbers that collide on this printer fall back to 256 for the later paper.
std::vector<CupsMedia> MediaList(http_t* http, cups_dest_t* dest, cups_dinfo_t* info);

// The printer's default media keyword, or empty.
std::string DefaultMedia(http_t* http, cups_dest_t* dest, cups_dinfo_t* info);

// The paper a job prints on: its media keyword and its size and margins in hundredths of a millimetre.
struct Sheet {
  std::string media;
  cups_size_t size {};
};

// The media to use for `settings` on this printer: the stated paper, else the stored option, else the
// printer's default; the size as the printer gives it (it may substitute a variant). A printer without
// media names (a raw queue) prints on A4.
Sheet SheetForSettings(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, const PrintSettings& settings);

// Settles the paper `settings` state on one the printer takes: a listed paper of that number (or its
// borderless variant), or for a user-defined size the size itself when the printer takes sizes of its
// own choosing, else the nearest listed paper within 10 mm. Fills in the paper's number, label and
// size, and sets a stored media option to it. False when the printer has no such paper. Settings that
// state no paper are left as they are.
bool SettlePaper(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, PrintSettings* settings);

}  // namespace platform::cups
