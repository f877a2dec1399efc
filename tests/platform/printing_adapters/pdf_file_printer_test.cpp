// Tests for the built-in PDF printer's files: one PDF per job with pages, none without, none after an
// abort; its state replaced atomically.
#include "platform/cairo_pdf/pdf_file_printer.h"

#include <dirent.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/posix/posix_file_system.h"

namespace platform {
namespace {

class PdfFilePrinterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pictavera-pdf-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ::setenv("PICTAVERA_PDF_DIR", (dir_ + "/out/prints").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
  }
  void TearDown() override {
    const std::string remove = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(std::system(remove.c_str()), 0);
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
  // Prints one page with a job of `printer`; the device's EndDoc status.
  PageStatus PrintOnePage(PdfFilePrinter& printer) {
    int error = 0;
    auto device = printer.OpenDevice(PdfPage{1000, 1000, 100}, &error);
    if (!device || device->StartDoc("PictaVera Print", &error) <= 0) return PageStatus::kFailed;
    Bitmap picture = *MakeBitmap(2, 2, 0xFF00FF00);
    PagePicture placed;
    placed.bitmap = &picture;
    placed.width_px = placed.height_px = 2;
    if (device->StartPage(&error) != PageStatus::kOk || !device->DrawPicture(placed, RectF{0, 0, 100, 100}) ||
        device->EndPage(&error) != PageStatus::kOk) {
      return PageStatus::kFailed;
    }
    return device->EndDoc(&error);
  }
  std::string dir_;
  PosixFileSystem files_;
};

TEST_F(PdfFilePrinterTest, AJobWithPagesLeavesOnePdfOfThosePages) {
  PdfFilePrinter printer(files_);
  int error = 0;
  auto device = printer.OpenDevice(PdfPage{1500, 1000, 300}, &error);
  ASSERT_TRUE(device);
  const DeviceGeometry geometry = device->Geometry();
  EXPECT_EQ(geometry.printable_width_px, 1771);  // 150 mm at 300 dpi
  EXPECT_EQ(geometry.printable_height_px, 1181);
  ASSERT_GT(device->StartDoc("PictaVera Print", &error), 0);
  Bitmap picture = *MakeBitmap(4, 2, 0x80FF0000);
  for (int page = 0; page < 2; ++page) {
    ASSERT_EQ(device->StartPage(&error), PageStatus::kOk);
    PagePicture placed;
    placed.bitmap = &picture;
    placed.width_px = 4;
    placed.height_px = 2;
    placed.turn_clockwise = page == 1;
    EXPECT_TRUE(device->DrawPicture(placed, RectF{10, 10, 400, 200}));
    ASSERT_EQ(device->EndPage(&error), PageStatus::kOk);
  }
  ASSERT_EQ(Files().size(), 1u);  // the temporary file while the job runs, hidden
  EXPECT_EQ(Files()[0][0], '.');
  ASSERT_EQ(device->EndDoc(&error), PageStatus::kOk);
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
  int error = 0;
  auto empty = printer.OpenDevice(PdfPage{2100, 2970, 300}, &error);
  ASSERT_GT(empty->StartDoc("PictaVera Print", &error), 0);
  EXPECT_EQ(empty->EndDoc(&error), PageStatus::kOk);
  EXPECT_TRUE(Files().empty());
  auto aborted = printer.OpenDevice(PdfPage{2100, 2970, 300}, &error);
  ASSERT_GT(aborted->StartDoc("PictaVera Print", &error), 0);
  ASSERT_EQ(aborted->StartPage(&error), PageStatus::kOk);
  ASSERT_EQ(aborted->EndPage(&error), PageStatus::kOk);
  aborted->AbortDoc();
  EXPECT_TRUE(Files().empty());
  auto dropped = printer.OpenDevice(PdfPage{2100, 2970, 300}, &error);
  ASSERT_GT(dropped->StartDoc("PictaVera Print", &error), 0);
  dropped.reset();
  EXPECT_TRUE(Files().empty());
  EXPECT_FALSE(printer.OpenDevice(PdfPage{0, 2970, 300}, &error));
}

// Publishing calls as FAT, exFAT and many SMB and FUSE mounts answer them.
int NoRenameFlags(const char*, const char*) { return EINVAL; }
int NoHardLinks(const char*, const char*) { return EPERM; }

TEST_F(PdfFilePrinterTest, WhereHardLinksAreRefusedJobsStillPublishWithoutReplacing) {
  PosixFileSystem no_links(std::nullopt, NoReplaceCalls{NoRenameFlags, NoHardLinks});
  PdfFilePrinter printer(no_links);
  ASSERT_EQ(PrintOnePage(printer), PageStatus::kOk);
  std::vector<std::string> files = Files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].substr(files[0].size() - 4), ".pdf");
  const std::string first = dir_ + "/out/prints/" + files[0];
  std::ofstream(first, std::ios::trunc) << "an earlier print";

  // A second printer numbers its jobs from 1 again: within the same second its first job's name is the
  // one taken above, and the job takes that name with "-1" added instead of replacing it.
  PdfFilePrinter again(no_links);
  ASSERT_EQ(PrintOnePage(again), PageStatus::kOk);
  files = Files();
  ASSERT_EQ(files.size(), 2u);
  for (const std::string& name : files) EXPECT_EQ(name.substr(name.size() - 4), ".pdf") << name;
  std::ifstream kept(first);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "an earlier print");
}

TEST_F(PdfFilePrinterTest, StateIsReplacedWhole) {
  PdfFilePrinter printer(files_);
  EXPECT_FALSE(printer.LoadState());
  EXPECT_EQ(printer.SaveState("default=1\n"), 0);
  EXPECT_EQ(printer.SaveState("default=0\n"), 0);
  EXPECT_EQ(printer.LoadState(), "default=0\n");
  ::setenv("XDG_CONFIG_HOME", "/proc/no-such-place", 1);
  EXPECT_NE(printer.SaveState("x"), 0);
}

}  // namespace
}  // namespace platform
