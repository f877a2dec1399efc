// Paper matching: the printer's paper for a size in millimetres, or for a paper name.
//
// Sizes: a paper's millimetres are its tenths divided by 10, truncated. The distance between a paper
// and a request is the smaller of |pw - w| + |ph - h| and the same with the paper turned, computed in
// 64 bits so that no request size can wrap it. A paper matches when its distance is at most 10; among
// papers at the same smallest distance the printer's current choice wins (a borderless paper chosen by
// name stays chosen when a later request names its size), then a bordered paper over a borderless
// variant (borderless is chosen by name, or when it is all there is), then the first in the printer's
// order.
// Names: an exact match (same UTF-16 code units) anywhere in the list wins over a partial one; a partial
// match is the first paper whose lower-cased name contains the lower-cased request or is contained in it
// (lower-casing per UTF-16 unit as the C.UTF-8 locale folds it, so "É" folds to "é").
// Pure functions, thread-safe; log lines go to the sink given.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/spooler.h"

namespace runner::printing {

using LogSink = std::function<void(std::string_view)>;

inline constexpr int64_t kPaperMatchToleranceMm = 10;

// The number of the closest paper within tolerance, 0 when none. `current_id` is the printer's current
// paper (0: none). Logs "DEBUG: No papers found for printer" (empty list), "DEBUG: Looking for paper ...",
// one "DEBUG: Found match: ..." per improvement and "DEBUG: No matching paper found!".
uint16_t FindPaperIdBySize(const std::vector<platform::Paper>& papers, int64_t width_mm, int64_t height_mm,
                           const LogSink& log, uint16_t current_id = 0);

enum class NameMatch { kNone, kExact, kPartial };

struct PaperNameMatch {
  NameMatch kind = NameMatch::kNone;
  size_t index = 0;  // into the list, when kind is not kNone
};

// The paper named `name`: exact match first, then partial.
PaperNameMatch FindPaperByName(const std::vector<platform::Paper>& papers, std::string_view name);

// `text` lower-cased per UTF-16 unit as the C.UTF-8 locale folds it (surrogates unchanged).
std::u16string LowerCaseUtf16(std::u16string_view text);

}  // namespace runner::printing
