// Reading bake requests from the arguments of "bakeImagesForPrinting".
//
// An entry of "requests" is accepted only when it is a map with "sourcePath" a string
// and "canvasWidth" and "canvasHeight" int32 values; every other key keeps its default when it is absent
// or of the wrong kind. Doubles that cannot stand for a usable value (NaN, infinities, values beyond what
// the field holds) count as the wrong kind too, so the default stands:
//   "imageScale"                         finite, at most 10000 either way (a larger zoom shows less than a
//                                        pixel of any photo)
//   "offsetX", "offsetY"                 finite, at most 1e9 pixels either way (beyond any canvas)
//   "stroke", "strokeScale"              finite and within the range of a 32-bit float
//   "strokeColor"                        finite and within the range of a 64-bit integer
// Paths are UTF-8, taken up to their first NUL.
// Thread safety: pure.
#pragma once

#include <optional>

#include "runner/channels/channel.h"
#include "runner/printing/baking/bake_records.h"

namespace runner::printing {

// The request that `entry` describes, or nothing when the entry is not accepted (see above).
std::optional<BakeRequest> ReadBakeRequest(const EncodableValue& entry);

// The stroke settings of an "effects" value; all defaults when it is not a map. The colour and tone keys
// the map may also carry are accepted and have no effect on a bake.
BakeEffects ReadBakeEffects(const EncodableValue& effects);

}  // namespace runner::printing
