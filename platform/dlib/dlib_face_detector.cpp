// DlibFaceDetector: dlib's HOG detector, split into parts that can run on two cores.
// The only file that includes dlib: compiling it takes several seconds.
#include "platform/dlib/dlib_face_detector.h"

#include <algorithm>
#include <exception>
#include <new>
#include <vector>

#include <dlib/image_processing/frontal_face_detector.h>

namespace platform {
namespace {

using Detector = dlib::frontal_face_detector;
using Pyramid = dlib::pyramid_down<6>;

// Levels scanned at full resolution by the two half-picture parts; the rest go to the reduced part.
constexpr unsigned long kFineLevels = 2;
// Tile rows start on multiples of 48 so that both fine levels' feature cells (8 px, and 8 px of the 5/6
// level) line up with the whole picture's.
constexpr long kRowAlign = 48;
// Overlap of the two halves: the tallest fine window is 80 px at level 1, 96 px of the picture, plus the
// feature normalisation's neighbouring cells on both sides.
constexpr long kOverlapRows = 240;

void CopyRows(const GrayImage& image, long first_row, long rows, dlib::array2d<unsigned char>* out) {
  out->set_size(rows, image.width_px);
  const size_t row_bytes = static_cast<size_t>(image.width_px);
  for (long r = 0; r < rows; ++r) {
    std::copy_n(image.pixels.data() + static_cast<size_t>(first_row + r) * row_bytes, row_bytes, &(*out)[r][0]);
  }
}

FaceBox ToBox(const dlib::rectangle& rect) {
  // dlib's right and bottom are inclusive.
  return {rect.left(), rect.top(), static_cast<int64_t>(rect.width()), static_cast<int64_t>(rect.height())};
}

class DlibFaceDetection : public FaceDetection {
 public:
  DlibFaceDetection(const Detector& model, int split_min_rows)
      : split_min_rows_(split_min_rows), whole_(model), coarse_(model) {
    for (Detector& fine : fine_) {
      dlib::scan_fhog_pyramid<Pyramid> scanner;
      scanner.copy_configuration(model.get_scanner());
      scanner.set_max_pyramid_levels(kFineLevels);
      std::vector<dlib::matrix<double, 0, 1>> weights;
      for (unsigned long i = 0; i < model.num_detectors(); ++i) weights.push_back(model.get_w(i));
      fine = Detector(scanner, model.get_overlap_tester(), weights);
    }
  }

  base::StatusOr<std::vector<FaceBox>> Detect(const GrayImage& image, const PartRunner& run_parts) override {
    if (image.width_px <= 0 || image.height_px <= 0 ||
        image.pixels.size() != static_cast<size_t>(image.width_px) * static_cast<size_t>(image.height_px)) {
      return base::Status::InvalidArgument("the picture has no pixels");
    }
    try {
      return image.height_px < split_min_rows_ ? DetectWhole(image) : DetectInParts(image, run_parts);
    } catch (const std::bad_alloc&) {
      return base::Status::OutOfMemory("out of memory");
    } catch (const std::exception& e) {
      return base::Status::Failed(e.what());
    }
  }

 private:
  std::vector<FaceBox> DetectWhole(const GrayImage& image) {
    dlib::array2d<unsigned char> picture;
    CopyRows(image, 0, image.height_px, &picture);
    std::vector<dlib::rect_detection> found;
    whole_(picture, found);
    std::vector<FaceBox> boxes;
    for (const auto& d : found) boxes.push_back(ToBox(d.rect));
    return boxes;
  }

  std::vector<FaceBox> DetectInParts(const GrayImage& image, const PartRunner& run_parts) {
    const long rows = image.height_px;
    const long second_start = std::max(0L, (rows / 2 - kOverlapRows / 2) / kRowAlign * kRowAlign);
    const long first_end = std::min(rows, second_start + kOverlapRows);
    std::vector<dlib::rect_detection> found[3];
    std::exception_ptr failure[3];
    run_parts(3, [&](size_t part) {
      try {
        if (part == 2) {
          // Levels from the third down: the picture reduced twice, exactly as the pyramid reduces it.
          Pyramid pyramid;
          dlib::array2d<unsigned char> whole, level1, level2;
          CopyRows(image, 0, rows, &whole);
          pyramid(whole, level1);
          whole.clear();
          pyramid(level1, level2);
          level1.clear();
          coarse_(level2, found[2]);
          for (auto& d : found[2]) d.rect = dlib::rectangle(pyramid.rect_up(dlib::drectangle(d.rect), 2));
          return;
        }
        const long first_row = part == 0 ? 0 : second_start;
        const long part_rows = part == 0 ? first_end : rows - second_start;
        dlib::array2d<unsigned char> half;
        CopyRows(image, first_row, part_rows, &half);
        fine_[part](half, found[part]);
        for (auto& d : found[part]) d.rect = dlib::translate_rect(d.rect, 0, first_row);
      } catch (...) {
        failure[part] = std::current_exception();
      }
    });
    for (const std::exception_ptr& f : failure) {
      if (f) std::rethrow_exception(f);
    }
    // The detector's own merge: strongest first, dropping any box that overlaps one already kept.
    std::vector<dlib::rect_detection> all;
    for (auto& part : found) all.insert(all.end(), part.begin(), part.end());
    std::stable_sort(all.begin(), all.end(),
                     [](const auto& a, const auto& b) { return a.detection_confidence > b.detection_confidence; });
    const dlib::test_box_overlap overlaps = whole_.get_overlap_tester();
    std::vector<dlib::rectangle> kept;
    for (const auto& d : all) {
      if (std::none_of(kept.begin(), kept.end(), [&](const dlib::rectangle& k) { return overlaps(k, d.rect); })) {
        kept.push_back(d.rect);
      }
    }
    std::vector<FaceBox> boxes;
    for (const auto& rect : kept) boxes.push_back(ToBox(rect));
    return boxes;
  }

  int split_min_rows_;
  Detector whole_;
  Detector coarse_;
  Detector fine_[2];
};

}  // namespace

struct DlibFaceDetector::Model {
  Detector detector;
};

DlibFaceDetector::DlibFaceDetector(int split_min_rows) : split_min_rows_(split_min_rows) {}
DlibFaceDetector::~DlibFaceDetector() = default;

base::StatusOr<std::unique_ptr<FaceDetection>> DlibFaceDetector::CreateDetection() const {
  try {
    std::shared_ptr<const Model> model;
    {
      std::lock_guard lock(mutex_);
      if (!model_) model_ = std::make_shared<const Model>(Model{dlib::get_frontal_face_detector()});
      model = model_;
    }
    return std::unique_ptr<FaceDetection>(std::make_unique<DlibFaceDetection>(model->detector, split_min_rows_));
  } catch (const std::exception& e) {
    return base::Status::Failed(e.what());
  } catch (...) {
    return base::Status::Failed("unknown failure");
  }
}

}  // namespace platform
