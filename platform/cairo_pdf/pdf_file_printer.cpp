// PdfFilePrinter: PDF files in the output folder, state in the configuration folder.
#include "platform/cairo_pdf/pdf_file_printer.h"

#include <fcntl.h>
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

bool WriteAll(int fd, const uint8_t* bytes, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// One job: pages streamed into the .part file.
class PdfFileDevice : public PrintDevice {
 public:
  PdfFileDevice(std::string folder, std::string stem, const PdfPage& page)
      : folder_(std::move(folder)), stem_(std::move(stem)) {
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
  ~PdfFileDevice() override {
    if (fd_ >= 0) AbortDoc();
  }

  DeviceGeometry Geometry() const override { return geometry_; }

  int StartDoc(const std::string&, int* error) override {
    for (unsigned attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
      base_ = folder_;
      base_.append("/").append(stem_);
      if (attempt > 0) base_.append("-").append(std::to_string(attempt));
      base_.append(".pdf");
      part_ = base_ + "." + std::to_string(::getpid()) + ".part";
      fd_ = ::open(part_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
      if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
      *error = errno;
      return 0;
    }
    pages_ = PdfPages::Create(width_pt_, height_pt_, geometry_, [this](const uint8_t* bytes, size_t size) {
      if (fd_ < 0 || !WriteAll(fd_, bytes, size)) {
        write_failed_ = true;
        return false;
      }
      return true;
    });
    if (!pages_) {
      *error = ENOMEM;
      AbortDoc();
      return 0;
    }
    return 1;
  }

  PageStatus StartPage(int* error) override {
    if (write_failed_ || !pages_) {
      *error = EIO;
      return PageStatus::kFailed;
    }
    return PageStatus::kOk;
  }

  bool DrawPicture(const PagePicture& picture, const RectF& dest) override {
    return pages_ && pages_->DrawPicture(picture, dest);
  }

  PageStatus EndPage(int* error) override {
    if (!pages_ || !pages_->ShowPage() || write_failed_) {
      *error = write_failed_ ? EIO : ENOMEM;
      return PageStatus::kFailed;
    }
    ++ended_;
    return PageStatus::kOk;
  }

  PageStatus EndDoc(int* error) override {
    if (ended_ == 0) {  // no blank sheet for a job without pages
      AbortDoc();
      return PageStatus::kOk;
    }
    const bool finished = pages_->Finish() && !write_failed_;
    pages_.reset();
    const bool synced = finished && ::fsync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!finished || !synced || !closed) {
      *error = EIO;
      ::unlink(part_.c_str());
      return PageStatus::kFailed;
    }
    // The final name never replaces a file: link() refuses an existing name.
    const std::string& base = base_;
    for (unsigned n = 0; n < 100; ++n) {
      const std::string final_name = n == 0 ? base : base.substr(0, base.size() - 4) + "-" + std::to_string(n) + ".pdf";
      if (::link(part_.c_str(), final_name.c_str()) == 0) {
        ::unlink(part_.c_str());
        return PageStatus::kOk;
      }
      if (errno != EEXIST) break;
    }
    *error = errno;
    ::unlink(part_.c_str());
    return PageStatus::kFailed;
  }

  void AbortDoc() override {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    pages_.reset();  // its last writes see the closed file and are dropped
    ::unlink(part_.c_str());
  }

 private:
  std::string folder_;
  std::string stem_;
  std::string base_;  // the finished file's name
  std::string part_;
  DeviceGeometry geometry_;
  double width_pt_ = 0;
  double height_pt_ = 0;
  int fd_ = -1;
  bool write_failed_ = false;
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
  return std::make_unique<PdfFileDevice>(folder, stem, page);
}

std::optional<std::string> PdfFilePrinter::LoadState() {
  const int fd = ::open(ConfigFile().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
    if (text.size() > kMaxStateBytes) break;
  }
  ::close(fd);
  if (text.size() > kMaxStateBytes) return std::nullopt;
  return text;
}

int PdfFilePrinter::SaveState(const std::string& text) {
  const std::string path = ConfigFile();
  const int made = MakeFolders(path.substr(0, path.rfind('/')));
  if (made != 0) return made;
  const std::string temporary = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++state_counter_);
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  const bool written = WriteAll(fd, reinterpret_cast<const uint8_t*>(text.data()), text.size()) && ::fsync(fd) == 0;
  const int write_error = written ? 0 : (errno ? errno : EIO);
  if (::close(fd) != 0 || !written) {
    ::unlink(temporary.c_str());
    return write_error ? write_error : EIO;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return error;
  }
  return 0;
}

}  // namespace platform
