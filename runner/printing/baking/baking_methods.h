// The baking and colour-profile rows of the `printing_channel` method table, bound to the services.
#pragma once

#include "runner/channels/channel.h"
#include "runner/services.h"

namespace runner::printing {

// "bakeImagesForPrinting": bakes on workers with BakeSingleImage over services.graphics, .files, .clock
// and .bakes, reading the colour profile from services.settings.
MethodHandler BakeImagesMethod(const Services& services);
// "getColorProfiles", "getSelectedColorProfile", "setSelectedColorProfile".
MethodHandler GetColorProfilesMethod();
MethodHandler GetSelectedColorProfileMethod(const Services& services);
MethodHandler SetSelectedColorProfileMethod(const Services& services);

}  // namespace runner::printing
