// WIC decoding with its scaler, and its PNG encoder, over memory streams.
#include "platform/wic/wic_codecs.h"

#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstring>
#include <new>
#include <optional>
#include <utility>

namespace platform::wic {
namespace {

// One COM reference, released once.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  // For the out-parameter of a call that makes the object.
  T** Put() {
    Reset();
    return &pointer_;
  }
  void Reset() {
    if (pointer_) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  T* pointer_ = nullptr;
};

// COM for the calling thread while the object lives.
class ComScope {
 public:
  ComScope() : result_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  // False only when COM cannot be used at all (RPC_E_CHANGED_MODE: the thread keeps its apartment).
  bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

GraphicsStatus StatusFor(HRESULT result, GraphicsStatus otherwise) {
  if (result == E_OUTOFMEMORY) return GraphicsStatus::kOutOfMemory;
  if (result == E_INVALIDARG) return GraphicsStatus::kInvalidParameter;
  return otherwise;
}

bool MakeFactory(ComRef<IWICImagingFactory>* factory) {
  return SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(factory->Put())));
}

// WIC's 32-bit BGRA and our RGBA differ only in the order of red and blue.
void SwapRedBlue(uint8_t* pixels, size_t count) {
  for (size_t i = 0; i < count; ++i, pixels += 4) std::swap(pixels[0], pixels[2]);
}

}  // namespace

GraphicsStatus DecodeReduced(const std::vector<uint8_t>& bytes, int stored_width_px, int stored_height_px,
                             int width_px, int height_px, Bitmap* out, MemoryBudget* budget) {
  if (!SizeWithinLimits(stored_width_px, stored_height_px) || !SizeWithinLimits(width_px, height_px) ||
      width_px > stored_width_px || height_px > stored_height_px || bytes.size() > UINT32_MAX) {
    return GraphicsStatus::kInvalidParameter;
  }
  if (bytes.empty()) return GraphicsStatus::kUnknownImageFormat;  // WIC refuses an empty stream as an argument
  // WIC holds the whole stored picture while its scaler reads it; the result is held on top.
  const uint64_t stored_bytes = static_cast<uint64_t>(stored_width_px) * static_cast<uint64_t>(stored_height_px) * 4;
  const uint64_t result_bytes = static_cast<uint64_t>(width_px) * static_cast<uint64_t>(height_px) * 4;
  if (budget != nullptr && !budget->CanEverTake(stored_bytes + result_bytes)) return GraphicsStatus::kInvalidParameter;
  std::optional<MemoryHold> decoder_hold = MemoryHold::Take(budget, stored_bytes);
  if (!decoder_hold) return GraphicsStatus::kOutOfMemory;

  ComScope com;
  ComRef<IWICImagingFactory> factory;
  if (!com.usable() || !MakeFactory(&factory)) return GraphicsStatus::kGenericError;
  ComRef<IWICStream> stream;
  HRESULT hr = factory->CreateStream(stream.Put());
  if (SUCCEEDED(hr)) {
    hr = stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  }
  if (FAILED(hr)) return StatusFor(hr, GraphicsStatus::kGenericError);
  ComRef<IWICBitmapDecoder> decoder;
  ComRef<IWICBitmapFrameDecode> frame;
  hr = factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Put());
  if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, frame.Put());
  if (FAILED(hr)) return StatusFor(hr, GraphicsStatus::kUnknownImageFormat);
  UINT frame_width = 0, frame_height = 0;
  hr = frame->GetSize(&frame_width, &frame_height);
  // The header reader and WIC must agree on what is being decoded.
  if (FAILED(hr) || frame_width != static_cast<UINT>(stored_width_px) ||
      frame_height != static_cast<UINT>(stored_height_px)) {
    return GraphicsStatus::kUnknownImageFormat;
  }
  // A JPEG's own formats are scaled straight from the frame, so that a decoder that can reduce while it
  // decodes (Windows' JPEG decoder through the scaler) does; other formats (palettes, 16-bit) are
  // converted first, as the scaler takes only whole-byte colour formats.
  WICPixelFormatGUID frame_format{};
  const bool scale_first = SUCCEEDED(frame->GetPixelFormat(&frame_format)) &&
                           (IsEqualGUID(frame_format, GUID_WICPixelFormat24bppBGR) ||
                            IsEqualGUID(frame_format, GUID_WICPixelFormat8bppGray));
  const bool scaled = width_px != stored_width_px || height_px != stored_height_px;
  ComRef<IWICBitmapScaler> scaler;
  ComRef<IWICFormatConverter> converter;
  auto scale = [&](IWICBitmapSource* input) {
    HRESULT result = factory->CreateBitmapScaler(scaler.Put());
    if (SUCCEEDED(result)) {
      result = scaler->Initialize(input, static_cast<UINT>(width_px), static_cast<UINT>(height_px),
                                  WICBitmapInterpolationModeFant);
    }
    return result;
  };
  auto convert = [&](IWICBitmapSource* input) {
    HRESULT result = factory->CreateFormatConverter(converter.Put());
    if (SUCCEEDED(result)) {
      result = converter->Initialize(input, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom);
    }
    return result;
  };
  IWICBitmapSource* source = frame.get();
  if (scaled && scale_first) {
    hr = scale(source);
    source = scaler.get();
  }
  if (SUCCEEDED(hr)) hr = convert(source);
  source = converter.get();
  if (SUCCEEDED(hr) && scaled && !scale_first) {
    hr = scale(source);
    source = scaler.get();
  }
  if (FAILED(hr)) return StatusFor(hr, GraphicsStatus::kUnknownImageFormat);
  std::optional<Bitmap> bitmap = MakeBitmap(width_px, height_px, 0, budget);
  if (!bitmap) return GraphicsStatus::kOutOfMemory;
  const UINT stride = static_cast<UINT>(width_px) * 4;
  hr = source->CopyPixels(nullptr, stride, static_cast<UINT>(bitmap->rgba.size()), bitmap->rgba.data());
  if (FAILED(hr)) return StatusFor(hr, GraphicsStatus::kUnknownImageFormat);
  SwapRedBlue(bitmap->rgba.data(), static_cast<size_t>(width_px) * height_px);
  *out = std::move(*bitmap);
  return GraphicsStatus::kOk;
}

GraphicsStatus EncodePng(const Bitmap& image, std::vector<uint8_t>* out) {
  if (image.empty() || !SizeWithinLimits(image.width_px, image.height_px) ||
      image.rgba.size() != static_cast<size_t>(image.width_px) * image.height_px * 4) {
    return GraphicsStatus::kInvalidParameter;
  }
  std::vector<uint8_t> bgra;
  try {
    bgra.assign(image.rgba.begin(), image.rgba.end());
  } catch (const std::bad_alloc&) {
    return GraphicsStatus::kOutOfMemory;
  }
  SwapRedBlue(bgra.data(), static_cast<size_t>(image.width_px) * image.height_px);

  ComScope com;
  ComRef<IWICImagingFactory> factory;
  if (!com.usable() || !MakeFactory(&factory)) return GraphicsStatus::kGenericError;
  ComRef<IStream> memory;
  if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, memory.Put()))) return GraphicsStatus::kOutOfMemory;
  ComRef<IWICBitmapEncoder> encoder;
  ComRef<IWICBitmapFrameEncode> frame;
  ComRef<IPropertyBag2> options;
  HRESULT hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Put());
  if (SUCCEEDED(hr)) hr = encoder->Initialize(memory.get(), WICBitmapEncoderNoCache);
  if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(frame.Put(), options.Put());
  if (SUCCEEDED(hr)) hr = frame->Initialize(options.get());
  if (SUCCEEDED(hr)) hr = frame->SetSize(static_cast<UINT>(image.width_px), static_cast<UINT>(image.height_px));
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
  if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
  // The encoder may answer with the format it will write instead: only 8-bit RGBA is this port's PNG.
  if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA)) hr = E_FAIL;
  const UINT stride = static_cast<UINT>(image.width_px) * 4;
  if (SUCCEEDED(hr)) {
    hr = frame->WritePixels(static_cast<UINT>(image.height_px), stride, static_cast<UINT>(bgra.size()), bgra.data());
  }
  if (SUCCEEDED(hr)) hr = frame->Commit();
  if (SUCCEEDED(hr)) hr = encoder->Commit();
  if (FAILED(hr)) return StatusFor(hr, GraphicsStatus::kGenericError);

  STATSTG stat{};
  if (FAILED(memory->Stat(&stat, STATFLAG_NONAME))) return GraphicsStatus::kGenericError;
  HGLOBAL global = nullptr;
  if (FAILED(::GetHGlobalFromStream(memory.get(), &global))) return GraphicsStatus::kGenericError;
  const void* data = ::GlobalLock(global);
  if (data == nullptr) return GraphicsStatus::kGenericError;
  GraphicsStatus status = GraphicsStatus::kOk;
  try {
    const auto* begin = static_cast<const uint8_t*>(data);
    out->assign(begin, begin + stat.cbSize.QuadPart);
  } catch (const std::bad_alloc&) {
    status = GraphicsStatus::kOutOfMemory;
  }
  ::GlobalUnlock(global);
  return status;
}

}  // namespace platform::wic
