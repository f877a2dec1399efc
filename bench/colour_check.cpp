// colour_check: the measuring side of bench/colour_accuracy.sh, independent of the programs it measures.
//
//   colour_check profile adobe|p3|camera OUT.icc  writes an Adobe RGB or Display P3 profile (matrix and curves) or a
//                                              camera-like input profile (tables: a wide gamut with a
//                                              hue twist), both ways so that twins can be made into it
//   colour_check twin IN.jpg PROFILE.icc OUT.jpg
//                                              the sRGB photo IN with its numbers converted into PROFILE
//                                              (relative colorimetric) and that profile embedded: a twin
//                                              that looks the same
//   colour_check compare A B [AX AY BX BY W H] CIE Lab differences (dE2000) of two pictures (JPEG with
//                                              its embedded profile, else sRGB; PNG as sRGB), over the
//                                              W x H areas at (AX, AY) and (BX, BY), or the whole
//                                              pictures; prints "mean <m> p95 <p> max <x>"
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <lcms2.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/colour/jpeg_icc.h"

namespace {

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // 3 bytes a pixel
  std::vector<uint8_t> icc;  // empty: sRGB
};

bool ReadJpeg(const std::string& path, Picture* out) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, file);
  jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  JOCTET* icc = nullptr;
  unsigned int icc_size = 0;
  if (jpeg_read_icc_profile(&cinfo, &icc, &icc_size)) out->icc.assign(icc, icc + icc_size);
  std::free(icc);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out->width = static_cast<int>(cinfo.output_width);
  out->height = static_cast<int>(cinfo.output_height);
  out->rgb.resize(size_t(out->width) * out->height * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out->rgb.data() + size_t(cinfo.output_scanline) * out->width * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(file);
  return true;
}

bool ReadPng(const std::string& path, Picture* out) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;  // transparency composed over black; the checks use opaque pictures
  out->width = int(image.width);
  out->height = int(image.height);
  out->rgb.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, out->rgb.data(), 0, nullptr) != 0;
}

bool Read(const std::string& path, Picture* out) {
  return path.size() > 4 && path.substr(path.size() - 4) == ".png" ? ReadPng(path, out) : ReadJpeg(path, out);
}

cmsHPROFILE Open(const std::vector<uint8_t>& icc) {
  return icc.empty() ? cmsCreate_sRGBProfile() : cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
}

// The camera-like space: linear light through a wide-gamut matrix, with a hue twist that grows with chroma.
constexpr double kTwistDegreesPer100 = 6.0;
constexpr double kChromaGain = 1.04;
struct CameraSpace {
  cmsHTRANSFORM to_lab = nullptr;    // wide-gamut linear RGB (float) -> Lab (float)
  cmsHTRANSFORM from_lab = nullptr;  // the reverse
};

void Twist(cmsCIELab* lab, bool reverse) {
  const double c = std::hypot(lab->a, lab->b);
  const double plain_c = reverse ? c / kChromaGain : c;
  const double angle = (reverse ? -1 : 1) * kTwistDegreesPer100 * plain_c / 100.0 * M_PI / 180.0;
  const double h = std::atan2(lab->b, lab->a) + angle;
  const double out_c = reverse ? plain_c : c * kChromaGain;
  lab->a = out_c * std::cos(h);
  lab->b = out_c * std::sin(h);
}

int CameraForward(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
  auto* space = static_cast<CameraSpace*>(cargo);
  float rgb[3];
  for (int i = 0; i < 3; ++i) rgb[i] = float(std::pow(in[i] / 65535.0, 2.0));  // the camera's own curve
  cmsCIELab lab;
  cmsDoTransform(space->to_lab, rgb, &lab, 1);
  Twist(&lab, false);
  cmsFloat2LabEncoded(out, &lab);
  return TRUE;
}

int CameraBackward(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
  auto* space = static_cast<CameraSpace*>(cargo);
  cmsCIELab lab;
  cmsLabEncoded2Float(&lab, in);
  Twist(&lab, true);
  float rgb[3];
  cmsDoTransform(space->from_lab, &lab, rgb, 1);
  for (int i = 0; i < 3; ++i) out[i] = cmsUInt16Number(std::clamp(std::sqrt(std::max(0.0f, rgb[i])), 0.0f, 1.0f) * 65535.0 + 0.5);
  return TRUE;
}

cmsPipeline* Sampled(cmsSAMPLER16 sampler, CameraSpace* space) {
  cmsPipeline* pipe = cmsPipelineAlloc(nullptr, 3, 3);
  cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 33, 3, 3, nullptr);
  cmsStageSampleCLut16bit(clut, sampler, space, 0);
  // The table type a profile stores needs curves on both sides of the table: identities here.
  cmsPipelineInsertStage(pipe, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  cmsPipelineInsertStage(pipe, cmsAT_END, clut);
  cmsPipelineInsertStage(pipe, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  return pipe;
}

bool SetDescription(cmsHPROFILE h, const char* text) {
  cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(mlu, "en", "US", text);
  const bool ok = cmsWriteTag(h, cmsSigProfileDescriptionTag, mlu);
  cmsMLUfree(mlu);
  return ok;
}

int MakeProfile(const std::string& kind, const std::string& out) {
  const cmsCIExyY d65{0.3127, 0.3290, 1.0};
  cmsHPROFILE h = nullptr;
  if (kind == "adobe") {
    const cmsCIExyYTRIPLE adobe{{0.640, 0.330, 1}, {0.210, 0.710, 1}, {0.150, 0.060, 1}};
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 563.0 / 256.0);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    h = cmsCreateRGBProfile(&d65, &adobe, curves);
    cmsFreeToneCurve(curve);
    SetDescription(h, "Adobe RGB (1998), independent");
  } else if (kind == "p3") {
    const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    const cmsFloat64Number srgb_curve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb_curve);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    h = cmsCreateRGBProfile(&d65, &p3, curves);
    cmsFreeToneCurve(curve);
    SetDescription(h, "Display P3");
  } else if (kind == "camera") {
    const cmsCIExyYTRIPLE wide{{0.700, 0.300, 1}, {0.190, 0.760, 1}, {0.135, 0.045, 1}};
    cmsHPROFILE linear = cmsCreateRGBProfile(&d65, &wide, nullptr);
    cmsToneCurve* one = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* ones[3] = {one, one, one};
    cmsHPROFILE wide_linear = cmsCreateRGBProfile(&d65, &wide, ones);
    cmsFreeToneCurve(one);
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    CameraSpace space;
    space.to_lab = cmsCreateTransform(wide_linear, TYPE_RGB_FLT, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    space.from_lab = cmsCreateTransform(lab, TYPE_Lab_DBL, wide_linear, TYPE_RGB_FLT, INTENT_RELATIVE_COLORIMETRIC, 0);
    h = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(h, 4.3);
    cmsSetDeviceClass(h, cmsSigInputClass);
    cmsSetColorSpace(h, cmsSigRgbData);
    cmsSetPCS(h, cmsSigLabData);
    cmsWriteTag(h, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipeline* forward = Sampled(CameraForward, &space);
    cmsPipeline* backward = Sampled(CameraBackward, &space);
    cmsWriteTag(h, cmsSigAToB0Tag, forward);
    cmsWriteTag(h, cmsSigBToA0Tag, backward);
    cmsPipelineFree(forward);
    cmsPipelineFree(backward);
    SetDescription(h, "Camera RGB (test)");
    cmsDeleteTransform(space.to_lab);
    cmsDeleteTransform(space.from_lab);
    cmsCloseProfile(lab);
    cmsCloseProfile(linear);
    cmsCloseProfile(wide_linear);
  } else {
    return 2;
  }
  const bool saved = cmsSaveProfileToFile(h, out.c_str());
  cmsCloseProfile(h);
  return saved ? 0 : 1;
}

int MakeTwin(const std::string& in, const std::string& profile_path, const std::string& out) {
  Picture picture;
  if (!ReadJpeg(in, &picture)) return 1;
  FILE* f = std::fopen(profile_path.c_str(), "rb");
  if (!f) return 1;
  std::vector<uint8_t> icc;
  for (int c; (c = std::fgetc(f)) != EOF;) icc.push_back(uint8_t(c));
  std::fclose(f);
  cmsHPROFILE from = Open(picture.icc), to = Open(icc);
  cmsHTRANSFORM t = cmsCreateTransform(from, TYPE_RGB_8, to, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC,
                                       cmsFLAGS_BLACKPOINTCOMPENSATION);
  if (!t) return 1;
  cmsDoTransform(t, picture.rgb.data(), picture.rgb.data(), cmsUInt32Number(picture.rgb.size() / 3));
  // Quality 98, full-resolution chroma: the twin's own coding loss stays far below what is measured.
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = JDIMENSION(picture.width);
  cinfo.image_height = JDIMENSION(picture.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 98, TRUE);
  for (int i = 0; i < 3; ++i) cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = picture.rgb.data() + size_t(cinfo.next_scanline) * picture.width * 3;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> bytes(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&cinfo);
  if (!imaging::colour::EmbedIccProfile(&bytes, icc)) return 1;
  FILE* o = std::fopen(out.c_str(), "wb");
  const bool ok = o && std::fwrite(bytes.data(), 1, bytes.size(), o) == bytes.size();
  if (o) std::fclose(o);
  return ok ? 0 : 1;
}

std::vector<cmsCIELab> ToLab(const Picture& p, int x0, int y0, int w, int h) {
  cmsHPROFILE from = Open(p.icc), lab = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM t = cmsCreateTransform(from, TYPE_RGB_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
  std::vector<cmsCIELab> out(size_t(w) * h);
  for (int y = 0; y < h; ++y) {
    cmsDoTransform(t, p.rgb.data() + (size_t(y0 + y) * p.width + x0) * 3, &out[size_t(y) * w], cmsUInt32Number(w));
  }
  cmsDeleteTransform(t);
  cmsCloseProfile(from);
  cmsCloseProfile(lab);
  return out;
}

int Compare(int argc, char** argv) {
  Picture a, b;
  if (!Read(argv[2], &a) || !Read(argv[3], &b)) return 1;
  int ax = 0, ay = 0, bx = 0, by = 0, w = std::min(a.width, b.width), h = std::min(a.height, b.height);
  if (argc == 10) {
    ax = std::stoi(argv[4]), ay = std::stoi(argv[5]), bx = std::stoi(argv[6]), by = std::stoi(argv[7]);
    w = std::stoi(argv[8]), h = std::stoi(argv[9]);
  }
  if (w <= 0 || h <= 0 || ax + w > a.width || bx + w > b.width || ay + h > a.height || by + h > b.height) return 1;
  const std::vector<cmsCIELab> la = ToLab(a, ax, ay, w, h), lb = ToLab(b, bx, by, w, h);
  std::vector<double> d(la.size());
  double sum = 0;
  for (size_t i = 0; i < la.size(); ++i) sum += d[i] = cmsCIE2000DeltaE(&la[i], &lb[i], 1, 1, 1);
  std::sort(d.begin(), d.end());
  std::printf("mean %.3f p95 %.3f max %.3f\n", sum / double(d.size()), d[d.size() * 95 / 100], d.back());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "profile" && argc == 4) return MakeProfile(argv[2], argv[3]);
  if (command == "twin" && argc == 5) return MakeTwin(argv[2], argv[3], argv[4]);
  if (command == "compare" && (argc == 4 || argc == 10)) return Compare(argc, argv);
  std::fprintf(stderr, "usage: colour_check profile adobe|p3|camera OUT.icc | twin IN.jpg PROFILE.icc OUT.jpg |\n"
                       "       compare A B [AX AY BX BY W H]\n");
  return 2;
}
