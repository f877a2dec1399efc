// GlibThumbnailCache: the ThumbnailCache over the freedesktop.org shared thumbnail cache
// (${XDG_CACHE_HOME:-~/.cache}/thumbnails/{normal,large,x-large,xx-large}/MD5(file URI).png), with GLib
// making the file URI and its MD5 name exactly as file managers do.
#pragma once

#include <string>

#include "platform/thumbnail_cache.h"

namespace platform {

// Thread safety: every method may be called from any thread at once.
class GlibThumbnailCache : public ThumbnailCache {
 public:
  // Reads the cache under `cache_home` (the XDG cache folder), or, when empty, under $XDG_CACHE_HOME
  // (if absolute), else $HOME/.cache, looked up at each call.
  explicit GlibThumbnailCache(std::string cache_home = {});

  std::optional<std::string> FindEntry(const std::string& path, int min_side_px) const override;

 private:
  std::string cache_home_;
};

}  // namespace platform
