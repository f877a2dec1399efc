// Bake single image: render one accepted request in the output space of its colour profile, and write it
// as a new JPEG file in the bake's output folder, carrying that space's profile.
//
// Never throws: every failure, exceptions included, becomes a failed BakeResult with its text:
//   "Failed to initialize GDI+"                     the graphics library cannot be started
//   "Failed to render image with effects"           the render gave no canvas
//   "Failed to save baked image, GDI+ status=<n>"   encoding or writing failed (n: platform::GraphicsStatus)
//   "Exception during baking: <text>"               an exception with text
//   "Unknown exception during baking"               any other exception
// The file is created new (an existing name is never replaced: the next counter value is tried), written
// from memory and closed with its close checked; a failed write leaves no file behind. Log lines go to
// standard error ("DEBUG: BakeSingleImage [<index>] ..."), the colour-profile notices to standard output.
// Thread safety: up to 8 workers run it at once; they share only BakeShared.
#pragma once

#include <cstdint>
#include <string>

#include "runner/printing/baking/bake_records.h"

namespace platform {
class Clock;
class FileSystem;
class Graphics;
}  // namespace platform

namespace imaging::colour {
class ColourTransforms;
struct OutputSpace;
}  // namespace imaging::colour

namespace runner::printing {

struct BakeShared;

// The ports and shared state a bake works with; all must outlive the bake.
struct BakeTools {
  const platform::Graphics* graphics = nullptr;
  platform::FileSystem* files = nullptr;
  const platform::Clock* clock = nullptr;  // local time of the file names
  BakeShared* shared = nullptr;
  imaging::colour::ColourTransforms* colour = nullptr;  // null: each image its own table
};

// How many counter values one file tries before it gives up on finding a free name.
inline constexpr int kMaxNameAttempts = 100;

// `output` is the output space of `profile_id`, resolved once for the whole bake; null: resolved here.
BakeResult BakeSingleImage(const BakeTools& tools, const BakeRequest& request, int32_t index,
                           const std::string& output_folder, const std::string& profile_id, int quality,
                           const imaging::colour::OutputSpace* output = nullptr);

}  // namespace runner::printing
