// The baking family's handlers and table rows: arguments read, work started, replies written.
#include "runner/printing/baking/baking_channel.h"

#include <exception>
#include <memory>
#include <optional>

#include "imaging/colour/output_space.h"
#include "platform/settings_store.h"
#include "runner/channels/channel_args.h"
#include "runner/channels/channel_errors.h"
#include "runner/channels/on_lane.h"
#include "runner/channels/pending_work.h"
#include "runner/colour_output.h"
#include "runner/printing/baking/bake_args.h"
#include "runner/printing/baking/bake_single_image.h"
#include "runner/printing/baking/color_profiles.h"
#include "runner/thread_registry.h"
#include "runner/work_lanes.h"

namespace runner::printing {
namespace {

constexpr int32_t kDefaultJpegQuality = 95;

// `tools` null: the setup's own bake function, as it is.
void BakeImagesForPrinting(const ParallelBakeSetup& setup, const BakeTools* tools,
                           const platform::SettingsStore* settings, const MethodCall& call, MethodResult& result) {
  std::vector<BakeResult> results;
  try {
    const EncodableMap* arguments = ArgumentMap(call);
    if (arguments == nullptr) return AnswerError(result, kExpectedMapOfArguments);
    const std::optional<const EncodableList*> entries = LookUp(*arguments, "requests", kList).value;
    if (!entries) return AnswerError(result, kMissingRequests);
    const int32_t max_threads = LookUp(*arguments, "maxThreads", kInt32).value.value_or(0);
    const int quality = ClampJpegQuality(LookUp(*arguments, "jpegQuality", kInt32).value.value_or(kDefaultJpegQuality));

    // Indices in the reply count accepted requests only.
    std::vector<BakeRequest> accepted;
    for (const EncodableValue& entry : **entries) {
      if (std::optional<BakeRequest> request = ReadBakeRequest(entry)) accepted.push_back(std::move(*request));
    }
    if (accepted.empty()) return AnswerError(result, kNoValidBakeRequests);

    const std::string profile_id = LoadSelectedColorProfile(settings);
    if (tools == nullptr) {
      results = BakeImagesInParallel(accepted, max_threads, profile_id, quality, setup);
    } else {
      // The output space is settled once for the bake: a custom profile read once, its failure logged once.
      const imaging::colour::OutputSpace output =
          OutputSpaceOf(imaging::colour::OutputChoiceFromSelection(profile_id), tools->files);
      ParallelBakeSetup this_bake = setup;
      this_bake.bake = [tools, &output](const BakeRequest& request, int32_t index, const std::string& folder,
                                        const std::string& id, int q) {
        return BakeSingleImage(*tools, request, index, folder, id, q, &output);
      };
      results = BakeImagesInParallel(accepted, max_threads, profile_id, quality, this_bake);
    }
  } catch (const std::exception& e) {
    const std::string_view text = e.what();
    return AnswerError(result, text.empty() ? ChannelError(kUnknownBakingException) : BakingException(text));
  } catch (...) {
    return AnswerError(result, kUnknownBakingException);
  }

  EncodableMap reply;
  try {
    EncodableList list;
    list.reserve(results.size());
    int32_t succeeded = 0;
    int32_t failed = 0;
    for (const BakeResult& baked : results) {
      (baked.success ? succeeded : failed) += 1;
      list.emplace_back(BakeResultToMap(baked));
    }
    reply.emplace(EncodableValue("results"), EncodableValue(std::move(list)));
    reply.emplace(EncodableValue("successCount"), EncodableValue(succeeded));
    reply.emplace(EncodableValue("failureCount"), EncodableValue(failed));
  } catch (const std::exception& e) {
    return AnswerError(result, ResultProcessingError(e.what()));
  } catch (...) {
    return AnswerError(result, ResultProcessingError("Unknown exception"));
  }
  result.Success(EncodableValue(std::move(reply)));
}

void GetColorProfiles(MethodResult& result) {
  try {
    EncodableList profiles;
    for (const ColorProfileInfo& profile : GetAvailableColorProfiles()) {
      profiles.emplace_back(EncodableMap{
          {EncodableValue("id"), EncodableValue(profile.id)},
          {EncodableValue("displayName"), EncodableValue(profile.display_name)},
          {EncodableValue("isBuiltIn"), EncodableValue(profile.is_built_in)},
      });
    }
    result.Success(EncodableValue(std::move(profiles)));
  } catch (const std::exception& e) {
    AnswerError(result, GetProfilesError(e.what()));
  } catch (...) {
    AnswerError(result, GetProfilesError("Unknown exception"));
  }
}

void GetSelectedColorProfile(const platform::SettingsStore* store, MethodResult& result) {
  try {
    result.Success(EncodableValue(LoadSelectedColorProfile(store)));
  } catch (const std::exception& e) {
    AnswerError(result, GetSelectedProfileError(e.what()));
  } catch (...) {
    AnswerError(result, GetSelectedProfileError("Unknown exception"));
  }
}

void SetSelectedColorProfile(platform::SettingsStore* store, const MethodCall& call, MethodResult& result) {
  try {
    const EncodableMap* arguments = ArgumentMap(call);
    if (arguments == nullptr) return AnswerError(result, kArgumentsMustBeMap);
    const std::optional<std::string> id = LookUp(*arguments, "profileId", kString).value;
    if (!id) return AnswerError(result, kProfileIdMustBeString);
    if (!SaveSelectedColorProfile(store, *id)) return AnswerError(result, kFailedToSetColorProfile);
    result.Success(EncodableValue(true));
  } catch (const std::exception& e) {
    AnswerError(result, SetProfileError(e.what()));
  } catch (...) {
    AnswerError(result, SetProfileError("Unknown exception"));
  }
}

// The failure row of a bake the host ends before it could run: the row a failing bake answers.
void BakeStopped(const MethodCall&, MethodResult& result) {
  AnswerError(result, BakingException("Baking stopped: the application is closing"));
}

}  // namespace

MethodHandler MakeBakeImagesForPrintingHandler(ParallelBakeSetup setup, const platform::SettingsStore* settings) {
  return [setup = std::move(setup), settings](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    BakeImagesForPrinting(setup, nullptr, settings, call, *result);
  };
}

MethodHandler MakeBakeImagesForPrintingHandler(const Services& services) {
  ParallelBakeSetup setup;
  setup.files = services.files;
  setup.clock = services.clock;
  setup.hardware_threads = services.hardware_threads;
  ThreadRegistry* const threads = services.threads;
  setup.stopping = [threads] { return threads != nullptr && threads->stopping(); };
  setup.progressed = [pending = services.pending] {
    if (pending != nullptr) pending->Progressed();
  };
  auto tools = std::make_shared<const BakeTools>(
      BakeTools{services.graphics, services.files, services.clock, services.bakes, services.colour});
  const platform::SettingsStore* const settings = services.settings;
  MethodHandler handler = [setup = std::move(setup), tools, settings](const MethodCall& call,
                                                                     std::unique_ptr<MethodResult> result) {
    BakeImagesForPrinting(setup, tools.get(), settings, call, *result);
  };
  // The bake waits on files and workers: it runs on the bake lane, never on the platform thread.
  return OnLane(services.lanes ? &services.lanes->bakes : nullptr, services.pending, "bake", BakeStopped,
                std::move(handler));
}

MethodHandler MakeGetColorProfilesHandler(const Services&) {
  return [](const MethodCall&, std::unique_ptr<MethodResult> result) { GetColorProfiles(*result); };
}

MethodHandler MakeGetSelectedColorProfileHandler(const Services& services) {
  platform::SettingsStore* settings = services.settings;
  return [settings](const MethodCall&, std::unique_ptr<MethodResult> result) {
    GetSelectedColorProfile(settings, *result);
  };
}

MethodHandler MakeSetSelectedColorProfileHandler(const Services& services) {
  platform::SettingsStore* settings = services.settings;
  return [settings](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    SetSelectedColorProfile(settings, call, *result);
  };
}

std::vector<MethodEntry> BakingMethodTable(const Services& services) {
  return {
      {"bakeImagesForPrinting", MakeBakeImagesForPrintingHandler(services)},
      {"getColorProfiles", MakeGetColorProfilesHandler(services)},
      {"getSelectedColorProfile", MakeGetSelectedColorProfileHandler(services)},
      {"setSelectedColorProfile", MakeSetSelectedColorProfileHandler(services)},
  };
}

EncodableMap BakeResultToMap(const BakeResult& result) {
  EncodableMap map{
      {EncodableValue("success"), EncodableValue(result.success)},
      {EncodableValue("index"), EncodableValue(result.index)},
  };
  if (result.success) {
    map.emplace(EncodableValue("bakedPath"), EncodableValue(result.baked_path));
  } else {
    map.emplace(EncodableValue("error"), EncodableValue(result.error));
    if (!result.reason.empty()) map.emplace(EncodableValue("reason"), EncodableValue(result.reason));
  }
  return map;
}

}  // namespace runner::printing
