// Colour profiles: the list offered to the user, the stored selection and the display names (the three
// methods that read and change them are in baking_channel.h).
//
// The selection acts on every output (runner/colour_output.h, imaging/colour/output_space.h): bakes and
// sheets are converted into its space and carry its profile; "no_conversion" keeps the numbers as stored.
// The selection is kept under the settings name "ColorProfile". Reading follows the rules of a 256-byte
// read buffer: nothing stored, an unreadable store, or a value of 256 bytes or more reads as "srgb"; an
// empty stored value reads as the empty string; the value ends at its first NUL.
// Thread safety: the functions are re-entrant; the store states its own.
#pragma once

#include <string>
#include <vector>

namespace platform {
class SettingsStore;
}

namespace imaging::colour {
struct OutputSpace;
}

namespace runner::printing {

struct ColorProfileInfo {
  std::string id;            // stored as the selection
  std::string display_name;  // UTF-8, shown to the user
  bool is_built_in = true;
};

inline constexpr char kDefaultColorProfile[] = "srgb";
inline constexpr char kColorProfileSettingName[] = "ColorProfile";
// The longest id that can be stored and read back (the read buffer holds the id and its NUL).
inline constexpr size_t kMaxColorProfileIdBytes = 255;

// The offered profiles, always the same four in the same order, built anew on every call.
std::vector<ColorProfileInfo> GetAvailableColorProfiles();

// "custom:<path>" gives "מותאם: " + the path's file name (after its last '\' or '/'), or "פרופיל מותאם"
// when the path has no separator; a listed id gives its display name; anything else "sRGB (ברירת מחדל)".
std::string GetColorProfileDisplayName(const std::string& id);

// The stored selection, or "srgb" (see the reading rules above). `store` may be null: "srgb".
std::string LoadSelectedColorProfile(const platform::SettingsStore* store);

// Stores `id` (up to its first NUL). Refuses ids longer than kMaxColorProfileIdBytes and ids holding CR
// or LF, which could never be read back whole. On success logs "INFO: Color profile set to: <id>" to
// standard output and returns true; on failure logs the step that failed on standard error and returns
// false. `store` may be null: the store cannot be created.
bool SaveSelectedColorProfile(platform::SettingsStore* store, const std::string& id);

// Called by the bake for every rendered canvas (already converted): two notice lines on standard output,
// the selection's display name and the space the canvas is in. Does nothing when there is no canvas.
void ApplyColorProfile(bool has_canvas, const std::string& id, const imaging::colour::OutputSpace& output);

}  // namespace runner::printing
