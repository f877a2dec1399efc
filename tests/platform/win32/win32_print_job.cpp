// Prints a two-page job through GDI on the printer named by the first argument, A4 portrait: page 1 a
// landscape picture turned to the page, page 2 an upright one, each fitted into the printable area.
// win32_cups.sh check-job renders what the queue captured. Exit code 0 when every call succeeded.
#include <cstdio>
#include <string>

#include "imaging/bitmap.h"
#include "platform/win32/win_spooler.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  platform::WinSpooler spooler;
  platform::PrintSettings settings;
  settings.fields = platform::kFieldPaperSize | platform::kFieldOrientation;
  settings.paper_id = 9;  // A4
  settings.orientation = platform::kOrientationPortrait;
  base::StatusOr<std::unique_ptr<platform::PrintDevice>> opened = spooler.OpenDevice(argv[1], settings);
  if (!opened.ok()) {
    std::fprintf(stderr, "no device for %s: %s\n", argv[1], opened.status().ToString().c_str());
    return 1;
  }
  const std::unique_ptr<platform::PrintDevice> device = std::move(opened).value();
  const platform::DeviceGeometry geometry = device->Geometry();
  std::printf("device: %d x %d dpi, printable %d x %d px, sheet %d x %d px at offset %d, %d, paper \"%s\"\n",
              geometry.dpi_x, geometry.dpi_y, geometry.printable_width_px, geometry.printable_height_px,
              geometry.physical_width_px, geometry.physical_height_px, geometry.offset_x_px, geometry.offset_y_px,
              geometry.paper_name.c_str());
  const base::StatusOr<int> job = device->StartDoc("PictaVera Print");
  if (!job.ok()) {
    std::fprintf(stderr, "StartDoc failed: %s\n", job.status().ToString().c_str());
    return 1;
  }
  for (int page = 0; page < 2; ++page) {
    const bool landscape = page == 0;
    std::optional<imaging::Bitmap> picture =
        imaging::MakeBitmap(landscape ? 300 : 200, landscape ? 200 : 300, page == 0 ? 0xFF2040C0 : 0xFFC04020);
    if (!picture) return 1;
    // A dark band across the top third, so that the turn shows in the rendered page.
    for (int y = 0; y < picture->height_px / 3; ++y) {
      for (int x = 0; x < picture->width_px; ++x) picture->pixel(x, y)[0] = picture->pixel(x, y)[1] = 0;
    }
    if (const base::Status started = device->StartPage(); !started.ok()) {
      std::fprintf(stderr, "StartPage %d failed: %s\n", page + 1, started.ToString().c_str());
      return 1;
    }
    platform::PagePicture placed;
    placed.bitmap = &*picture;
    placed.width_px = picture->width_px;
    placed.height_px = picture->height_px;
    placed.turn_clockwise = landscape;
    const platform::RectF dest{0, 0, static_cast<double>(geometry.printable_width_px),
                               static_cast<double>(geometry.printable_height_px)};
    if (device->DrawPicture(placed, dest) != platform::DrawResult::kDrawn) {
      std::fprintf(stderr, "page %d not drawn\n", page + 1);
      return 1;
    }
    if (const base::Status ended = device->EndPage(); !ended.ok()) {
      std::fprintf(stderr, "EndPage %d failed: %s\n", page + 1, ended.ToString().c_str());
      return 1;
    }
  }
  if (const base::Status ended = device->EndDoc(); !ended.ok()) {
    std::fprintf(stderr, "EndDoc failed: %s\n", ended.ToString().c_str());
    return 1;
  }
  std::printf("job %d: 2 pages sent\n", *job);
  return 0;
}
