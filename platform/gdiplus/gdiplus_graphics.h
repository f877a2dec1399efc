// GdiplusGraphics: the Graphics port on Windows. GDI+ draws (the canvas); WIC decodes PNG files, and JPEG
// files when asked to, reducing them with its scaler, and encodes PNG; libjpeg-turbo, the Linux adapter's
// codec, encodes JPEG and by default decodes it.
//
// Why libjpeg-turbo for JPEG: GDI+'s and WIC's JPEG encoders cannot keep the port's promises (their
// quality setting is ignored under Wine, and neither lets the chroma subsampling or the JFIF density be
// chosen); and WIC reduces only after decoding the whole picture where its decoder cannot scale while it
// decodes (always under Wine: a 12-megapixel photo takes about 1.6 s and 48 MB there, against a few
// hundredths of a second and an eighth of the memory for libjpeg-turbo's M/8 decode). Both builds then
// give the same pixels and the same bytes. Headers, orientation and resolution come from the one picture
// header reader, which reads only the header, never the whole file.
#pragma once

#include "platform/gdiplus/gdiplus_session.h"
#include "platform/graphics.h"

namespace platform {

// Which library decodes JPEG files; PNG files are always WIC's.
enum class JpegDecoder {
  kLibjpegTurbo,  // at the M/8 scale that serves the target, while decoding (the Linux adapter's decoder)
  kWic,           // WIC's decoder, reduced by its scaler after the whole picture is decoded (see above)
};

// Every call makes its own WIC objects, so any number of threads may use one instance. GDI+ runs while
// the instance lives (its own session; IsReady says whether it started). Decoded pictures, canvases and
// the copies drawing makes take their memory from `budget` (none: not counted).
class GdiplusGraphics : public Graphics {
 public:
  explicit GdiplusGraphics(MemoryBudget* budget = nullptr, JpegDecoder jpeg = JpegDecoder::kLibjpegTurbo);

  // False when GDI+ did not start: canvases are then refused (kGenericError); decoding and encoding work.
  bool IsReady() const { return session_.running(); }

  GraphicsStatus ReadInfo(const std::string& path, ImageInfo* info) const override;
  GraphicsStatus Decode(const std::string& path, const DecodeOptions& options, DecodedImage* out) const override;
  std::unique_ptr<Canvas> CreateCanvas(int width_px, int height_px, GraphicsStatus* status = nullptr) const override;
  GraphicsStatus EncodeJpeg(const Bitmap& image, int quality, std::vector<uint8_t>* out,
                            int density_dpi = 0) const override;
  GraphicsStatus EncodePng(const Bitmap& image, std::vector<uint8_t>* out) const override;
  // GDI+'s settle, poll and drain pauses (GdiplusSession::BakeWaits).
  LibraryWaits BakeWaits() const override { return GdiplusSession::BakeWaits(); }

 private:
  MemoryBudget* budget_;
  JpegDecoder jpeg_;
  GdiplusSession session_;
};

}  // namespace platform
