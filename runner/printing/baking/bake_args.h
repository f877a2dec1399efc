// Reading bake requests from the arguments of "bakeImagesForPrinting".
//
// An entry of "requests" is accepted only when it is a map with "sourcePath" a string
// and "canvasWidth" and "canvasHeight" int32 values; every other key keeps its default when it is absent
// or of the wrong kind. A value of the right kind that cannot mean anything on a canvas is refused: the
// request keeps its place and its result is a failure naming the key (BakeRequest::refusal):
//   "canvasWidth", "canvasHeight"        above 0
//   "imageScale"                         finite, above 0 and at most 10000 (a larger zoom shows less than a
//                                        pixel of any photo)
//   "offsetX", "offsetY"                 finite, at most 1e9 pixels either way (beyond any canvas)
//   "stroke", "strokeScale"              finite; the stroke's pen (stroke x 20 x strokeScale pixels) no
//                                        wider than the canvas's longer side
// "strokeColor" is taken when finite and within the range of a 64-bit integer.
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
// the map may also carry are accepted and have no effect on a bake. A stroke value that is not finite
// sets `*refusal` (when given and still empty).
BakeEffects ReadBakeEffects(const EncodableValue& effects, std::string* refusal = nullptr);

}  // namespace runner::printing
