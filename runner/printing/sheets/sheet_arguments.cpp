// Sheet request arguments: the grid job's field table read with the forms of each method.
#include "runner/printing/sheets/sheet_arguments.h"

#include <cfloat>
#include <cmath>

#include "helper/grid_job_fields.h"
#include "runner/channels/channel_args.h"

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

bool HasRange(const mosalith::SettingField& field) {
  return field.min_value != field.max_value || field.min_real != field.max_real;
}

// "1 to 100", "0 to 10".
std::string RangeText(double low, double high) {
  auto text = [](double v) {
    std::string s = std::to_string(v);
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
    return s;
  };
  return text(low) + " to " + text(high);
}

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

// The effect values a photo's record takes: finite and within a float's range (others leave the neutral
// value), and a zoom ("scale") finite and above 0: a zoom of 0 or below has no picture to show, so it
// refuses the request, naming the entry and key.
template <class Form>
void ReadEffectReals(const EncodableMap& map, size_t entry, mosalith::EffectRecord& record,
                     std::optional<ChannelError>& refused) {
  for (const mosalith::EffectField& field : mosalith::kEffectFields) {
    if (field.kind != mosalith::EffectKind::kReal) continue;
    const std::optional<double> value = LookUp(map, field.name, Form{}).value;
    if (!value) continue;
    const bool usable = std::isfinite(*value) && std::fabs(*value) <= FLT_MAX;
    if (field.name == "scale" && (!usable || *value <= 0)) {
      if (!refused) {
        refused = InvalidValueForKey("imageEffects[" + std::to_string(entry) + "].scale", "a finite number above 0");
      }
      continue;
    }
    if (!usable) continue;
    record.*field.real = static_cast<float>(*value);
  }
}

mosalith::EffectRecord ReadEffectRecord(const EncodableValue& element, size_t entry, SheetMethod method,
                                        std::optional<ChannelError>& refused) {
  mosalith::EffectRecord record;
  const std::optional<const EncodableMap*> map = Read(&element, kMap);
  if (!map) return record;
  if (method == SheetMethod::kBackground) {
    ReadEffectReals<NumberForm>(**map, entry, record, refused);
  } else {
    ReadEffectReals<DoubleForm>(**map, entry, record, refused);
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

// "imageFaces": per photo, a list of rectangles in fractions of the upright photo. Nothing when absent;
// a failure for anything but lists of maps of four finite numbers.
std::optional<std::vector<std::vector<mosalith::FaceArea>>> ReadFaces(const EncodableMap& map, bool* bad) {
  const KeyLookup<const EncodableList*> list = LookUp(map, "imageFaces", kList);
  *bad = list.outcome == LookupOutcome::kWrongKind;
  if (!list.value) return std::nullopt;
  std::vector<std::vector<mosalith::FaceArea>> faces;
  for (const EncodableValue& photo : **list.value) {
    const std::optional<const EncodableList*> rects = Read(&photo, kList);
    if (!rects) return *bad = true, std::nullopt;
    faces.emplace_back();
    for (const EncodableValue& rect : **rects) {
      const std::optional<const EncodableMap*> sides = Read(&rect, kMap);
      if (!sides) return *bad = true, std::nullopt;
      mosalith::FaceArea area;
      for (const auto& [name, value] : {std::pair{"left", &area.left}, std::pair{"top", &area.top},
                                        std::pair{"width", &area.width}, std::pair{"height", &area.height}}) {
        const KeyLookup<double> side = LookUp(**sides, name, FiniteDoubleForm{});
        if (!side.value) return *bad = true, std::nullopt;
        *value = *side.value;
      }
      if (faces.back().size() < mosalith::kMaxFacesPerPhoto) faces.back().push_back(area);
    }
  }
  return faces;
}

// The photo, frame and other path lists, the required ones first; nothing when they all read, else the
// answer for the first that failed. A missing required list fails before any list is read.
std::optional<ChannelError> ReadPathLists(const EncodableMap& map, mosalith::GridJob& request) {
  for (const mosalith::ListField& list : mosalith::kListFields) {
    if (list.required && FindKey(map, list.argument) == nullptr) return ChannelError(kMissingRequiredParameters);
  }
  std::optional<ChannelError> failure;
  for (const bool required : {true, false}) {
    for (const mosalith::ListField& list : mosalith::kListFields) {
      if (list.required == required) request.*list.paths = ReadPathList(map, list.argument, required, failure);
    }
  }
  return failure;
}

// Reads the settings table's keys over the job's defaults. A key of the wrong kind fails `args` (which
// then reads nothing more); a value of the right kind outside what its key takes is a refusal: the value
// is still taken, only the first refusal is kept, and it is the answer even when `args` fails later.
struct SettingReader {
  const EncodableMap& map;
  ArgReader& args;
  SheetMethod method;
  mosalith::GridJob& request;
  std::optional<ChannelError> refused;

  void Refuse(const ChannelError& error) {
    if (!refused) refused = error;
  }
};

using mosalith::Requirement;
using mosalith::SettingField;

// An integer: a checked or ranged optional one is refused outside its range, a required one must be
// present, any other is taken as given.
void ReadIntegerSetting(SettingReader& reader, const SettingField& field) {
  const std::string_view key = field.argument;
  int32_t& target = reader.request.*field.integer;
  if (field.requirement == Requirement::kChecked || (HasRange(field) && field.requirement == Requirement::kOptional)) {
    const std::optional<int32_t> value = reader.args.Optional(key, kInt32);
    if (!value) return;
    if (*value < field.min_value || *value > field.max_value) {
      reader.Refuse(InvalidValueForKey(key, std::to_string(field.min_value) + " to " + std::to_string(field.max_value)));
    }
    target = *value;
  } else if (field.requirement == Requirement::kRequired) {
    if (std::optional<int32_t> value = reader.args.Required(key, kInt32, kMissingRequiredParameters)) target = *value;
  } else if (std::optional<int32_t> value = reader.args.Optional(key, kInt32)) {
    target = *value;
  }
}

// A flag: a checked one must be a bool; the others keep their default on a value of another kind, and
// the blocking methods also take an integer.
void ReadFlagSetting(SettingReader& reader, const SettingField& field) {
  bool& target = reader.request.*field.flag;
  if (field.requirement == Requirement::kChecked) {
    target = reader.args.Optional(field.argument, kBool).value_or(target);
  } else {
    target = reader.method == SheetMethod::kBackground ? reader.args.Or(field.argument, kBool, target)
                                                       : reader.args.Or(field.argument, kBoolOrInt32, target);
  }
}

// A finite double, refused outside its range when it has one.
void ReadRealSetting(SettingReader& reader, const SettingField& field) {
  const std::optional<double> value = reader.args.Optional(field.argument, FiniteDoubleForm{});
  if (!value) return;
  if (HasRange(field) && (*value < field.min_real || *value > field.max_real)) {
    reader.Refuse(InvalidValueForKey(field.argument, RangeText(field.min_real, field.max_real)));
  }
  reader.request.*field.real = *value;
}

// A whole number carried in a double. A number of either kind must mean a value in range (NaN does
// not); another kind keeps the default.
void ReadWholeRealSetting(SettingReader& reader, const SettingField& field) {
  const EncodableValue* given = FindKey(reader.map, field.argument);
  const bool number =
      given != nullptr && (std::holds_alternative<int32_t>(*given) || std::holds_alternative<double>(*given));
  const std::optional<int32_t> whole = number ? Read(given, kInt32OrDouble) : std::nullopt;
  if (number && HasRange(field) && (!whole || *whole < field.min_value || *whole > field.max_value)) {
    reader.Refuse(InvalidValueForKey(field.argument, RangeText(field.min_value, field.max_value)));
  }
  double& target = reader.request.*field.real;
  target = whole.value_or(static_cast<int32_t>(target));
}

// Reads one setting over its default, by its kind.
void ReadSetting(SettingReader& reader, const SettingField& field) {
  const std::string_view key = field.argument;
  switch (field.kind) {
    case mosalith::SettingKind::kInteger:
      ReadIntegerSetting(reader, field);
      break;
    case mosalith::SettingKind::kFlag:
      ReadFlagSetting(reader, field);
      break;
    case mosalith::SettingKind::kReal:
      ReadRealSetting(reader, field);
      break;
    case mosalith::SettingKind::kWholeReal:
      ReadWholeRealSetting(reader, field);
      break;
    case mosalith::SettingKind::kText:
      if (std::optional<std::string> value = reader.args.Optional(key, kString)) {
        reader.request.*field.text = UpToNul(*value);
      }
      break;
    case mosalith::SettingKind::kChoice:
      if (std::optional<std::string> value = reader.args.Optional(key, kString)) {
        if (!mosalith::IsChoiceOf(field, *value)) reader.Refuse(InvalidValueForKey(key, mosalith::ChoiceList(field)));
        reader.request.*field.text = *value;
      }
      break;
  }
}

// Every setting the methods share, in the table's order, then whether the sheets state a resolution.
void ReadSharedSettings(SettingReader& reader) {
  for (const SettingField& field : mosalith::kSettingFields) {
    if (field.requirement != Requirement::kBackgroundOnly && !field.argument.empty()) ReadSetting(reader, field);
  }
  // Sheets state a resolution only when the request names one: a page designed without one prints
  // fitted to the paper, not at the helper's default millimetre resolution.
  const std::optional<int32_t> named_dpi = Read(FindKey(reader.map, "dpi"), kInt32OrDouble);
  reader.request.sheetDensity = named_dpi && *named_dpi > 0;
}

// The "imageEffects" list (null when there is none), then, for the background method, the settings
// only it takes. The background method refuses a list of another kind; the others ignore it.
const EncodableList* ReadEffectsListAndBackgroundSettings(SettingReader& reader) {
  if (reader.method != SheetMethod::kBackground) return reader.args.Or("imageEffects", kList, nullptr);
  const EncodableList* effects = reader.args.Optional("imageEffects", kList).value_or(nullptr);
  for (const SettingField& field : mosalith::kSettingFields) {
    if (field.requirement == Requirement::kBackgroundOnly) ReadSetting(reader, field);
  }
  return effects;
}

// One effect record per entry of `effects`; nothing when they all read, else the first refusal.
std::optional<ChannelError> ReadEffectRecords(const EncodableList& effects, SheetMethod method,
                                              mosalith::GridJob& request) {
  std::optional<ChannelError> refused;
  request.effects.reserve(effects.size());
  for (const EncodableValue& element : effects) {
    request.effects.push_back(ReadEffectRecord(element, request.effects.size(), method, refused));
  }
  return refused;
}

// The face rectangles, kept for no more photos than the job has; false on a list not of the right form.
bool ReadFaceList(const EncodableMap& map, mosalith::GridJob& request) {
  bool bad_faces = false;
  std::optional<std::vector<std::vector<mosalith::FaceArea>>> faces = ReadFaces(map, &bad_faces);
  if (bad_faces) return false;
  if (faces) {
    if (faces->size() > request.images.size()) faces->resize(request.images.size());
    request.faces = std::move(*faces);
  }
  return true;
}

}  // namespace

std::optional<mosalith::GridJob> ReadSheetRequest(const EncodableValue* arguments, SheetMethod method,
                                                  ChannelError* error) {
  const std::optional<const EncodableMap*> map_value = Read(arguments, kMap);
  if (!map_value) {
    *error = kExpectedMapOfArguments;
    return std::nullopt;
  }
  const EncodableMap& map = **map_value;
  mosalith::GridJob request;
  if (const std::optional<ChannelError> failure = ReadPathLists(map, request)) {
    *error = *failure;
    return std::nullopt;
  }

  ArgReader args(map);
  SettingReader reader{map, args, method, request, std::nullopt};
  ReadSharedSettings(reader);
  const EncodableList* effects = ReadEffectsListAndBackgroundSettings(reader);
  if (!args.ok() || reader.refused) {
    // A refusal is only ever made while the reader is ok.
    *error = reader.refused ? *reader.refused : *args.failure();
    return std::nullopt;
  }
  if (effects != nullptr) {
    if (const std::optional<ChannelError> refused = ReadEffectRecords(*effects, method, request)) {
      *error = *refused;
      return std::nullopt;
    }
  }
  if (!ReadFaceList(map, request)) {
    *error = InvalidTypeForKey("imageFaces");
    return std::nullopt;
  }
  return request;
}

}  // namespace runner::printing
