// GdiplusGraphics: the Graphics port on Windows. GDI+ draws (the canvas); pictures are decoded and
// encoded by the image core (imaging/), as on Linux, so both builds give the same pixels and the same
// bytes. GDI+'s and WIC's codecs are not used: their JPEG encoders cannot keep the port's promises (the
// quality setting is ignored under Wine, neither lets the chroma subsampling or the JFIF density be
// chosen), and WIC reduces only after decoding the whole picture where its decoder cannot scale while it
// decodes (always under Wine).
#pragma once

#include "platform/gdiplus/gdiplus_session.h"
#include "platform/graphics.h"

namespace platform {

// Every call makes its own library handles, so any number of threads may use one instance. GDI+ runs while
// the instance lives (its own session; IsReady says whether it started). Decoded pictures, canvases and
// the copies drawing makes take their memory from `budget` (none: not counted).
class GdiplusGraphics : public Graphics {
 public:
  explicit GdiplusGraphics(imaging::MemoryBudget* budget = nullptr);

  // False when GDI+ did not start: canvases are then refused (kFailed); decoding and encoding work.
  bool IsReady() const { return session_.running(); }

  GraphicsStatus ReadInfo(const std::string& path, ImageInfo* info, std::string* reason = nullptr) const override;
  GraphicsStatus Decode(const std::string& path, const DecodeOptions& options, DecodedImage* out,
                        std::string* reason = nullptr) const override;
  std::unique_ptr<Canvas> CreateCanvas(int width_px, int height_px, GraphicsStatus* status = nullptr) const override;
  GraphicsStatus EncodeJpeg(const imaging::Bitmap& image, int quality, std::vector<uint8_t>* out,
                            int density_dpi = 0) const override;
  GraphicsStatus EncodePng(const imaging::Bitmap& image, std::vector<uint8_t>* out) const override;

 private:
  imaging::MemoryBudget* budget_;
  GdiplusSession session_;
};

}  // namespace platform
