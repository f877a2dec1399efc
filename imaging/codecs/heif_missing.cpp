// HEIF (HEIC) and AVIF in a build without libheif: refused by name, as "unsupported format HEIC".
#include "imaging/codecs/codec.h"

namespace imaging::codecs {

bool HeifDecoderAvailable(PictureFormat) { return false; }

base::StatusOr<PictureInfo> ReadHeifInfo(const ReadAtFunction&, uint64_t) {
  return base::Status::Unsupported("unsupported format HEIC");
}

base::Status DecodeHeif(const Input& input, RowSink&, ColourDescription*) {
  return base::Status::Unsupported(std::string("unsupported format ") + FormatName(input.info->format));
}

}  // namespace imaging::codecs
