// ThumbnailCache: the desktop's shared thumbnail cache, read only: previews other programs already made.
//
// Thread safety: every method may be called from any thread at once.
#pragma once

#include <optional>
#include <string>

namespace platform {

class ThumbnailCache {
 public:
  virtual ~ThumbnailCache() = default;

  // The path of a PNG preview of the file `path` (UTF-8) whose longer side the cache keeps at
  // up to at least `min_side_px` pixels, taken from the smallest such size class that holds a valid
  // entry: one made for this file's URI and its current modification time. The path is made canonical
  // before its URI is formed ("." and ".." resolved, repeated '/' merged, relative paths taken from the
  // working folder; links resolved as a second try). Nothing when there is none (no entry, a stale or
  // foreign one, a size past the largest class). The cache is never written.
  virtual std::optional<std::string> FindEntry(const std::string& path, int min_side_px) const = 0;
};

}  // namespace platform
