// The three insight methods through the built program (`pictavera call`): real adapters, the main
// window's face-results message, and the JSON the caller sees.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::string Call(const std::string& channel, const std::string& method, const std::string& json) {
  const std::string command =
      std::string("'") + PICTAVERA_BINARY + "' call " + channel + " " + method + " '" + json + "' 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  char buffer[4096];
  size_t got = 0;
  while (pipe != nullptr && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  if (pipe) ::pclose(pipe);
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

TEST(InsightProcessTest, FaceBatchIsAnsweredThroughTheMainWindow) {
  const std::string out =
      Call("face_rects_channel", "detectFacesWindows", R"({"imagePaths":["/nonexistent/a.jpg", 3, "/"]})");
  EXPECT_EQ(out,
            R"({"success":[{"debugInfo":"FD: file_open_failed","faces":[],"imagePath":"/nonexistent/a.jpg"},)"
            R"({"debugInfo":"FD: file_open_failed","faces":[],"imagePath":"/"}]})");
}

TEST(InsightProcessTest, QuickMetaAndThumbnailOfAMissingFileAreNull) {
  EXPECT_EQ(Call("media_info_channel", "getQuickMeta", R"({"path":"/nonexistent/a.jpg"})"), R"({"success":null})");
  EXPECT_EQ(Call("thumbnail_channel", "getThumbnail", R"({"path":"/nonexistent/a.jpg","width":16,"height":16})"),
            R"({"success":null})");
}

}  // namespace
