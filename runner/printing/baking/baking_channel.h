// The baking family's part of `printing_channel`: "bakeImagesForPrinting" and the three colour-profile
// methods, their handlers and their rows of the method table.
//
// Each Make*Handler returns the handler of one method; each answers exactly once, exceptions included.
// "bakeImagesForPrinting" runs on the bake lane (services.lanes->bakes, when given); the colour-profile
// methods answer on the platform thread before they return.
#pragma once

#include <vector>

#include "runner/channels/channel.h"
#include "runner/printing/baking/bake_images.h"
#include "runner/printing/baking/bake_records.h"
#include "runner/services.h"

namespace platform {
class SettingsStore;
}

namespace runner::printing {

// "bakeImagesForPrinting": a map with "requests" (a list of bake requests, bake_args.h), "maxThreads"
// (int32) and "jpegQuality" (int32, 95). Bakes with BakeSingleImage over services.graphics, .files, .clock
// and .bakes and the colour profile stored in services.settings, and answers {"results", "successCount",
// "failureCount"} or an error row. A call the host ends before its bake could run is answered
// "Baking stopped: the application is closing".
MethodHandler MakeBakeImagesForPrintingHandler(const Services& services);
// The same handler over the pool `setup` (its bake function in place of BakeSingleImage), on the calling
// thread.
MethodHandler MakeBakeImagesForPrintingHandler(ParallelBakeSetup setup, const platform::SettingsStore* settings);

// "getColorProfiles": the offered profiles, as maps "id", "displayName", "isBuiltIn".
MethodHandler MakeGetColorProfilesHandler(const Services& services);
// "getSelectedColorProfile": the stored selection (color_profiles.h).
MethodHandler MakeGetSelectedColorProfileHandler(const Services& services);
// "setSelectedColorProfile": a map with "profileId" (string); true once stored.
MethodHandler MakeSetSelectedColorProfileHandler(const Services& services);

// The family's rows of the `printing_channel` method table.
std::vector<MethodEntry> BakingMethodTable(const Services& services);

// The reply entry of one result: "success", "index", and "bakedPath" or "error".
EncodableMap BakeResultToMap(const BakeResult& result);

}  // namespace runner::printing
