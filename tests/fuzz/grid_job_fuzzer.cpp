// The grid job file on hostile text: the reader and the layout never crash, and once a job has been
// through the writer and the reader (reals at six digits, neutral effect records dropped), writing and
// reading it again gives the same job and the same text: the writer writes nothing the reader would
// read otherwise.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "helper/crop_focus.h"
#include "helper/cut_guides.h"
#include "helper/grid_job.h"
#include "helper/sheet_geometry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  mosalith::GridJob job;
  if (!mosalith::ParseGridJob(text, job).ok()) return 0;
  std::string problem;
  const std::optional<mosalith::SheetGeometry> geometry = mosalith::ComputeSheetGeometry(job, problem);
  (void)mosalith::ComputeSheetGeometry(job, problem, mosalith::MagnetSizing::kWholeCell);
  if (geometry) {
    // The first sheet's guides with every photo drawn, and the crop window of each photo's faces.
    const size_t cells = static_cast<size_t>(std::min<int64_t>(geometry->cells_per_sheet, 256));
    (void)mosalith::CutGuideRects(job, *geometry, std::vector<bool>(std::min(cells, job.images.size()), true));
    for (const std::vector<mosalith::FaceArea>& faces : job.faces) {
      const int32_t width = geometry->magnet_width_px;
      const int32_t height = geometry->magnet_height_px;
      (void)mosalith::CropWindowFor(width + 7, height + 5, width, height, geometry->bleed_px / 4, faces, width > height);
    }
  }

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
