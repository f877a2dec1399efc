// GdiplusSession: GdiplusStartup and GdiplusShutdown with the session's token.
#include "platform/gdiplus/gdiplus_session.h"

#include <windows.h>
#include <gdiplus.h>

namespace platform {

GraphicsStatus GdiplusSession::Start() {
  if (running_) return GraphicsStatus::kOk;
  Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, nothing suppressed
  ULONG_PTR token = 0;
  const Gdiplus::Status status = Gdiplus::GdiplusStartup(&token, &input, nullptr);
  switch (status) {
    case Gdiplus::Ok: break;
    case Gdiplus::OutOfMemory: return GraphicsStatus::kOutOfMemory;
    case Gdiplus::InvalidParameter: return GraphicsStatus::kInvalidArgument;
    case Gdiplus::UnsupportedGdiplusVersion: return GraphicsStatus::kUnsupported;
    default: return GraphicsStatus::kFailed;
  }
  token_ = token;
  running_ = true;
  return GraphicsStatus::kOk;
}

void GdiplusSession::Stop() {
  if (!running_) return;
  Gdiplus::GdiplusShutdown(token_);
  token_ = 0;
  running_ = false;
}

}  // namespace platform
