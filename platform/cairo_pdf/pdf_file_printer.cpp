// PdfFilePrinter: PDF files in the output folder, state in the configuration folder.
#include "platform/cairo_pdf/pdf_file_printer.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "platform/cairo_pdf/pdf_pages.h"

namespace platform {
namespace {

constexpr size_t kMaxStateBytes = 64 * 1024;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

std::string Home() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  if (const passwd* entry = ::getpwuid(::getuid())) return entry->pw_dir;
  return "/tmp";
}

// XDG_DOCUMENTS_DIR from the desktop's user-dirs file ("$HOME/Documents" form), if set there.
std::string DocumentsFolder() {
  std::string documents = Env("XDG_DOCUMENTS_DIR");
  if (!documents.empty() && documents[0] == '/') return documents;
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') config = Home() + "/.config";
  if (FILE* file = std::fopen((config + "/user-dirs.dirs").c_str(), "re")) {
    char line[4096];
    while (std::fgets(line, sizeof line, file)) {
      std::string text(line);
      const std::string key = "XDG_DOCUMENTS_DIR=\"";
      if (text.compare(0, key.size(), key) != 0) continue;
      const size_t end = text.find('"', key.size());
      if (end == std::string::npos) continue;
      std::string value = text.substr(key.size(), end - key.size());
      if (value.compare(0, 5, "$HOME") == 0) value = Home() + value.substr(5);
      if (!value.empty() && value[0] == '/') documents = value;
    }
    std::fclose(file);
  }
  return documents.empty() ? Home() + "/Documents" : documents;
}

std::string ConfigFile() {
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') config = Home() + "/.config";
  return config + "/PictaVera/BuiltInPrinter";
}

// Creates `path` and missing parents (mode 0700 for the ones created). 0 or errno.
int MakeFolders(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    const int parent = MakeFolders(path.substr(0, slash));
    if (parent != 0) return parent;
  }
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  return 0;
}

// One job: pages streamed into a pending file of the output folder.
class PdfFileDevice : public PrintDevice {
 public:
  PdfFileDevice(FileSystem& files, std::string folder, std::string stem, const PdfPage& page)
      : files_(files), folder_(std::move(folder)), stem_(std::move(stem)) {
    const int dpi = page.dpi > 0 ? page.dpi : 300;
    geometry_.dpi_x = geometry_.dpi_y = dpi;
    geometry_.physical_width_px = geometry_.printable_width_px =
        static_cast<int>(int64_t{page.width_tenths_mm} * dpi / 254);
    geometry_.physical_height_px = geometry_.printable_height_px =
        static_cast<int>(int64_t{page.height_tenths_mm} * dpi / 254);
    geometry_.printable_width_mm = page.width_tenths_mm / 10;
    geometry_.printable_height_mm = page.height_tenths_mm / 10;
    width_pt_ = page.width_tenths_mm * 72.0 / 254.0;
    height_pt_ = page.height_tenths_mm * 72.0 / 254.0;
  }
  ~PdfFileDevice() override { AbortDoc(); }

  DeviceGeometry Geometry() const override { return geometry_; }

  int StartDoc(const std::string&, int* error) override {
    file_ = files_.StartFile(folder_, 0644, error);
    if (!file_) return 0;
    pages_ = PdfPages::Create(width_pt_, height_pt_, geometry_, [this](const uint8_t* bytes, size_t size) {
      if (!file_ || write_error_ != 0) return false;
      write_error_ = file_->Write(bytes, size);
      return write_error_ == 0;
    });
    if (!pages_) {
      *error = ENOMEM;
      AbortDoc();
      return 0;
    }
    return 1;
  }

  PageStatus StartPage(int* error) override {
    if (write_error_ != 0 || !pages_) {
      *error = write_error_ != 0 ? write_error_ : EIO;
      return PageStatus::kFailed;
    }
    return PageStatus::kOk;
  }

  bool DrawPicture(const PagePicture& picture, const RectF& dest) override {
    return pages_ && pages_->DrawPicture(picture, dest);
  }

  PageStatus EndPage(int* error) override {
    if (!pages_ || !pages_->ShowPage() || write_error_ != 0) {
      *error = write_error_ != 0 ? write_error_ : ENOMEM;
      return PageStatus::kFailed;
    }
    ++ended_;
    return PageStatus::kOk;
  }

  PageStatus EndDoc(int* error) override {
    if (ended_ == 0 || !pages_) {  // no blank sheet for a job without pages
      AbortDoc();
      return PageStatus::kOk;
    }
    const bool finished = pages_->Finish() && write_error_ == 0;
    pages_.reset();
    if (!finished) {
      *error = write_error_ != 0 ? write_error_ : EIO;
      AbortDoc();
      return PageStatus::kFailed;
    }
    // The final name never replaces a file: a taken name gets "-1", "-2" ... added.
    int published = EEXIST;
    for (unsigned n = 0; n < 100 && published == EEXIST; ++n) {
      const std::string name = folder_ + "/" + stem_ + (n == 0 ? "" : "-" + std::to_string(n)) + ".pdf";
      published = file_->Publish(name, PublishMode::kNoReplace);
    }
    file_.reset();
    if (published != 0) {
      *error = published;
      return PageStatus::kFailed;
    }
    return PageStatus::kOk;
  }

  void AbortDoc() override {
    pages_.reset();  // its last writes find the file gone or failed and are dropped
    file_.reset();   // removes the temporary file
  }

 private:
  FileSystem& files_;
  std::string folder_;
  std::string stem_;
  DeviceGeometry geometry_;
  double width_pt_ = 0;
  double height_pt_ = 0;
  std::unique_ptr<PendingFile> file_;
  int write_error_ = 0;
  int ended_ = 0;
  std::unique_ptr<PdfPages> pages_;
};

}  // namespace

std::string PdfFilePrinter::OutputFolder() {
  const std::string chosen = Env("PICTAVERA_PDF_DIR");
  if (!chosen.empty()) return chosen;
  return DocumentsFolder() + "/PictaVera Prints";
}

std::unique_ptr<PrintDevice> PdfFilePrinter::OpenDevice(const PdfPage& page, int* error) {
  if (page.width_tenths_mm <= 0 || page.height_tenths_mm <= 0) {
    *error = EINVAL;
    return nullptr;
  }
  const std::string folder = OutputFolder();
  const int made = MakeFolders(folder);
  if (made != 0) {
    *error = made;
    return nullptr;
  }
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  ::localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &local);
  const std::string stem = std::string("PictaVera Print ") + stamp + "-" + std::to_string(++counter_);
  return std::make_unique<PdfFileDevice>(files_, folder, stem, page);
}

std::optional<std::string> PdfFilePrinter::LoadState() {
  int error = 0;
  const std::optional<std::vector<uint8_t>> bytes = files_.ReadFile(ConfigFile(), kMaxStateBytes + 1, &error);
  if (!bytes || bytes->size() > kMaxStateBytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}

int PdfFilePrinter::SaveState(const std::string& text) {
  const std::string path = ConfigFile();
  const int made = MakeFolders(FolderOfPath(path));
  if (made != 0) return made;
  return files_.WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()), 0600);
}

}  // namespace platform
