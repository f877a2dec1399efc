// Colour profiles: the offered list, display names, and the stored selection.
#include "runner/printing/baking/color_profiles.h"

#include <optional>

#include "base/utf8.h"
#include "imaging/colour/output_space.h"
#include "platform/settings_store.h"
#include "runner/log.h"

namespace runner::printing {

std::vector<ColorProfileInfo> GetAvailableColorProfiles() {
  return {
      {"srgb", "sRGB (מומלץ למרבית המדפסות)", true},
      {"adobe_rgb", "Adobe RGB (1998)", true},
      {"no_conversion", "ללא המרה (צבעים מקוריים)", true},
      {"custom", "פרופיל מותאם (ICC/ICM)", true},
  };
}

std::string GetColorProfileDisplayName(const std::string& id) {
  constexpr std::string_view kCustomPrefix = "custom:";
  if (id.size() > 6 && std::string_view(id).substr(0, kCustomPrefix.size()) == kCustomPrefix) {
    const std::string path = id.substr(kCustomPrefix.size());
    const size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos) return "פרופיל מותאם";
    return "מותאם: " + path.substr(separator + 1);
  }
  for (const ColorProfileInfo& profile : GetAvailableColorProfiles()) {
    if (profile.id == id) return profile.display_name;
  }
  return "sRGB (ברירת מחדל)";
}

std::string LoadSelectedColorProfile(const platform::SettingsStore* store) {
  if (store == nullptr) return kDefaultColorProfile;
  const std::optional<std::string> stored = store->Get(kColorProfileSettingName);
  // The stored text and its NUL must fit the 256-byte read buffer.
  if (!stored || stored->size() > kMaxColorProfileIdBytes) return kDefaultColorProfile;
  std::string id = stored->substr(0, stored->find('\0'));
  // A hand-edited file could hold bytes that are not text; the channel sends only UTF-8.
  if (!base::IsValidUtf8(id)) return kDefaultColorProfile;
  return id;
}

bool SaveSelectedColorProfile(platform::SettingsStore* store, const std::string& id_in) {
  const std::string id = id_in.substr(0, id_in.find('\0'));
  if (store == nullptr) {
    LogLine("ERROR: Failed to create registry key for color profile");
    return false;
  }
  if (id.size() > kMaxColorProfileIdBytes || id.find_first_of("\r\n") != std::string::npos) {
    LogLine("ERROR: Failed to save color profile to registry");
    return false;
  }
  const base::Status saved = store->Set(kColorProfileSettingName, id);
  if (saved.ok()) {
    OutputLine("INFO: Color profile set to: " + id);
    return true;
  }
  // The lines name the step as the registry's steps were named: making the store, or writing the value.
  LogLine(saved.Is(base::Status::Code::kUnavailable) ? "ERROR: Failed to create registry key for color profile"
                                                      : "ERROR: Failed to save color profile to registry");
  return false;
}

void ApplyColorProfile(bool has_canvas, const std::string& id, const imaging::colour::OutputSpace& output) {
  if (!has_canvas) return;
  OutputLine("INFO: Color profile selected: " + GetColorProfileDisplayName(id));
  OutputLine(output.profile ? "INFO: Colors converted to " + output.profile->name() : "INFO: Colors kept as stored");
}

}  // namespace runner::printing
