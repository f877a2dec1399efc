// Tests of the mosalith program run as a process: exit codes, output streams and the sheet files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "helper/file_open.h"
#include "helper/image_io.h"
#include "imaging/colour/colour_profile.h"
#include "imaging/colour/colour_transforms.h"
#include "tests/helper/run_program.h"
#include "tests/helper/not_a_file.h"
#include "tests/helper/test_images.h"
#include "tests/support/temp_folder.h"

namespace mosalith {
namespace {

constexpr const char* kMosalith = MOSALITH_PATH;

struct RunResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(const std::string& path) {
  const std::vector<uint8_t> bytes = test_support::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

imaging::Bitmap Solid(int32_t width, int32_t height, uint8_t r, uint8_t g, uint8_t b) {
  std::optional<imaging::Bitmap> image = imaging::MakeBitmap(width, height);
  EXPECT_TRUE(image);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = image->pixel(x, y);
      p[0] = r, p[1] = g, p[2] = b, p[3] = 255;
    }
  }
  return std::move(*image);
}

bool Near(const imaging::Bitmap& image, int32_t x, int32_t y, int r, int g, int b) {
  const uint8_t* p = image.pixel(x, y);
  return std::abs(p[0] - r) <= 12 && std::abs(p[1] - g) <= 12 && std::abs(p[2] - b) <= 12;
}

class MosalithProcessTest : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return dir_.File(name); }

  std::string WriteText(const std::string& name, const std::string& text) {
    const std::string path = PathOf(name);
    test_support::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
    return path;
  }

  // Runs mosalith with `argument` (none when empty), capturing both streams.
  RunResult Run(const std::optional<std::string>& argument) {
    // A hang (a file that blocks on opening) ends after a minute instead of never.
    std::vector<std::string> arguments;
    if (argument) arguments.push_back(*argument);
    RunResult result;
    result.exit_code = testing::RunProgram(kMosalith, arguments, PathOf("stdout.txt"), PathOf("stderr.txt"), 60);
    result.out = ReadAll(dir_.File("stdout.txt"));
    result.err = ReadAll(dir_.File("stderr.txt"));
    return result;
  }

  test_support::TempFolder dir_;
};

TEST_F(MosalithProcessTest, WithoutArgumentPrintsOnlyTheUsageLine) {
  const RunResult result = Run(std::nullopt);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "Usage: mosalith.exe <config_file>\n");
  EXPECT_EQ(result.out, "");
}

TEST_F(MosalithProcessTest, UnreadableJobsExitWithOne) {
  const std::string no_outputs = WriteText("no_outputs.txt", "[images]\na.jpg\n[outputs]\n");
  RunResult result = Run(no_outputs);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err,
            "Mosalith: Starting (stb version)...\n"
            "Mosalith: Config file: " + no_outputs + "\n"
            "Mosalith: Failed to parse config\n");
  EXPECT_EQ(result.out, "");

  result = Run(PathOf("missing.txt"));
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("Mosalith: Failed to parse config\n"), std::string::npos);

  result = Run(WriteText("bad_rows.txt", "[settings]\nrows=abc\n[images]\na.jpg\n[outputs]\nb.jpg\n"));
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("Mosalith: Invalid value for rows\nMosalith: Failed to parse config\n"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(result.out, "");
}

TEST_F(MosalithProcessTest, LayoutWithoutCellsExitsWithOneAndWritesNothing) {
  const std::string output = PathOf("sheet.jpg");
  for (const char* settings : {"rows=0\n", "pageWidth=30\n", "pageWidth=0\n"}) {
    const RunResult result = Run(WriteText("job.txt", std::string("[settings]\n") + settings +
                                                          "[images]\na.jpg\n[outputs]\n" + output + "\n"));
    EXPECT_EQ(result.exit_code, 1) << settings;
    EXPECT_EQ(result.out, "") << settings;
    EXPECT_NE(result.err.find("Config parsed - 1 images, 1 outputs\nMosalith: "), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(test_support::PathFromUtf8(output))) << settings;
  }
}

TEST_F(MosalithProcessTest, PagesBeyondTheBudgetAreRefusedAtOnce) {
  const std::string output = PathOf("sheet.jpg");
  // 32767 x 32767 would be a 4 GiB canvas; A3 at 1200 dpi (278 megapixels) is above the budget too.
  for (const std::string size : {"32767x32767", "14031x19843", "32768x100"}) {
    const std::string width = size.substr(0, size.find('x')), height = size.substr(size.find('x') + 1);
    const RunResult result = Run(WriteText("job.txt", "[settings]\npageWidth=" + width + "\npageHeight=" + height +
                                                          "\n[images]\na.jpg\n[outputs]\n" + output + "\n"));
    EXPECT_EQ(result.exit_code, 1) << size;
    EXPECT_NE(result.err.find("outputs\nMosalith: Invalid page size " + size + "\n"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(output)) << size;
  }
}

TEST_F(MosalithProcessTest, AnOutputThatIsOneOfThePhotosOrFramesIsRefusedBeforeWriting) {
  ASSERT_TRUE(WriteJpeg(Solid(40, 40, 90, 160, 90), PathOf("green.jpg"), 95, testing::Codec()));
  ASSERT_TRUE(WriteJpeg(Solid(40, 40, 200, 40, 40), PathOf("red.jpg"), 95, testing::Codec()));
  // A second name for the photo: a symbolic link, or a hard link where links are not available (Wine).
  std::error_code no_symlinks;
  std::filesystem::create_symlink(test_support::PathFromUtf8(PathOf("red.jpg")), test_support::PathFromUtf8(PathOf("link.jpg")),
                                  no_symlinks);
  if (no_symlinks) {
    std::filesystem::create_hard_link(test_support::PathFromUtf8(PathOf("red.jpg")), test_support::PathFromUtf8(PathOf("link.jpg")));
  }
  const std::string frame = PathOf("frame.jpg");
  ASSERT_TRUE(WriteJpeg(Solid(40, 40, 0, 0, 0), frame, 95, testing::Codec()));
  const std::vector<uint8_t> photo = test_support::ReadBytes(PathOf("red.jpg"));
  // The photo of a later sheet, a link to it, and a frame: each would be gone before it is used.
  for (const std::string& output : {PathOf("red.jpg"), PathOf("link.jpg"), frame}) {
    const RunResult result = Run(WriteText(
        "job.txt", "[settings]\npageWidth=60\npageHeight=60\nrows=1\ncols=1\n[images]\n" + PathOf("green.jpg") +
                       "\n" + PathOf("red.jpg") + "\n[frames]\n(none)\n" + frame + "\n[outputs]\n" + PathOf("s1.jpg") +
                       "\n" + output + "\n"));
    EXPECT_EQ(result.exit_code, 1) << output;
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("outputs\nMosalith: Output path is one of the input files: " + output + "\n"),
              std::string::npos)
        << result.err;
    EXPECT_FALSE(std::filesystem::exists(PathOf("s1.jpg")));
    EXPECT_EQ(test_support::ReadBytes(PathOf("red.jpg")), photo);
  }
}

TEST_F(MosalithProcessTest, WholeJobWritesEverySheetAndPrintsOk) {
  // 5 photos (one missing) on a 2 x 2 grid with 3 sheets: sheet 3 has no photos but is still written.
  ASSERT_TRUE(WriteJpeg(Solid(80, 60, 200, 40, 40), PathOf("red.jpg"), 95, testing::Codec()));
  ASSERT_TRUE(WriteJpeg(Solid(60, 80, 40, 40, 200), PathOf("blue.jpg"), 95, testing::Codec()));
  std::string job =
      "[settings]\npageWidth=200\npageHeight=160\nmarginLeft=10\nmarginRight=10\nmarginTop=8\nmarginBottom=8\n"
      "showCutGrid=1\ncutGridColor=black\ncutGridWidthMm=0.5\ndpi=300\n[images]\n";
  for (const char* name : {"red.jpg", "blue.jpg", "missing.jpg", "red.jpg", "blue.jpg"}) job += PathOf(name) + "\n";
  job += "[outputs]\n";
  for (const char* name : {"s1.jpg", "s2.jpg", "s3.jpg"}) job += PathOf(name) + "\n";
  // A job path with non-ASCII characters is opened and echoed as it is.
  const std::string job_path = WriteText("t\xC3\xA2" "che \xE2\x98\x85.txt", job);

  const RunResult result = Run(job_path);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "OK\n");
  for (const std::string& line :
       {"Mosalith: Config file: " + job_path + "\n", std::string("Mosalith: Config parsed - 5 images, 3 outputs\n"),
        std::string("Mosalith: 5 images, 2x2 grid, cell 90x72, threads="), std::string("Mosalith: [5/5]\n"),
        std::string("Mosalith: Saved page 3/3\n"), std::string("Mosalith: Total time: ")}) {
    EXPECT_NE(result.err.find(line), std::string::npos) << line << "\n--- in ---\n" << result.err;
  }

  for (const char* name : {"s1.jpg", "s2.jpg", "s3.jpg"}) {
    std::optional<imaging::Bitmap> sheet = testing::LoadImage(PathOf(name), testing::Codec());
    ASSERT_TRUE(sheet) << name;
    EXPECT_EQ(sheet->width_px, 200);
    EXPECT_EQ(sheet->height_px, 160);
    // 0.5 mm at 300 dpi: 5-pixel lines centred on x = 100 and y = 80; nothing on the outer edge.
    EXPECT_TRUE(Near(*sheet, 100, 40, 0, 0, 0)) << name;
    EXPECT_TRUE(Near(*sheet, 50, 80, 0, 0, 0)) << name;
    EXPECT_TRUE(Near(*sheet, 10, 4, 255, 255, 255)) << name;
  }
  std::optional<imaging::Bitmap> first = testing::LoadImage(PathOf("s1.jpg"), testing::Codec());
  std::optional<imaging::Bitmap> second = testing::LoadImage(PathOf("s2.jpg"), testing::Codec());
  std::optional<imaging::Bitmap> third = testing::LoadImage(PathOf("s3.jpg"), testing::Codec());
  ASSERT_TRUE(first && second && third);
  EXPECT_TRUE(Near(*first, 50, 40, 200, 40, 40));     // photo 0
  EXPECT_TRUE(Near(*first, 150, 40, 40, 40, 200));    // photo 1
  EXPECT_TRUE(Near(*first, 50, 120, 255, 255, 255));  // photo 2 could not be loaded
  EXPECT_TRUE(Near(*first, 150, 120, 200, 40, 40));   // photo 3
  EXPECT_TRUE(Near(*second, 50, 40, 40, 40, 200));    // photo 4
  EXPECT_TRUE(Near(*second, 150, 40, 255, 255, 255));
  EXPECT_TRUE(Near(*third, 50, 40, 255, 255, 255));
}

// The whole file at `path`.
std::vector<uint8_t> FileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadWholeFile(path, bytes, int64_t{1} << 26)) << path;
  return bytes;
}

bool Holds(const std::vector<uint8_t>& file, const std::vector<uint8_t>& part) {
  return std::search(file.begin(), file.end(), part.begin(), part.end()) != file.end();
}

TEST_F(MosalithProcessTest, SheetsAreConvertedIntoTheJobsColourProfileAndCarryIt) {
  ASSERT_TRUE(WriteJpeg(Solid(60, 60, 40, 200, 60), PathOf("green.jpg"), 100, testing::Codec()));
  const std::string printer = PathOf("printer.icc");  // a display-class RGB profile serves as one
  const std::vector<uint8_t>& adobe = imaging::colour::AdobeRgbProfile()->icc();
  WriteText("printer.icc", std::string(adobe.begin(), adobe.end()));
  WriteText("broken.icc", "not a profile");
  imaging::colour::ColourTransforms transforms;
  const uint32_t in_adobe =
      transforms.Between(imaging::colour::SrgbProfile(), imaging::colour::AdobeRgbProfile())->ApplyArgb(0xFF28C83C);

  struct Case {
    std::string setting;
    const std::vector<uint8_t>* carried;  // null: no profile
    uint32_t photo;
  };
  const std::vector<Case> cases = {
      {"colorProfile=adobe_rgb\n", &adobe, in_adobe},
      {"colorProfile=custom:" + printer + "\n", &adobe, in_adobe},
      {"colorProfile=custom:" + PathOf("broken.icc") + "\n", &imaging::colour::SrgbProfile()->icc(), 0xFF28C83C},
      {"colorProfile=srgb\n", &imaging::colour::SrgbProfile()->icc(), 0xFF28C83C},
      {"colorProfile=no_conversion\n", nullptr, 0xFF28C83C},
      {"", nullptr, 0xFF28C83C},  // a job written before the key existed
  };
  for (const Case& c : cases) {
    const RunResult result = Run(WriteText("job.txt", "[settings]\npageWidth=120\npageHeight=60\nrows=1\ncols=2\n"
                                                          "marginLeft=0\nmarginRight=0\nmarginTop=0\nmarginBottom=0\n"
                                                          "showCutGrid=1\ncutGridColor=black\njpegQuality=100\n" +
                                                          c.setting + "[images]\n" + PathOf("green.jpg") +
                                                          "\n[outputs]\n" + PathOf("s.jpg") + "\n"));
    EXPECT_EQ(result.exit_code, 0) << c.setting << result.err;
    const std::vector<uint8_t> sheet_bytes = FileBytes(PathOf("s.jpg"));
    EXPECT_EQ(c.carried != nullptr && Holds(sheet_bytes, *c.carried), c.carried != nullptr) << c.setting;
    EXPECT_EQ(Holds(sheet_bytes, {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E'}), c.carried != nullptr)
        << c.setting;
    EXPECT_EQ(result.err.find("custom colour profile unusable") != std::string::npos,
              c.setting.find("broken") != std::string::npos)
        << result.err;
    std::optional<imaging::Bitmap> sheet = testing::LoadImage(PathOf("s.jpg"), testing::Codec());
    ASSERT_TRUE(sheet);
    const uint8_t* p = sheet->pixel(30, 30);
    EXPECT_NEAR(p[0], int((c.photo >> 16) & 0xFF), 3) << c.setting;
    EXPECT_NEAR(p[1], int((c.photo >> 8) & 0xFF), 3) << c.setting;
    EXPECT_NEAR(p[2], int(c.photo & 0xFF), 3) << c.setting;
    EXPECT_TRUE(Near(*sheet, 60, 30, 0, 0, 0)) << c.setting;  // black cut lines stay black
  }
}

TEST_F(MosalithProcessTest, UnwritableSheetExitsWithTwoAfterTheOthers) {
  ASSERT_TRUE(WriteJpeg(Solid(40, 40, 90, 160, 90), PathOf("green.jpg"), 95, testing::Codec()));
  const std::string bad = PathOf("no-such-folder/s2.jpg");
  const RunResult result = Run(WriteText(
      "job.txt", "[settings]\npageWidth=100\npageHeight=80\n[images]\n" + PathOf("green.jpg") + "\n[outputs]\n" +
                     PathOf("s1.jpg") + "\n" + bad + "\n" + PathOf("s3.jpg") + "\n"));
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("Mosalith: Failed to write page 2: " + bad + "\n"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("Mosalith: Saved page 2/3\n"), std::string::npos) << result.err;
  EXPECT_TRUE(testing::LoadImage(PathOf("s1.jpg"), testing::Codec()));
  EXPECT_TRUE(testing::LoadImage(PathOf("s3.jpg"), testing::Codec()));
}

TEST_F(MosalithProcessTest, FifosAreRefusedInsteadOfWaitedOn) {
  const testing::BlockingSpecialFile job_fifo(dir_, "job.txt");
  RunResult result = Run(job_fifo.path());
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("Mosalith: Failed to parse config\n"), std::string::npos) << result.err;

  // A photo, a frame and an output that are FIFOs: the cell stays white and unframed, the sheet that
  // cannot be written is reported, the other sheet is written.
  const testing::BlockingSpecialFile photo(dir_, "photo.jpg");
  const testing::BlockingSpecialFile frame(dir_, "frame.png");
  const testing::BlockingSpecialFile output(dir_, "s2.jpg");
  const std::string& photo_fifo = photo.path();
  const std::string& frame_fifo = frame.path();
  const std::string& output_fifo = output.path();
  ASSERT_TRUE(WriteJpeg(Solid(40, 40, 90, 160, 90), PathOf("green.jpg"), 95, testing::Codec()));
  result = Run(WriteText("fifos.txt", "[settings]\npageWidth=40\npageHeight=20\nmarginLeft=0\nmarginRight=0\n"
                                      "marginTop=0\nmarginBottom=0\nrows=1\ncols=2\n[images]\n" + photo_fifo +
                                      "\n" + PathOf("green.jpg") + "\n[frames]\n" + frame_fifo + "\n" +
                                      frame_fifo + "\n[outputs]\n" + PathOf("s1.jpg") + "\n" + output_fifo + "\n"));
  EXPECT_EQ(result.exit_code, 2) << result.err;
  EXPECT_NE(result.err.find("Mosalith: Failed to write page 2: " + output_fifo + "\n"), std::string::npos)
      << result.err;
  std::optional<imaging::Bitmap> sheet = testing::LoadImage(PathOf("s1.jpg"), testing::Codec());
  ASSERT_TRUE(sheet);
  EXPECT_TRUE(Near(*sheet, 5, 10, 255, 255, 255));
  EXPECT_TRUE(Near(*sheet, 30, 10, 90, 160, 90));
}

}  // namespace
}  // namespace mosalith
