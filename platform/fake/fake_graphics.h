// FakeGraphics: a working in-memory Graphics for tests. Pictures are registered by path instead of read
// from files; the canvas is a plain software canvas (nearest-neighbour drawing, pixel-centre coverage, no
// antialiasing); the encoders write a small readable format instead of JPEG and PNG. Failures can be
// arranged per path and per operation.
#pragma once

#include <map>
#include <mutex>
#include <vector>

#include "platform/graphics.h"

namespace platform {

// Thread safety: every method may be called from any thread.
class FakeGraphics : public Graphics {
 public:
  // A picture at `path`, stored as `stored` with EXIF `orientation`, reported as `format`.
  void AddPicture(const std::string& path, imaging::Bitmap stored, int orientation = 1, ImageFormat format = ImageFormat::kJpeg);
  // A file whose header claims width_px x height_px (as a few hostile bytes can) but whose pixels decode,
  // at any reduction, to `decoded`.
  void AddClaimedPicture(const std::string& path, int width_px, int height_px, imaging::Bitmap decoded);
  // ReadInfo and Decode of `path` fail with `status`.
  void FailPath(const std::string& path, GraphicsStatus status);
  // Decode (only) of `path` fails with `status`; ReadInfo still answers.
  void FailDecode(const std::string& path, GraphicsStatus status);
  // The resolution ReadInfo and Decode report for the picture at `path` (added before).
  void SetResolution(const std::string& path, const imaging::PictureResolution& resolution);
  // What decoding the picture at `path` says of its colours (an embedded profile, PNG chunks).
  void SetColour(const std::string& path, imaging::ColourDescription colour);
  void FailCanvas(GraphicsStatus status);
  void FailEncode(GraphicsStatus status);

  // Every call's arguments, in order, for assertions.
  std::vector<int> jpeg_qualities() const;
  std::vector<int> jpeg_densities() const;
  std::vector<DecodeOptions> decode_options() const;

  // The picture a fake encoder wrote (either format): nothing for other bytes.
  static std::optional<imaging::Bitmap> ReadEncoded(const std::vector<uint8_t>& bytes);

  GraphicsStatus ReadInfo(const std::string& path, ImageInfo* info, std::string* reason = nullptr) const override;
  GraphicsStatus Decode(const std::string& path, const DecodeOptions& options, DecodedImage* out,
                        std::string* reason = nullptr) const override;
  std::unique_ptr<Canvas> CreateCanvas(int width_px, int height_px, GraphicsStatus* status = nullptr) const override;
  GraphicsStatus EncodeJpeg(const imaging::Bitmap& image, int quality, std::vector<uint8_t>* out,
                            int density_dpi = 0) const override;
  GraphicsStatus EncodePng(const imaging::Bitmap& image, std::vector<uint8_t>* out) const override;

 private:
  struct Picture {
    imaging::Bitmap stored;
    ImageInfo info;
    imaging::ColourDescription colour;
    bool claimed = false;  // `stored` is what decoding gives, whatever the header says
  };
  mutable std::mutex mutex_;
  std::map<std::string, Picture> pictures_;
  std::map<std::string, GraphicsStatus> path_failures_;
  std::map<std::string, GraphicsStatus> decode_failures_;
  GraphicsStatus canvas_failure_ = GraphicsStatus::kOk;
  GraphicsStatus encode_failure_ = GraphicsStatus::kOk;
  mutable std::vector<int> jpeg_qualities_;
  mutable std::vector<int> jpeg_densities_;
  mutable std::vector<DecodeOptions> decode_options_;
};

}  // namespace platform
