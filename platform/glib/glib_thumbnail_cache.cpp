// GlibThumbnailCache: URI and MD5 name through GLib, entries checked by URI and modification time.
#include "platform/glib/glib_thumbnail_cache.h"

#include <sys/stat.h>

#include <memory>
#include <vector>

#include <glib.h>

#include "imaging/header/png_text.h"
#include "platform/posix/file_primitives.h"

namespace platform {
namespace {

struct GFreeDeleter {
  void operator()(gchar* text) const { g_free(text); }
};
using GString_ = std::unique_ptr<gchar, GFreeDeleter>;

struct SizeClass {
  const char* folder;
  int side_px;
};
constexpr SizeClass kSizeClasses[] = {{"normal", 128}, {"large", 256}, {"x-large", 512}, {"xx-large", 1024}};
// Cache entries are small PNG files; anything bigger is not one.
constexpr size_t kMaxEntryBytes = 16 * 1024 * 1024;

// The whole regular file at `path` if it is at most kMaxEntryBytes.
std::optional<std::vector<uint8_t>> ReadSmallFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (ReadWholeFile(path, kMaxEntryBytes, &bytes) != 0) return std::nullopt;
  return bytes;
}

}  // namespace

GlibThumbnailCache::GlibThumbnailCache(std::string cache_home) : cache_home_(std::move(cache_home)) {}

std::optional<std::string> GlibThumbnailCache::FindEntry(const std::string& path, int min_side_px) const {
  if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
  const std::string home = cache_home_.empty() ? CacheFolder().value_or("") : cache_home_;
  if (home.empty()) return std::nullopt;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  const std::string mtime = std::to_string(static_cast<long long>(info.st_mtim.tv_sec));
  // File managers name an entry after the file's URI with "." and ".." resolved and repeated '/'
  // merged; a path reached through a link may have been seen through the link or at its target.
  std::vector<std::string> candidates;
  GString_ lexical(g_canonicalize_filename(path.c_str(), nullptr));
  if (lexical) candidates.emplace_back(lexical.get());
  if (char* resolved = ::realpath(path.c_str(), nullptr)) {
    if (candidates.empty() || candidates.front() != resolved) candidates.emplace_back(resolved);
    std::free(resolved);
  }
  for (const std::string& candidate : candidates) {
    GString_ uri(g_filename_to_uri(candidate.c_str(), nullptr, nullptr));
    if (!uri) continue;
    GString_ md5(g_compute_checksum_for_string(G_CHECKSUM_MD5, uri.get(), -1));
    if (!md5) continue;
    for (const SizeClass& size : kSizeClasses) {
      if (size.side_px < min_side_px) continue;
      const std::string entry = home + "/thumbnails/" + size.folder + "/" + md5.get() + ".png";
      std::optional<std::vector<uint8_t>> bytes = ReadSmallFile(entry);
      if (!bytes) continue;
      std::optional<std::map<std::string, std::string>> text = imaging::ReadPngText(*bytes);
      if (!text) continue;
      // An entry made for another file (an MD5 collision) or an older version of this one is stale.
      auto found_uri = text->find("Thumb::URI");
      auto found_mtime = text->find("Thumb::MTime");
      if (found_uri == text->end() || found_mtime == text->end()) continue;
      if (found_uri->second == uri.get() && found_mtime->second == mtime) return entry;
    }
  }
  return std::nullopt;
}

}  // namespace platform
