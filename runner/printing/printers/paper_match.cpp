// Paper matching by size and by name.
#include "runner/printing/printers/paper_match.h"

#include <limits>

#include "base/utf8.h"

namespace runner::printing {
namespace {

int64_t Abs(int64_t value) { return value < 0 ? -value : value; }

}  // namespace

uint16_t FindPaperIdBySize(const std::vector<platform::Paper>& papers, int64_t width_mm, int64_t height_mm,
                           const LogSink& log, uint16_t current_id) {
  if (papers.empty()) {
    log("DEBUG: No papers found for printer");
    return 0;
  }
  log("DEBUG: Looking for paper " + std::to_string(width_mm) + "x" + std::to_string(height_mm) + "mm in " +
      std::to_string(papers.size()) + " papers");
  int64_t best = std::numeric_limits<int32_t>::max();
  uint16_t result = 0;
  bool result_borderless = false;
  for (const platform::Paper& paper : papers) {
    const int64_t pw = paper.width_tenths_mm / 10;
    const int64_t ph = paper.height_tenths_mm / 10;
    const int64_t direct = Abs(pw - width_mm) + Abs(ph - height_mm);
    const int64_t turned = Abs(ph - width_mm) + Abs(pw - height_mm);
    const int64_t distance = direct < turned ? direct : turned;
    // At the same distance: the current choice, then bordered over borderless.
    const bool preferred = current_id != 0 && paper.id == current_id && result != current_id;
    const bool bordered_over_borderless = result != current_id && result_borderless && !paper.borderless;
    const bool closer = distance < best || (distance == best && (preferred || bordered_over_borderless));
    if (closer && distance <= kPaperMatchToleranceMm) {
      result = paper.id;
      result_borderless = paper.borderless;
      best = distance;
      log("DEBUG: Found match: ID=" + std::to_string(paper.id) + " '" + paper.label + "' " + std::to_string(pw) +
          "x" + std::to_string(ph) + "mm (diff=" + std::to_string(distance) + ")");
    }
  }
  if (result == 0) log("DEBUG: No matching paper found!");
  return result;
}

PaperNameMatch FindPaperByName(const std::vector<platform::Paper>& papers, std::string_view name) {
  const std::u16string wanted = base::Utf8ToUtf16(name);
  for (size_t i = 0; i < papers.size(); ++i) {
    if (base::Utf8ToUtf16(papers[i].label) == wanted) return {NameMatch::kExact, i};
  }
  const std::u16string wanted_lower = LowerCaseUtf16(wanted);
  for (size_t i = 0; i < papers.size(); ++i) {
    const std::u16string label = LowerCaseUtf16(base::Utf8ToUtf16(papers[i].label));
    if (label.find(wanted_lower) != std::u16string::npos || wanted_lower.find(label) != std::u16string::npos) {
      return {NameMatch::kPartial, i};
    }
  }
  return {};
}

}  // namespace runner::printing
