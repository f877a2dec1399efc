// Papers between GTK's dialogs and the spooler.
#include "platform/gtk/dialog_papers.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "platform/paper/paper_numbers.h"

namespace platform::gtk {
namespace {

// Sizes read from two descriptions of one paper differ by rounding (points, tenths, inches).
constexpr double kSizeToleranceMm = 1.0;

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// 0: not the same paper; 1: the same size and kind; 2: also the same label.
int Likeness(const Paper& paper, const DialogPaper& dialog) {
  if (std::fabs(paper.width_tenths_mm / 10.0 - dialog.width_mm) > kSizeToleranceMm ||
      std::fabs(paper.height_tenths_mm / 10.0 - dialog.height_mm) > kSizeToleranceMm ||
      paper.borderless != IsBorderless(dialog)) {
    return 0;
  }
  return SameText(paper.label, dialog.display_name) ? 2 : 1;
}

// The record holds sizes as 16-bit tenths: a larger size of the user's own is cut to the largest.
int16_t TenthsFromMm(double mm) {
  const double tenths = std::round(mm * 10.0);
  if (!(tenths >= 1.0)) return 1;
  return tenths > 32767.0 ? int16_t{32767} : static_cast<int16_t>(tenths);
}

}  // namespace

bool IsBorderless(const DialogPaper& paper) {
  return IsBorderlessMedia(paper.name) || IsBorderlessMedia(paper.display_name);
}

std::optional<size_t> FindSpoolerPaper(const std::vector<Paper>& papers, const DialogPaper& paper) {
  std::optional<size_t> best;
  int best_likeness = 0;
  for (size_t i = 0; i < papers.size(); ++i) {
    const int likeness = Likeness(papers[i], paper);
    if (likeness > best_likeness) {
      best = i;
      best_likeness = likeness;
    }
  }
  return best;
}

std::optional<size_t> FindDialogPaper(const std::vector<DialogPaper>& candidates, const Paper& paper) {
  std::optional<size_t> best;
  int best_likeness = 0;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const int likeness = Likeness(paper, candidates[i]);
    if (likeness > best_likeness) {
      best = i;
      best_likeness = likeness;
    }
  }
  return best;
}

std::optional<Paper> StatedPaper(const PrintSettings& settings, const std::vector<Paper>& papers) {
  if ((settings.fields & kFieldPaperSize) != 0 && settings.paper_id != kPaperUser) {
    for (const Paper& paper : papers) {
      if (paper.id == settings.paper_id) return paper;
    }
  }
  const bool sized = (settings.fields & kFieldPaperWidth) != 0 && (settings.fields & kFieldPaperLength) != 0 &&
                     settings.paper_width_tenths_mm > 0 && settings.paper_length_tenths_mm > 0;
  if (!sized) return std::nullopt;
  for (const Paper& paper : papers) {
    if (!paper.borderless && std::abs(paper.width_tenths_mm - settings.paper_width_tenths_mm) <= 10 &&
        std::abs(paper.height_tenths_mm - settings.paper_length_tenths_mm) <= 10) {
      return paper;
    }
  }
  // A size of its own: described by the record alone.
  Paper own;
  own.id = kPaperUser;
  own.label = settings.form_name;
  own.width_tenths_mm = settings.paper_width_tenths_mm;
  own.height_tenths_mm = settings.paper_length_tenths_mm;
  return own;
}

void SetChosenPaper(PrintSettings* settings, const std::optional<Paper>& matched, const DialogPaper& chosen) {
  settings->fields |= kFieldPaperSize | kFieldPaperWidth | kFieldPaperLength | kFieldFormName;
  if (matched) {
    settings->paper_id = matched->id;
    settings->form_name = matched->label;
    settings->paper_width_tenths_mm = static_cast<int16_t>(matched->width_tenths_mm);
    settings->paper_length_tenths_mm = static_cast<int16_t>(matched->height_tenths_mm);
    return;
  }
  settings->paper_id = kPaperUser;
  settings->form_name = TruncateToUtf16Units(chosen.display_name.empty() ? chosen.name : chosen.display_name, 31);
  settings->paper_width_tenths_mm = TenthsFromMm(chosen.width_mm);
  settings->paper_length_tenths_mm = TenthsFromMm(chosen.height_mm);
}

}  // namespace platform::gtk
