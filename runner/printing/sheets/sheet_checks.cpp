// Sheet request checks: the page budget, empty outputs, outputs that are inputs.
#include "runner/printing/sheets/sheet_checks.h"

#include <algorithm>
#include <vector>

#include "helper/page_budget.h"
#include "platform/file_system.h"

namespace runner::printing {

std::optional<std::string> SheetRequestProblem(const SheetRequest& request) {
  if (!mosalith::PageWithinBudget(request.pageWidth, request.pageHeight)) {
    return mosalith::InvalidPageSizeText(request.pageWidth, request.pageHeight);
  }
  for (size_t i = 0; i < request.outputs.size(); ++i) {
    if (request.outputs[i].empty()) return "Empty output path at index " + std::to_string(i);
  }
  return std::nullopt;
}

std::optional<std::string> OutputNamingAnInput(const SheetRequest& request, platform::FileSystem& files) {
  std::vector<platform::FileIdentity> inputs;
  for (const std::vector<std::string>* list : {&request.images, &request.frames}) {
    for (const std::string& path : *list) {
      if (std::optional<platform::FileIdentity> identity = files.IdentityOf(path)) inputs.push_back(*identity);
    }
  }
  for (const std::string& output : request.outputs) {
    const std::optional<platform::FileIdentity> identity = files.IdentityOf(output);
    if (identity && std::find(inputs.begin(), inputs.end(), *identity) != inputs.end()) {
      return "Output path is one of the input files: " + output;
    }
  }
  return std::nullopt;
}

}  // namespace runner::printing
