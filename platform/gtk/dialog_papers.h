// Papers between GTK's dialogs and the spooler. GTK reads a printer's papers from the printer's
// description on its own (its names, labels and sizes in points), the spooler from its own reading; the
// two lists are matched by size (within 1 mm), borderless or not, and label, never by name alone.
// Pure functions, thread-safe; no GTK types.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/spooler.h"

namespace platform::gtk {

// A paper as a GTK dialog lists it.
struct DialogPaper {
  std::string name;          // GTK's paper name (a PPD or PWG media name)
  std::string display_name;  // the label the dialog shows
  double width_mm = 0;       // portrait: the narrower side first
  double height_mm = 0;
};

// True when the paper's name or label marks a borderless variant.
bool IsBorderless(const DialogPaper& paper);

// The index in `papers` of the spooler's paper that `paper` is; nothing when none has its size and kind.
std::optional<size_t> FindSpoolerPaper(const std::vector<Paper>& papers, const DialogPaper& paper);

// The index in `candidates` of the dialog's paper that `paper` is; nothing when none has its size and kind.
std::optional<size_t> FindDialogPaper(const std::vector<DialogPaper>& candidates, const Paper& paper);

// The paper `settings` state, among `papers`: by number when the number is stated, else by the stated size.
std::optional<Paper> StatedPaper(const PrintSettings& settings, const std::vector<Paper>& papers);

// Sets the paper of `settings` to the one chosen in the dialog: the spooler's paper `matched` when there
// is one (number, label, size), else a size of its own (kPaperUser) labelled as the dialog labels it.
// Every paper field is stated afterwards.
void SetChosenPaper(PrintSettings* settings, const std::optional<Paper>& matched, const DialogPaper& chosen);

}  // namespace platform::gtk
