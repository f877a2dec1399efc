// Walking PNG chunks for text entries.
#include "imaging/header/png_text.h"

#include <cstring>

namespace imaging {

std::optional<std::map<std::string, std::string>> ReadPngText(const std::vector<uint8_t>& png) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (png.size() < sizeof kSignature || std::memcmp(png.data(), kSignature, sizeof kSignature) != 0) return std::nullopt;
  std::map<std::string, std::string> text;
  size_t at = sizeof kSignature;
  // Each chunk: length (4, big-endian), type (4), data, CRC (4).
  while (png.size() - at >= 12) {
    const uint64_t length = uint64_t{png[at]} << 24 | uint64_t{png[at + 1]} << 16 | uint64_t{png[at + 2]} << 8 | png[at + 3];
    const std::string type(reinterpret_cast<const char*>(png.data() + at + 4), 4);
    if (length > png.size() - at - 12) break;  // runs past the end
    const char* data = reinterpret_cast<const char*>(png.data() + at + 8);
    if (type == "IDAT" || type == "IEND") break;
    if (type == "tEXt" || type == "iTXt") {
      const std::string chunk(data, static_cast<size_t>(length));
      const size_t keyword_end = chunk.find('\0');
      if (keyword_end != std::string::npos) {
        const std::string keyword = chunk.substr(0, keyword_end);
        if (type == "tEXt") {
          text.emplace(keyword, chunk.substr(keyword_end + 1));
        } else if (chunk.size() > keyword_end + 2 && chunk[keyword_end + 1] == 0) {
          // iTXt: compression flag 0 (uncompressed), method, language tag NUL, translated keyword NUL, text.
          const size_t language_end = chunk.find('\0', keyword_end + 3);
          const size_t translated_end =
              language_end == std::string::npos ? std::string::npos : chunk.find('\0', language_end + 1);
          if (translated_end != std::string::npos) text.emplace(keyword, chunk.substr(translated_end + 1));
        }
      }
    }
    at += static_cast<size_t>(length) + 12;
  }
  return text;
}

}  // namespace imaging
