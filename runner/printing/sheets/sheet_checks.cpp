// Sheet request checks: the page budget, empty outputs, outputs that are inputs (the helper's rule).
#include "runner/printing/sheets/sheet_checks.h"

#include "helper/page_budget.h"
#include "platform/file_system.h"

namespace runner::printing {

std::optional<std::string> SheetRequestProblem(const mosalith::GridJob& request) {
  if (!mosalith::PageWithinBudget(request.pageWidth, request.pageHeight)) {
    return mosalith::InvalidPageSizeText(request.pageWidth, request.pageHeight);
  }
  for (size_t i = 0; i < request.outputs.size(); ++i) {
    if (request.outputs[i].empty()) return "Empty output path at index " + std::to_string(i);
  }
  return std::nullopt;
}

std::optional<std::string> OutputNamingAnInput(const mosalith::GridJob& request, platform::FileSystem& files) {
  const std::optional<std::string> output =
      mosalith::OutputNamingAnInput(request, [&files](const std::string& path) { return files.IdentityOf(path); });
  if (!output) return std::nullopt;
  return "Output path is one of the input files: " + *output;
}

}  // namespace runner::printing
