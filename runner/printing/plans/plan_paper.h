// The paper a sheet plan is made for: a printer (the one named, else the default printer) and one of its
// papers (the one named, else the listed paper closest to a size in millimetres, else the printer's
// current paper), with the margins it cannot print on.
// Thread safety: as the Spooler port.
#pragma once

#include <optional>
#include <string>

#include "platform/spooler.h"

namespace runner::printing {

struct PlanPaperRequest {
  std::optional<std::string> printer;      // absent: the default printer
  std::optional<std::string> paper_name;   // matched as the paper setter matches names
  double paper_width_mm = 0;               // used when no name is given and both are above 0
  double paper_height_mm = 0;
};

struct PlanPaperChoice {
  std::string printer;
  platform::Paper paper;  // size and margins; the label is never empty
  // False for a size the printer does not list (no listed paper within 10 mm): the sheet is planned
  // on it, with the largest margins the printer's bordered papers have, but may not print at true size.
  bool listed = true;
};

enum class PlanPaperFailure {
  kNoPrinter,        // no printer named and no default printer
  kUnknownPrinter,   // the named printer cannot be opened
  kNoPapers,         // the printer lists no paper
  kPaperNotFound,    // no paper of that name
};

// The choice, or nothing with `*failure` set. Logs one "DEBUG: " line naming the choice.
std::optional<PlanPaperChoice> ChoosePlanPaper(platform::Spooler& spooler, const PlanPaperRequest& request,
                                               PlanPaperFailure* failure);

}  // namespace runner::printing
