// The plan's paper: printer, then the paper by name, by size or the current one.
#include "runner/printing/plans/plan_paper.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "runner/log.h"
#include "runner/printing/plans/sheet_plan.h"
#include "runner/printing/printers/paper_match.h"

namespace runner::printing {
namespace {

std::string LabelOf(const platform::Paper& paper) {
  return paper.label.empty() ? "DMPAPER_" + std::to_string(paper.id) : paper.label;
}

const platform::Paper* PaperNumbered(const std::vector<platform::Paper>& papers, uint16_t id) {
  for (const platform::Paper& paper : papers) {
    if (paper.id == id && !paper.borderless) return &paper;
  }
  for (const platform::Paper& paper : papers) {
    if (paper.id == id) return &paper;
  }
  return nullptr;
}

// A size the printer does not list, with the widest margins of its bordered papers: what it will most
// likely leave unprinted on a paper of its own choosing.
platform::Paper UnlistedPaper(const std::vector<platform::Paper>& papers, double width_mm, double height_mm) {
  platform::Paper paper;
  paper.id = platform::kPaperUser;
  paper.width_tenths_mm = static_cast<int32_t>(std::lround(width_mm * 10));
  paper.height_tenths_mm = static_cast<int32_t>(std::lround(height_mm * 10));
  paper.label = MmText(width_mm) + "x" + MmText(height_mm) + " mm";
  for (const platform::Paper& listed : papers) {
    if (listed.borderless) continue;
    paper.margin_left_hundredths_mm = std::max(paper.margin_left_hundredths_mm, listed.margin_left_hundredths_mm);
    paper.margin_top_hundredths_mm = std::max(paper.margin_top_hundredths_mm, listed.margin_top_hundredths_mm);
    paper.margin_right_hundredths_mm = std::max(paper.margin_right_hundredths_mm, listed.margin_right_hundredths_mm);
    paper.margin_bottom_hundredths_mm = std::max(paper.margin_bottom_hundredths_mm, listed.margin_bottom_hundredths_mm);
  }
  return paper;
}

}  // namespace

std::optional<PlanPaperChoice> ChoosePlanPaper(platform::Spooler& spooler, const PlanPaperRequest& request,
                                               PlanPaperFailure* failure) {
  PlanPaperChoice choice;
  if (request.printer) {
    choice.printer = *request.printer;
  } else if (std::optional<std::string> preferred = spooler.DefaultPrinter()) {
    choice.printer = *preferred;
  } else {
    *failure = PlanPaperFailure::kNoPrinter;
    return std::nullopt;
  }
  if (choice.printer.empty() || !spooler.HasPrinter(choice.printer)) {
    *failure = PlanPaperFailure::kUnknownPrinter;
    return std::nullopt;
  }
  const std::vector<platform::Paper> papers = spooler.Papers(choice.printer).value_or(std::vector<platform::Paper>());
  if (papers.empty()) {
    *failure = PlanPaperFailure::kNoPapers;
    return std::nullopt;
  }

  const platform::Paper* chosen = nullptr;
  if (request.paper_name) {
    const PaperNameMatch match = FindPaperByName(papers, *request.paper_name);
    if (match.kind == NameMatch::kNone) {
      *failure = PlanPaperFailure::kPaperNotFound;
      return std::nullopt;
    }
    chosen = &papers[match.index];
  } else if (request.paper_width_mm > 0 && request.paper_height_mm > 0) {
    const uint16_t id = FindPaperIdBySize(papers, std::llround(request.paper_width_mm),
                                          std::llround(request.paper_height_mm), [](std::string_view line) {
                                            LogLine(std::string(line));
                                          });
    chosen = id != 0 ? PaperNumbered(papers, id) : nullptr;
    if (chosen == nullptr) {
      choice.paper = UnlistedPaper(papers, request.paper_width_mm, request.paper_height_mm);
      choice.listed = false;
    }
  } else {
    // The printer's current paper: by number, by the size a user-defined paper states, else its first.
    const std::optional<platform::PrintSettings> settings = spooler.CurrentSettings(choice.printer);
    if (settings && (settings->fields & platform::kFieldPaperSize)) {
      chosen = PaperNumbered(papers, settings->paper_id);
      if (chosen == nullptr && settings->paper_id == platform::kPaperUser && settings->paper_width_tenths_mm > 0 &&
          settings->paper_length_tenths_mm > 0) {
        const double width = settings->paper_width_tenths_mm / 10.0;
        const double height = settings->paper_length_tenths_mm / 10.0;
        const uint16_t id = FindPaperIdBySize(papers, std::llround(width), std::llround(height), [](std::string_view) {});
        chosen = id != 0 ? PaperNumbered(papers, id) : nullptr;
        if (chosen == nullptr) {
          choice.paper = UnlistedPaper(papers, width, height);
          choice.listed = false;
        }
      }
    }
    if (chosen == nullptr && choice.listed) chosen = &papers.front();
  }
  if (chosen != nullptr) {
    choice.paper = *chosen;
    choice.paper.label = LabelOf(*chosen);
  }
  LogLine("DEBUG C++: Sheet plan for printer " + choice.printer + " on paper " + choice.paper.label +
          (choice.listed ? "" : " (a size the printer does not list)"));
  return choice;
}

}  // namespace runner::printing
