// Sheet job records: the decoded sheet request a job owns, and the GridResult it produces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "helper/effect_record.h"

namespace runner::printing {

// One sheet job's input, passed by value: a job owns its copy while it runs. Paths are UTF-8. Photo i,
// frame i and effect record i belong to the same magnet; sheet p is written to outputs[p]. Sizes and
// margins are pixels of the sheet. The defaults are those a grid job file has when it leaves a key out.
struct SheetRequest {
  std::vector<std::string> images;
  std::vector<std::string> outputs;
  std::vector<std::string> frames;  // "" = no frame; may be shorter than images
  int32_t rows = 2;
  int32_t cols = 2;
  int32_t pageWidth = 1854;
  int32_t pageHeight = 2445;
  int32_t marginLeft = 18;
  int32_t marginRight = 18;
  int32_t marginTop = 16;
  int32_t marginBottom = 16;
  int32_t jpegQuality = 95;
  int32_t dpi = 450;
  bool showCutGrid = false;
  double cutGridWidthMm = 0.1;
  std::string cutGridColor = "darkGray";
  double magnetAspectRatio = 0.0;  // width / height; 0 = the magnet fills its cell
  std::vector<mosalith::EffectRecord> effects;
};

// The outcome of one sheet job, produced once and handed over by value.
struct GridResult {
  bool success = false;      // the sheets were produced
  std::string errorMessage;  // empty on success, otherwise the reason
  int32_t loadTimeMs = 0;    // spent loading photos (the in-process composer only)
  int32_t composeTimeMs = 0; // spent composing sheets (the in-process composer only)
  int32_t totalTimeMs = 0;   // the whole job
};

}  // namespace runner::printing
