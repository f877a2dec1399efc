// Sheet request arguments: the keys in their order, with the forms of each method.
#include "runner/printing/sheets/sheet_arguments.h"

#include <cfloat>
#include <cmath>

#include "runner/channel_args.h"

namespace runner::printing {
namespace {

// A double the job can use: NaN and infinities count as a value of the wrong kind.
struct FiniteDoubleForm {
  using Value = double;
  static std::optional<Value> Take(const EncodableValue& value) {
    std::optional<double> taken = DoubleForm::Take(value);
    if (!taken || !std::isfinite(*taken)) return std::nullopt;
    return taken;
  }
};

// A value for a single-precision field: finite and within float's range, from the given form.
template <class Form>
struct FloatFieldForm {
  using Value = double;
  static std::optional<Value> Take(const EncodableValue& value) {
    std::optional<double> taken = Form::Take(value);
    if (!taken || !std::isfinite(*taken) || std::fabs(*taken) > FLT_MAX) return std::nullopt;
    return taken;
  }
};

std::string UpToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

// A list of strings at `key`; fails the reader on a list of another kind or any non-string element.
std::vector<std::string> ReadPathList(const EncodableMap& map, std::string_view key, bool required,
                                      std::optional<ChannelError>& failure) {
  std::vector<std::string> paths;
  if (failure) return paths;
  const KeyLookup<const EncodableList*> list = LookUp(map, key, kList);
  if (list.outcome == LookupOutcome::kAbsent) {
    if (required) failure = ChannelError(kMissingRequiredParameters);
    return paths;
  }
  if (list.outcome == LookupOutcome::kWrongKind) {
    failure = InvalidTypeForKey(key);
    return paths;
  }
  paths.reserve((*list.value)->size());
  for (const EncodableValue& element : **list.value) {
    const std::optional<std::string> path = Read(&element, kString);
    if (!path) {
      failure = InvalidTypeForKey(key);
      return {};
    }
    paths.push_back(UpToNul(*path));
  }
  return paths;
}

template <class Form>
void ReadEffectReals(const EncodableMap& map, mosalith::EffectRecord& record) {
  const std::pair<const char*, float*> fields[] = {
      {"brightness", &record.brightness}, {"contrast", &record.contrast},
      {"saturation", &record.saturation}, {"exposure", &record.exposure},
      {"grayscale", &record.grayscale},   {"temperature", &record.temperature},
      {"sharpness", &record.sharpness},   {"wbTint", &record.wbTint},
      {"shadow", &record.shadow},         {"scale", &record.scale},
      {"offsetX", &record.offsetX},       {"offsetY", &record.offsetY},
      {"viewportWidth", &record.viewportWidth}, {"viewportHeight", &record.viewportHeight},
      {"stroke", &record.stroke},         {"strokeScale", &record.strokeScale},
      {"gamma", &record.gamma},
  };
  for (const auto& [key, field] : fields) {
    const KeyLookup<double> found = LookUp(map, key, FloatFieldForm<Form>{});
    if (found.value) *field = static_cast<float>(*found.value);
  }
}

mosalith::EffectRecord ReadEffectRecord(const EncodableValue& element, SheetMethod method) {
  mosalith::EffectRecord record;
  const std::optional<const EncodableMap*> map = Read(&element, kMap);
  if (!map) return record;
  if (method == SheetMethod::kBackground) {
    ReadEffectReals<NumberForm>(**map, record);
  } else {
    ReadEffectReals<DoubleForm>(**map, record);
  }
  // The colour travels as a double holding a 64-bit integer; only its low 32 bits are the colour.
  const KeyLookup<double> colour = LookUp(**map, "strokeColor", FiniteDoubleForm{});
  if (colour.value && *colour.value >= -0x1p63 && *colour.value < 0x1p63) {
    record.strokeColor = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(*colour.value)));
  }
  const KeyLookup<double> external = LookUp(**map, "strokeExternal", FiniteDoubleForm{});
  if (external.value) record.strokeExternal = *external.value >= 0.5;
  return record;
}

}  // namespace

std::optional<SheetRequest> ReadSheetRequest(const EncodableValue* arguments, SheetMethod method, ChannelError* error) {
  const std::optional<const EncodableMap*> map_value = Read(arguments, kMap);
  if (!map_value) {
    *error = kExpectedMapOfArguments;
    return std::nullopt;
  }
  const EncodableMap& map = **map_value;
  if (FindKey(map, "imagePaths") == nullptr || FindKey(map, "outputPaths") == nullptr) {
    *error = kMissingRequiredParameters;
    return std::nullopt;
  }

  SheetRequest request;
  std::optional<ChannelError> failure;
  request.images = ReadPathList(map, "imagePaths", true, failure);
  request.outputs = ReadPathList(map, "outputPaths", true, failure);
  request.frames = ReadPathList(map, "framePaths", false, failure);
  if (failure) {
    *error = *failure;
    return std::nullopt;
  }

  ArgReader args(map);
  const std::pair<const char*, int32_t*> integers[] = {
      {"rows", &request.rows},
      {"columns", &request.cols},
      {"pageWidth", &request.pageWidth},
      {"pageHeight", &request.pageHeight},
      {"marginLeft", &request.marginLeft},
      {"marginRight", &request.marginRight},
      {"marginTop", &request.marginTop},
      {"marginBottom", &request.marginBottom},
  };
  for (const auto& [key, field] : integers) {
    if (std::optional<int32_t> value = args.Required(key, kInt32, kMissingRequiredParameters)) *field = *value;
  }
  request.jpegQuality = args.Optional("jpegQuality", kInt32).value_or(95);
  request.showCutGrid = method == SheetMethod::kBackground ? args.Or("showCutGrid", kBool, false)
                                                           : args.Or("showCutGrid", kBoolOrInt32, false);
  request.cutGridWidthMm = args.Optional("cutGridWidthMm", FiniteDoubleForm{}).value_or(0.1);
  request.cutGridColor = UpToNul(args.Optional("cutGridColor", kString).value_or("darkGray"));
  request.dpi = args.Or("dpi", kInt32OrDouble, 450);

  const EncodableList* effects = nullptr;
  if (method == SheetMethod::kBackground) {
    effects = args.Optional("imageEffects", kList).value_or(nullptr);
    request.magnetAspectRatio = args.Optional("magnetAspectRatio", FiniteDoubleForm{}).value_or(0.0);
  } else {
    effects = args.Or("imageEffects", kList, nullptr);
  }
  if (!args.ok()) {
    *error = *args.failure();
    return std::nullopt;
  }
  if (effects != nullptr) {
    request.effects.reserve(effects->size());
    for (const EncodableValue& element : *effects) request.effects.push_back(ReadEffectRecord(element, method));
  }
  return request;
}

}  // namespace runner::printing
