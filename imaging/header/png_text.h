// The text entries of a PNG file (tEXt chunks, and uncompressed iTXt ones) before its image data: where
// the shared thumbnail cache keeps "Thumb::URI" and "Thumb::MTime".
// Pure code over the file's bytes; every chunk length is checked against the bytes there are.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace imaging {

// Keyword to text, the first entry of each keyword winning; nothing when `png` is not a PNG file.
std::optional<std::map<std::string, std::string>> ReadPngText(const std::vector<uint8_t>& png);

}  // namespace imaging
