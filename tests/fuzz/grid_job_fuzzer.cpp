// The grid job file on hostile text: the reader and the layout never crash, and once a job has been
// through the writer and the reader (reals at six digits, neutral effect records dropped), writing and
// reading it again gives the same job and the same text: the writer writes nothing the reader would
// read otherwise.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "helper/grid_job.h"
#include "helper/sheet_geometry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  mosalith::GridJob job;
  if (!mosalith::ParseGridJob(text, job).ok()) return 0;
  std::string problem;
  (void)mosalith::ComputeSheetGeometry(job, problem);
  (void)mosalith::ComputeSheetGeometry(job, problem, mosalith::MagnetSizing::kWholeCell);

  const std::optional<mosalith::GridJobText> first = mosalith::FormatGridJob(job, nullptr);
  if (!first) return 0;  // a value the writer cannot carry (a CR inside a path, a frame named "(none)")
  mosalith::GridJob settled;
  if (!mosalith::ParseGridJob(first->text, settled).ok()) std::abort();
  const std::optional<mosalith::GridJobText> second = mosalith::FormatGridJob(settled, nullptr);
  if (!second) std::abort();
  mosalith::GridJob again;
  if (!mosalith::ParseGridJob(second->text, again).ok() || !(again == settled)) std::abort();
  const std::optional<mosalith::GridJobText> third = mosalith::FormatGridJob(again, nullptr);
  if (!third || third->text != second->text) std::abort();
  return 0;
}
