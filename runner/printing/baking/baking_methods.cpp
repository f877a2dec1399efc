// The baking and colour-profile method handlers, bound to the ports they use.
#include "runner/printing/baking/baking_methods.h"

#include "runner/printing/baking/bake_images.h"
#include "runner/printing/baking/bake_single_image.h"
#include "runner/printing/baking/color_profiles.h"
#include "runner/channels/pending_work.h"
#include "runner/thread_registry.h"

namespace runner::printing {

MethodHandler BakeImagesMethod(const Services& services) {
  ParallelBakeSetup setup;
  setup.files = services.files;
  setup.clock = services.clock;
  setup.hardware_threads = services.hardware_threads;
  // The graphics library's start-up waits, as long as its adapter says (none where it needs no start).
  if (services.graphics != nullptr) setup.waits = services.graphics->BakeWaits();
  ThreadRegistry* const threads = services.threads;
  setup.stopping = [threads] { return threads != nullptr && threads->stopping(); };
  setup.progressed = [pending = services.pending] {
    if (pending != nullptr) pending->Progressed();
  };
  const BakeTools tools{services.graphics, services.files, services.clock, services.bakes};
  setup.bake = [tools](const BakeRequest& request, int32_t index, const std::string& folder,
                       const std::string& profile_id, int quality) {
    return BakeSingleImage(tools, request, index, folder, profile_id, quality);
  };
  platform::SettingsStore* settings = services.settings;
  return [setup, settings](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    HandleBakeImagesForPrinting(setup, settings, call, *result);
  };
}

MethodHandler GetColorProfilesMethod() {
  return [](const MethodCall&, std::unique_ptr<MethodResult> result) { HandleGetColorProfiles(*result); };
}

MethodHandler GetSelectedColorProfileMethod(const Services& services) {
  platform::SettingsStore* settings = services.settings;
  return [settings](const MethodCall&, std::unique_ptr<MethodResult> result) {
    HandleGetSelectedColorProfile(settings, *result);
  };
}

MethodHandler SetSelectedColorProfileMethod(const Services& services) {
  platform::SettingsStore* settings = services.settings;
  return [settings](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    HandleSetSelectedColorProfile(settings, call, *result);
  };
}

}  // namespace runner::printing
