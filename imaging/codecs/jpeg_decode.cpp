// JPEG decoding through libjpeg-turbo's libjpeg interface: scaled by M/8 while decoding, row by row,
// every warning sorted into damage or not, the ICC profile joined from its APP2 chunks.
#include <stdio.h>  // jpeglib.h needs FILE and size_t declared first

#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>
#include <new>
#include <vector>

#include "imaging/codecs/codec.h"

namespace imaging::codecs {
namespace {

// A hostile progressive file can hold thousands of tiny scans, each of which makes the decoder go over
// every coefficient again; real files have at most a few dozen.
constexpr int kMaxScans = 500;

struct ErrorState {
  jpeg_error_mgr manager;  // first: libjpeg hands back a pointer to it
  std::jmp_buf jump;
  bool damaged = false;  // the decoder made up some of the picture's pixels
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  auto* state = reinterpret_cast<ErrorState*>(cinfo->err);
  std::longjmp(state->jump, 1);
}

// Warnings: stray bytes between segments leave a whole picture (cameras write them); every other
// warning (data ending early, a bad Huffman code, a lost restart marker) means part of the picture is
// made up by the decoder.
void OnMessage(j_common_ptr cinfo, int level) {
  auto* state = reinterpret_cast<ErrorState*>(cinfo->err);
  if (level >= 0) return;  // trace messages
  if (cinfo->err->msg_code != JWRN_EXTRANEOUS_DATA) state->damaged = true;
}

void OnProgress(j_common_ptr cinfo) {
  auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (decompress->input_scan_number > kMaxScans) OnError(cinfo);
}

// The file as the decoder's source, followed by one end marker of our own: a file that lacks only its
// end marker then decodes without a warning, while one cut short still meets the marker in the middle
// of its data (a damaged picture). Past that the source behaves as libjpeg's own at the end of data.
struct Source {
  jpeg_source_mgr manager;  // first: libjpeg hands back a pointer to it
  const uint8_t* data;
  size_t size;
  int fills = 0;
};

constexpr JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
  auto* source = reinterpret_cast<Source*>(cinfo->src);
  if (source->fills++ > 0) WARNMS(cinfo, JWRN_JPEG_EOF);
  source->manager.next_input_byte = kEndOfImage;
  source->manager.bytes_in_buffer = sizeof kEndOfImage;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  jpeg_source_mgr* manager = cinfo->src;
  while (count > static_cast<long>(manager->bytes_in_buffer)) {
    count -= static_cast<long>(manager->bytes_in_buffer);
    FillInput(cinfo);
  }
  manager->next_input_byte += count;
  manager->bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

struct Decompressor {
  jpeg_decompress_struct cinfo{};
  ErrorState error{};
  jpeg_progress_mgr progress{};
  Source source{};
  bool created = false;
  ~Decompressor() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

// The blocks of the whole stored picture, over all components (every component is coded in 8 x 8
// blocks at its own sampling).
uint64_t StoredBlocks(const jpeg_decompress_struct& cinfo) {
  uint64_t blocks = 0;
  for (int c = 0; c < cinfo.num_components; ++c) {
    const jpeg_component_info& component = cinfo.comp_info[c];
    const uint64_t width = (uint64_t{cinfo.image_width} * component.h_samp_factor + cinfo.max_h_samp_factor - 1) /
                           cinfo.max_h_samp_factor;
    const uint64_t height = (uint64_t{cinfo.image_height} * component.v_samp_factor + cinfo.max_v_samp_factor - 1) /
                            cinfo.max_v_samp_factor;
    blocks += (width + 7) / 8 * ((height + 7) / 8);
  }
  return blocks;
}

// The header read and the scale, colour space and limits set. False when libjpeg refused the header.
bool ReadHeader(Decompressor& d, const Input& input) {
  if (setjmp(d.error.jump)) return false;
  d.cinfo.err = jpeg_std_error(&d.error.manager);
  d.error.manager.error_exit = OnError;
  d.error.manager.emit_message = OnMessage;
  jpeg_create_decompress(&d.cinfo);
  d.created = true;
  d.progress.progress_monitor = OnProgress;
  d.cinfo.progress = &d.progress;
  d.source.data = input.data;
  d.source.size = input.size;
  d.source.manager.next_input_byte = input.data;
  d.source.manager.bytes_in_buffer = input.size;
  d.source.manager.init_source = InitSource;
  d.source.manager.fill_input_buffer = FillInput;
  d.source.manager.skip_input_data = SkipInput;
  d.source.manager.resync_to_restart = jpeg_resync_to_restart;
  d.source.manager.term_source = TermSource;
  d.cinfo.src = &d.source.manager;
  jpeg_save_markers(&d.cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&d.cinfo, TRUE);
  const bool cmyk = d.cinfo.jpeg_color_space == JCS_CMYK || d.cinfo.jpeg_color_space == JCS_YCCK;
  d.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  d.cinfo.scale_num = 8;
  d.cinfo.scale_denom = 8;
  if (input.min_width_px > 0 && input.min_height_px > 0) {
    int width = 0, height = 0;
    DecodeSize(PictureFormat::kJpeg, static_cast<int>(d.cinfo.image_width), static_cast<int>(d.cinfo.image_height),
               input.min_width_px, input.min_height_px, &width, &height);
    for (unsigned eighths = 1; eighths <= 8; ++eighths) {
      if ((uint64_t{d.cinfo.image_width} * eighths + 7) / 8 == static_cast<uint64_t>(width)) {
        d.cinfo.scale_num = eighths;
        break;
      }
    }
  }
  jpeg_calc_output_dimensions(&d.cinfo);
  return true;
}

// Files from print workflows store inverted CMYK, so the visible colour is C * K / 255 per channel.
void CmykToRgba(uint8_t* row, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i, row += 4) {
    const unsigned k = row[3];
    row[0] = static_cast<uint8_t>(row[0] * k / 255);
    row[1] = static_cast<uint8_t>(row[1] * k / 255);
    row[2] = static_cast<uint8_t>(row[2] * k / 255);
    row[3] = 255;
  }
}

// Decodes every row into `sink` through `row`. False when libjpeg gave up (rows given so far stay).
bool ReadRows(Decompressor& d, uint8_t* row, RowSink& sink) {
  if (setjmp(d.error.jump)) return false;
  jpeg_start_decompress(&d.cinfo);
  const bool cmyk = d.cinfo.out_color_space == JCS_CMYK;
  while (d.cinfo.output_scanline < d.cinfo.output_height) {
    JSAMPROW rows[1] = {row};
    if (jpeg_read_scanlines(&d.cinfo, rows, 1) != 1) return false;
    if (cmyk) CmykToRgba(row, d.cinfo.output_width);
    sink.Row(row);
  }
  jpeg_finish_decompress(&d.cinfo);
  return true;
}

void JoinIccProfile(Decompressor& d, ColourDescription* colour) {
  JOCTET* profile = nullptr;
  unsigned int length = 0;
  if (jpeg_read_icc_profile(&d.cinfo, &profile, &length) && profile != nullptr) {
    colour->icc_profile.assign(profile, profile + length);
  }
  std::free(profile);
}

}  // namespace

base::Status DecodeJpeg(const Input& input, RowSink& sink, ColourDescription* colour) {
  Decompressor d;
  if (!ReadHeader(d, input)) return Damaged();
  // A file holds at least one bit for every block of its picture (its DC coefficient): fewer bytes
  // than that cannot be a picture of the size it claims, only a hostile or mostly missing one.
  const uint64_t blocks = StoredBlocks(d.cinfo);
  if (input.size < blocks / 8) return Damaged();
  // A progressive file is decoded from every coefficient of the stored picture, held at once by the
  // decoder (two bytes each): that memory draws on the budget too, for as long as the decode runs.
  std::optional<MemoryHold> hold;
  const uint64_t coefficients = d.cinfo.progressive_mode ? blocks * 128 : 0;
  if (base::Status status = HoldWorkingMemory(input.budget, coefficients, &hold); !status.ok()) return status;
  try {
    JoinIccProfile(d, colour);
  } catch (const std::bad_alloc&) {
    return NoMemory();
  }
  const int width = static_cast<int>(d.cinfo.output_width), height = static_cast<int>(d.cinfo.output_height);
  if (base::Status status = sink.Begin(width, height); !status.ok()) return status;
  std::vector<uint8_t> row;
  try {
    row.resize(static_cast<size_t>(width) * 4);
  } catch (const std::bad_alloc&) {
    return NoMemory();
  }
  const bool finished = ReadRows(d, row.data(), sink);
  return finished && !d.error.damaged ? base::Status::Ok() : Damaged();
}

}  // namespace imaging::codecs
