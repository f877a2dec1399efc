// The transport's frame reader on a hostile byte stream, as a server reads it: fed in pieces of any size
// (the first byte sets them), each frame admitted or refused by its length (the large ones refused and
// skipped as they stream past), the frames taken are those a reader fed the whole stream at once takes,
// never more memory is held than one admitted frame and a piece, and each body parses as a request or is
// refused cleanly, a parsed request framing back to the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "flutter/engine/frame.h"

namespace {

using flutter::engine::FrameReader;

void Fail(const char* what) {
  std::fprintf(stderr, "frame_fuzzer: %s\n", what);
  std::abort();
}

constexpr uint32_t kAdmitBytes = 4096;

struct Taken {
  std::vector<std::vector<uint8_t>> bodies;
  std::vector<uint32_t> refused;  // lengths
  size_t pending = 0;
  size_t most_held = 0;
};

Taken Read(const uint8_t* data, size_t size, size_t piece) {
  FrameReader reader;
  Taken taken;
  std::vector<uint8_t> body;
  for (size_t at = 0; at < size; at += piece) {
    reader.Feed(data + at, std::min(piece, size - at));
    for (;;) {
      const FrameReader::Step step = reader.Take(&body);
      if (step == FrameReader::Step::kNeedMore) break;
      if (step == FrameReader::Step::kDecide) {
        reader.next_length() > kAdmitBytes ? reader.Refuse() : reader.Admit();
      } else if (step == FrameReader::Step::kBody) {
        taken.bodies.push_back(body);
      } else {
        taken.refused.push_back(reader.refused().length);
      }
    }
    taken.most_held = std::max(taken.most_held, reader.held_bytes());
  }
  taken.pending = reader.pending_bytes();
  return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 64;
  const Taken whole = Read(data + 1, size - 1, size);
  const Taken pieces = Read(data + 1, size - 1, piece);
  if (whole.bodies != pieces.bodies || whole.refused != pieces.refused || whole.pending != pieces.pending) {
    Fail("pieces of the stream are read otherwise than the whole");
  }
  // A refused frame is never held: what is held stays within an admitted frame, a piece and the
  // reader's kept buffer.
  if (pieces.most_held > std::max<size_t>(FrameReader::kKeptBufferBytes, 2 * (kAdmitBytes + 4 + piece)) + 4096) {
    Fail("a refused frame was held");
  }
  for (const std::vector<uint8_t>& body : pieces.bodies) {
    std::string error;
    if (const auto request = flutter::engine::ParseRequest(body.data(), body.size(), &error)) {
      const auto framed = flutter::engine::EncodeRequest(request->id, request->channel, request->message.data(),
                                                         request->message.size());
      if (std::vector<uint8_t>(framed.begin() + 4, framed.end()) != body) Fail("a request frames back otherwise");
    } else if (error.empty()) {
      Fail("a refusal without a reason");
    }
    (void)flutter::engine::ParseReply(body.data(), body.size());
  }
  return 0;
}
