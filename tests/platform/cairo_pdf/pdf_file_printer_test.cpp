// Tests for the built-in PDF printer's files: one PDF per job with pages, none without, none after an
// abort; JPEG files carried as stored only when cairo takes them; copies.
#include "platform/cairo_pdf/pdf_file_printer.h"

#include <dirent.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/cairo/cairo_graphics.h"
#include "platform/posix/posix_file_system.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

// The device `opened` holds, or null when it failed.
std::unique_ptr<PrintDevice> Opened(base::StatusOr<std::unique_ptr<PrintDevice>> opened) {
  return opened.ok() ? std::move(opened).value() : nullptr;
}

class PdfFilePrinterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("PICTAVERA_PDF_DIR", (dir_ + "/out/prints").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
  }
  // Every name in the output folder, hidden ones (a job's temporary file) included.
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    if (DIR* folder = ::opendir((dir_ + "/out/prints").c_str())) {
      while (dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      ::closedir(folder);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // The one PDF the printer left.
  std::string OnlyPdf() {
    const std::vector<std::string> files = Files();
    if (files.size() != 1) return {};
    std::ifstream file(dir_ + "/out/prints/" + files[0], std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
  }
  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
  }
  // Prints `jpeg` (width x height) as one page of `copies` copies; the result of placing it.
  DrawResult PrintJpeg(const std::string& jpeg, int width, int height, int copies = 1) {
    PdfFilePrinter printer(files_);
    PdfPage page{1000, 1500, 300};
    page.copies = copies;
    auto device = Opened(printer.OpenDevice(page));
    if (!device || !device->StartDoc("PictaVera Print").ok() || !device->StartPage().ok()) return DrawResult::kFailed;
    PagePicture placed;
    placed.jpeg_path = jpeg;
    placed.width_px = width;
    placed.height_px = height;
    const DrawResult result = device->DrawPicture(placed, RectF{0, 0, 600, 400});
    if (result == DrawResult::kDrawn) {
      EXPECT_TRUE(device->EndPage().ok());
      EXPECT_TRUE(device->EndDoc().ok());
    }
    return result;
  }
  static int CountOf(const std::string& text, const std::string& word) {
    int count = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
    return count;
  }
  // Prints one page with a job of `printer`; the device's EndDoc status.
  base::Status PrintOnePage(PdfFilePrinter& printer) {
    base::StatusOr<std::unique_ptr<PrintDevice>> opened = printer.OpenDevice(PdfPage{1000, 1000, 100});
    if (!opened.ok()) return opened.status();
    std::unique_ptr<PrintDevice> device = std::move(opened).value();
    if (const base::StatusOr<int> started = device->StartDoc("PictaVera Print"); !started.ok()) return started.status();
    imaging::Bitmap picture = *imaging::MakeBitmap(2, 2, 0xFF00FF00);
    PagePicture placed;
    placed.bitmap = &picture;
    placed.width_px = placed.height_px = 2;
    if (base::Status page = device->StartPage(); !page.ok()) return page;
    if (device->DrawPicture(placed, RectF{0, 0, 100, 100}) != DrawResult::kDrawn) return base::Status::Failed("draw");
    if (base::Status page = device->EndPage(); !page.ok()) return page;
    return device->EndDoc();
  }
  test_support::TempFolder temp_{"pictavera-pdf"};
  const std::string dir_ = temp_.str();
  PosixFileSystem files_;
};

TEST_F(PdfFilePrinterTest, AJobWithPagesLeavesOnePdfOfThosePages) {
  PdfFilePrinter printer(files_);
  auto device = Opened(printer.OpenDevice(PdfPage{1500, 1000, 300}));
  ASSERT_TRUE(device);
  const DeviceGeometry geometry = device->Geometry();
  EXPECT_EQ(geometry.printable_width_px, 1771);  // 150 mm at 300 dpi
  EXPECT_EQ(geometry.printable_height_px, 1181);
  const base::StatusOr<int> job = device->StartDoc("PictaVera Print");
  ASSERT_TRUE(job.ok());
  EXPECT_GT(*job, 0);
  imaging::Bitmap picture = *imaging::MakeBitmap(4, 2, 0x80FF0000);
  for (int page = 0; page < 2; ++page) {
    ASSERT_TRUE(device->StartPage().ok());
    PagePicture placed;
    placed.bitmap = &picture;
    placed.width_px = 4;
    placed.height_px = 2;
    placed.turn_clockwise = page == 1;
    EXPECT_EQ(device->DrawPicture(placed, RectF{10, 10, 400, 200}), DrawResult::kDrawn);
    ASSERT_TRUE(device->EndPage().ok());
  }
  ASSERT_EQ(Files().size(), 1u);  // the temporary file while the job runs, hidden
  EXPECT_EQ(Files()[0][0], '.');
  ASSERT_TRUE(device->EndDoc().ok());
  const std::vector<std::string> files = Files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].rfind("PictaVera Print ", 0), 0u);
  EXPECT_EQ(files[0].substr(files[0].size() - 4), ".pdf");
  std::ifstream file(dir_ + "/out/prints/" + files[0], std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  const std::string pdf = bytes.str();
  EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
  EXPECT_NE(pdf.find("/Count 2"), std::string::npos);
  EXPECT_NE(pdf.find("425.19"), std::string::npos);  // 150 mm wide in points
}

TEST_F(PdfFilePrinterTest, NoFileForAJobWithoutPagesOrAnAbortedOne) {
  PdfFilePrinter printer(files_);
  auto empty = Opened(printer.OpenDevice(PdfPage{2100, 2970, 300}));
  ASSERT_TRUE(empty);
  ASSERT_TRUE(empty->StartDoc("PictaVera Print").ok());
  EXPECT_TRUE(empty->EndDoc().ok());
  EXPECT_TRUE(Files().empty());
  auto aborted = Opened(printer.OpenDevice(PdfPage{2100, 2970, 300}));
  ASSERT_TRUE(aborted);
  ASSERT_TRUE(aborted->StartDoc("PictaVera Print").ok());
  ASSERT_TRUE(aborted->StartPage().ok());
  ASSERT_TRUE(aborted->EndPage().ok());
  aborted->AbortDoc();
  EXPECT_TRUE(Files().empty());
  auto dropped = Opened(printer.OpenDevice(PdfPage{2100, 2970, 300}));
  ASSERT_TRUE(dropped);
  ASSERT_TRUE(dropped->StartDoc("PictaVera Print").ok());
  dropped.reset();
  EXPECT_TRUE(Files().empty());
  const base::StatusOr<std::unique_ptr<PrintDevice>> no_size = printer.OpenDevice(PdfPage{0, 2970, 300});
  EXPECT_TRUE(no_size.status().Is(base::Status::Code::kInvalidArgument));
  EXPECT_EQ(no_size.status().system_error(), EINVAL);
}

TEST_F(PdfFilePrinterTest, AnOutputFolderThatCannotBeMadeFailsTheDeviceWithTheSystemsNumber) {
  std::ofstream(dir_ + "/a-file") << "not a folder";
  ::setenv("PICTAVERA_PDF_DIR", (dir_ + "/a-file/prints").c_str(), 1);
  PdfFilePrinter printer(files_);
  const base::StatusOr<std::unique_ptr<PrintDevice>> opened = printer.OpenDevice(PdfPage{2100, 2970, 300});
  ASSERT_FALSE(opened.ok());
  EXPECT_TRUE(opened.status().Is(base::Status::Code::kNotFound)) << opened.status().ToString();
  EXPECT_EQ(opened.status().system_error(), ENOTDIR);
  EXPECT_NE(opened.status().message().find("a-file/prints"), std::string::npos) << opened.status().message();
}

TEST_F(PdfFilePrinterTest, AJpegWithAFillByteIsCarriedAsStoredNotAsABlankPicture) {
  CairoGraphics graphics;
  std::vector<uint8_t> jpeg;
  ASSERT_EQ(graphics.EncodeJpeg(*imaging::MakeBitmap(60, 40, 0xFF2080E0), 90, &jpeg), GraphicsStatus::kOk);
  // A legal fill byte before the first segment: FF D8 FF FF E0 ...
  jpeg.insert(jpeg.begin() + 2, 0xFF);
  ASSERT_EQ(PrintJpeg(WriteFile("fill.jpg", jpeg), 60, 40, 3), DrawResult::kDrawn);
  const std::string pdf = OnlyPdf();
  // The JPEG itself (the pixels cairo would otherwise draw are a blank surface), stored once and shown on
  // three pages of the one file.
  EXPECT_EQ(CountOf(pdf, "/DCTDecode"), 1) << pdf.size();
  EXPECT_NE(pdf.find("/Count 3"), std::string::npos);
}

TEST_F(PdfFilePrinterTest, ACmykJpegIsLeftToItsDecodedPixels) {
  // The frame header of a four-component picture: cairo would write it without the inversion an Adobe
  // file needs.
  const std::vector<uint8_t> cmyk = {0xFF, 0xD8, 0xFF, 0xC0, 0, 20, 8, 0, 40, 0, 60, 4, 1, 0x11, 0,
                                     2,    0x11, 0,    3,    0x11, 0, 4, 0x11, 0, 0xFF, 0xD9};
  EXPECT_EQ(PrintJpeg(WriteFile("cmyk.jpg", cmyk), 60, 40), DrawResult::kNeedsPixels);
  EXPECT_EQ(PrintJpeg(dir_ + "/missing.jpg", 60, 40), DrawResult::kFailed);
}

// Publishing calls as FAT, exFAT and many SMB and FUSE mounts answer them.
int NoRenameFlags(const char*, const char*) { return EINVAL; }
int NoHardLinks(const char*, const char*) { return EPERM; }

TEST_F(PdfFilePrinterTest, WhereHardLinksAreRefusedJobsStillPublishWithoutReplacing) {
  PosixFileSystem no_links(std::nullopt, NoReplaceCalls{NoRenameFlags, NoHardLinks});
  PdfFilePrinter printer(no_links);
  ASSERT_TRUE(PrintOnePage(printer).ok());
  std::vector<std::string> files = Files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].substr(files[0].size() - 4), ".pdf");
  const std::string first = dir_ + "/out/prints/" + files[0];
  std::ofstream(first, std::ios::trunc) << "an earlier print";

  // A second printer numbers its jobs from 1 again: within the same second its first job's name is the
  // one taken above, and the job takes that name with "-1" added instead of replacing it.
  PdfFilePrinter again(no_links);
  ASSERT_TRUE(PrintOnePage(again).ok());
  files = Files();
  ASSERT_EQ(files.size(), 2u);
  for (const std::string& name : files) EXPECT_EQ(name.substr(name.size() - 4), ".pdf") << name;
  std::ifstream kept(first);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "an earlier print");
}

}  // namespace
}  // namespace platform
