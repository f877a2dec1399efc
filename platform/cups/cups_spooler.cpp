// CupsSpooler: printers, settings and jobs through libcups.
#include "platform/cups/cups_spooler.h"

#include <cups/cups.h>
#include <cups/pwg.h>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <utility>

#include "platform/cairo_pdf/pdf_pages.h"
#include "platform/cups/cups_options.h"
#include "platform/paper_numbers.h"

namespace platform {
namespace {

constexpr int kDefaultDpi = 600;
constexpr int kConnectTimeoutMs = 30000;

// The lock over lpoptions (see the header).
std::mutex& OptionsLock() {
  static std::mutex lock;
  return lock;
}

struct DestsHolder {
  int count = 0;
  cups_dest_t* dests = nullptr;
  ~DestsHolder() {
    if (dests) cupsFreeDests(count, dests);
  }
};

struct DestHolder {
  cups_dest_t* dest = nullptr;
  ~DestHolder() {
    if (dest) cupsFreeDests(1, dest);
  }
};

struct InfoHolder {
  cups_dinfo_t* info = nullptr;
  ~InfoHolder() {
    if (info) cupsFreeDestInfo(info);
  }
};

struct HttpHolder {
  http_t* http = nullptr;
  ~HttpHolder() { Close(); }
  void Close() {
    if (http) httpClose(http);
    http = nullptr;
  }
};

http_t* Connect() {
  return httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectTimeoutMs, nullptr);
}

CupsOptions OptionsOf(const cups_dest_t* dest) {
  CupsOptions options;
  for (int i = 0; i < dest->num_options; ++i) options.emplace_back(dest->options[i].name, dest->options[i].value);
  return options;
}

const char* Option(const cups_dest_t* dest, const char* name) {
  return cupsGetOption(name, dest->num_options, dest->options);
}

// The destination's media list, numbered and labelled; derived numbers that collide on this printer
// fall back to 256 for the later paper.
std::vector<CupsMedia> MediaList(http_t* http, cups_dest_t* dest, cups_dinfo_t* info) {
  std::vector<CupsMedia> list;
  const int count = cupsGetDestMediaCount(http, dest, info, CUPS_MEDIA_FLAGS_DEFAULT);
  for (int i = 0; i < count; ++i) {
    cups_size_t size {};
    if (!cupsGetDestMediaByIndex(http, dest, info, i, CUPS_MEDIA_FLAGS_DEFAULT, &size)) continue;
    CupsMedia entry;
    entry.keyword = size.media;
    const std::string base(BaseMediaName(entry.keyword));
    const pwg_media_t* pwg = pwgMediaForPWG(base.c_str());
    // Known sizes are exact; a printer description in points rounds them (A4 as 209.9 x 297.04 mm).
    const int width = pwg ? pwg->width : size.width;
    const int length = pwg ? pwg->length : size.length;
    const char* localized = cupsLocalizeDestMedia(http, dest, info, CUPS_MEDIA_FLAGS_DEFAULT, &size);
    std::string display = localized && *localized && std::string(localized) != entry.keyword ? localized : "";
    if (display.empty() && pwg && pwg->ppd) display = pwg->ppd;
    entry.paper.id = PaperIdForMedia(entry.keyword);
    entry.paper.label = PaperLabel(display, entry.keyword);
    entry.paper.width_tenths_mm = TenthsFromHundredths(width);
    entry.paper.height_tenths_mm = TenthsFromHundredths(length);
    entry.paper.margin_left_hundredths_mm = size.left;
    entry.paper.margin_top_hundredths_mm = size.top;
    entry.paper.margin_right_hundredths_mm = size.right;
    entry.paper.margin_bottom_hundredths_mm = size.bottom;
    entry.paper.borderless = IsBorderlessMedia(entry.keyword);
    if (entry.paper.id > kPaperUser) {
      for (const CupsMedia& earlier : list) {
        if (earlier.paper.id == entry.paper.id && earlier.keyword != entry.keyword) entry.paper.id = kPaperUser;
      }
    }
    list.push_back(std::move(entry));
  }
  return list;
}

// The printer's default media keyword, or empty.
std::string DefaultMedia(http_t* http, cups_dest_t* dest, cups_dinfo_t* info) {
  ipp_attribute_t* attribute = cupsFindDestDefault(http, dest, info, "media");
  const char* value = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
  return value ? value : "";
}

// A destination by name with the user's options (lpoptions) applied; null when unknown or unreachable.
cups_dest_t* NamedDest(const std::string& name) {
  std::lock_guard lock(OptionsLock());
  return cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.c_str(), nullptr);
}

std::string ReadSmallFile(const std::string& path) {
  constexpr std::streamsize kMaxBytes = 1 << 20;
  std::ifstream file(path, std::ios::binary);
  std::string text(static_cast<size_t>(kMaxBytes), '\0');
  file.read(text.data(), kMaxBytes);
  text.resize(static_cast<size_t>(std::max<std::streamsize>(file.gcount(), 0)));
  return text;
}

// With LPDEST or PRINTER set, libcups reads no saved default and so writes none back: the user's own
// "Default" line would be lost. The destination their settings name (their own file first, then the
// system-wide one) is marked as the default again before the settings are written.
void KeepSavedDefault(int count, cups_dest_t* dests) {
  const char* lpdest = std::getenv("LPDEST");
  const char* printer = std::getenv("PRINTER");
  if ((lpdest == nullptr || *lpdest == '\0') && (printer == nullptr || *printer == '\0')) return;
  std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
  if (home.empty()) {
    if (const passwd* entry = ::getpwuid(::getuid())) home = entry->pw_dir;
  }
  const char* server_root = std::getenv("CUPS_SERVERROOT");
  std::optional<SavedDefault> saved;
  if (!home.empty()) saved = SavedDefaultPrinter(ReadSmallFile(home + "/.cups/lpoptions"));
  if (!saved) saved = SavedDefaultPrinter(ReadSmallFile(std::string(server_root ? server_root : "/etc/cups") + "/lpoptions"));
  const cups_dest_t* kept =
      saved ? cupsGetDest(saved->name.c_str(), saved->instance.empty() ? nullptr : saved->instance.c_str(), count, dests)
            : nullptr;
  for (int i = 0; i < count; ++i) dests[i].is_default = &dests[i] == kept ? 1 : 0;
}

int JobState(http_t* http, int job_id) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/jobs/%d", job_id);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-state");
  ipp_t* response = cupsDoRequest(http, request, "/");
  int state = 0;
  if (response) {
    if (ipp_attribute_t* attribute = ippFindAttribute(response, "job-state", IPP_TAG_ENUM)) {
      state = ippGetInteger(attribute, 0);
    }
    ippDelete(response);
  }
  return state;
}

struct Sheet {
  std::string media;
  cups_size_t size {};
};

}  // namespace

struct CupsSpooler::ActiveJobs {
  std::mutex mutex;
  std::set<std::pair<std::string, int>> jobs;
  void Add(const std::string& queue, int job) {
    std::lock_guard lock(mutex);
    jobs.emplace(queue, job);
  }
  void Remove(const std::string& queue, int job) {
    std::lock_guard lock(mutex);
    jobs.erase({queue, job});
  }
};

namespace {

class CupsPrintDevice : public PrintDevice {
 public:
  CupsPrintDevice(cups_dest_t* dest, cups_dinfo_t* info, http_t* upload, const Sheet& sheet, int dpi_x, int dpi_y,
                  bool landscape, CupsOptions options, std::shared_ptr<CupsSpooler::ActiveJobs> active)
      : options_(std::move(options)), active_(std::move(active)) {
    dest_.dest = dest;
    info_.info = info;
    upload_.http = upload;
    const cups_size_t& s = sheet.size;
    int width = s.width, length = s.length, left = s.left, top = s.top, right = s.right, bottom = s.bottom;
    if (landscape) {
      // The page lies on its side: what was the bottom margin is now on the left.
      std::swap(width, length);
      const int old_left = left;
      left = bottom;
      bottom = right;
      right = top;
      top = old_left;
    }
    geometry_.dpi_x = dpi_x;
    geometry_.dpi_y = dpi_y;
    auto px = [](int hundredths, int dpi) { return static_cast<int>(int64_t{hundredths} * dpi / 2540); };
    geometry_.physical_width_px = px(width, dpi_x);
    geometry_.physical_height_px = px(length, dpi_y);
    geometry_.offset_x_px = px(left, dpi_x);
    geometry_.offset_y_px = px(top, dpi_y);
    geometry_.printable_width_px = px(width - left - right, dpi_x);
    geometry_.printable_height_px = px(length - top - bottom, dpi_y);
    geometry_.printable_width_mm = (width - left - right) / 100;
    geometry_.printable_height_mm = (length - top - bottom) / 100;
    geometry_.paper_name = sheet.media;
    width_pt_ = width * 72.0 / 2540.0;
    height_pt_ = length * 72.0 / 2540.0;
  }

  ~CupsPrintDevice() override {
    if (job_id_ > 0 && !closed_) AbortDoc();
  }

  DeviceGeometry Geometry() const override { return geometry_; }

  int StartDoc(const std::string& document_name, int* error) override {
    title_ = document_name;
    status_.http = Connect();
    if (!status_.http) {
      *error = static_cast<int>(cupsLastError());
      return 0;
    }
    cups_option_t* options = nullptr;
    int count = 0;
    for (const auto& [name, value] : options_) count = cupsAddOption(name.c_str(), value.c_str(), count, &options);
    int job_id = 0;
    const ipp_status_t created = cupsCreateDestJob(upload_.http, dest_.dest, info_.info, &job_id, title_.c_str(), count, options);
    cupsFreeOptions(count, options);
    if (created > IPP_STATUS_OK_EVENTS_COMPLETE || job_id <= 0) {
      *error = static_cast<int>(cupsLastError());
      return 0;
    }
    job_id_ = job_id;
    active_->Add(dest_.dest->name, job_id_);
    pages_ = PdfPages::Create(width_pt_, height_pt_, geometry_, [this](const uint8_t* bytes, size_t size) {
      if (closed_) return false;
      pending_.insert(pending_.end(), bytes, bytes + size);
      return true;
    });
    if (!pages_) {
      *error = ENOMEM;
      AbortDoc();
      return 0;
    }
    return job_id_;
  }

  PageStatus StartPage(int* error) override { return CheckState(error); }

  DrawResult DrawPicture(const PagePicture& picture, const RectF& dest) override {
    return pages_ ? pages_->DrawPicture(picture, dest) : DrawResult::kFailed;
  }

  PageStatus EndPage(int* error) override {
    if (!pages_ || !pages_->ShowPage()) {
      *error = ENOMEM;
      return PageStatus::kFailed;
    }
    if (!Flush(error)) return PageStatus::kFailed;
    ++ended_;
    return CheckState(error);
  }

  PageStatus EndDoc(int* error) override {
    if (ended_ == 0) {  // nothing to print: no blank sheet
      AbortDoc();
      return PageStatus::kOk;
    }
    const bool finished = pages_->Finish();
    pages_.reset();
    if (!finished || !Flush(error)) {
      AbortDoc();
      return PageStatus::kFailed;
    }
    const ipp_status_t status = cupsFinishDestDocument(upload_.http, dest_.dest, info_.info);
    closed_ = true;
    active_->Remove(dest_.dest->name, job_id_);
    if (status > IPP_STATUS_OK_EVENTS_COMPLETE) {
      *error = static_cast<int>(status);
      Cancel();
      return PageStatus::kFailed;
    }
    const int state = JobState(status_.http, job_id_);
    if (state == IPP_JSTATE_CANCELED || state == IPP_JSTATE_ABORTED) {
      *error = state;
      return state == IPP_JSTATE_CANCELED ? PageStatus::kCancelled : PageStatus::kFailed;
    }
    return PageStatus::kOk;
  }

  void AbortDoc() override {
    if (closed_) return;
    closed_ = true;
    pages_.reset();  // its last writes are dropped
    Cancel();
    upload_.Close();  // without finishing the document
  }

 private:
  void Cancel() {
    if (job_id_ <= 0) return;
    active_->Remove(dest_.dest->name, job_id_);
    if (!status_.http) status_.http = Connect();
    // client-error-not-possible means it was already cancelled: nothing more to do either way.
    if (status_.http) cupsCancelDestJob(status_.http, dest_.dest, job_id_);
  }

  PageStatus CheckState(int* error) {
    if (closed_ || job_id_ <= 0) {
      *error = EIO;
      return PageStatus::kFailed;
    }
    const int state = JobState(status_.http, job_id_);
    if (state == IPP_JSTATE_CANCELED) {
      *error = state;
      return PageStatus::kCancelled;
    }
    if (state == IPP_JSTATE_ABORTED || state == 0) {
      *error = state == 0 ? static_cast<int>(cupsLastError()) : state;
      return PageStatus::kFailed;
    }
    return PageStatus::kOk;
  }

  // Sends what cairo has written so far; the document is started with the first bytes.
  bool Flush(int* error) {
    if (pending_.empty()) return true;
    if (!started_) {
      const http_status_t started = cupsStartDestDocument(upload_.http, dest_.dest, info_.info, job_id_, title_.c_str(),
                                                          CUPS_FORMAT_PDF, 0, nullptr, 1);
      if (started != HTTP_STATUS_CONTINUE) {
        *error = static_cast<int>(started);
        return false;
      }
      started_ = true;
    }
    const http_status_t written =
        cupsWriteRequestData(upload_.http, reinterpret_cast<const char*>(pending_.data()), pending_.size());
    pending_.clear();
    if (written != HTTP_STATUS_CONTINUE) {
      *error = static_cast<int>(written);
      return false;
    }
    return true;
  }

  DestHolder dest_;
  InfoHolder info_;
  HttpHolder upload_;
  HttpHolder status_;
  CupsOptions options_;
  DeviceGeometry geometry_;
  double width_pt_ = 0;
  double height_pt_ = 0;
  std::string title_;
  std::shared_ptr<CupsSpooler::ActiveJobs> active_;
  int job_id_ = 0;
  int ended_ = 0;
  bool started_ = false;
  bool closed_ = false;
  std::vector<uint8_t> pending_;
  std::unique_ptr<PdfPages> pages_;
};

// The media to use for `settings` on this printer: the stated paper, else the stored option, else the
// printer's default; the size as the printer gives it (it may substitute a variant).
bool ChooseSheet(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, const PrintSettings& settings,
                 const std::vector<CupsMedia>& list, Sheet* sheet) {
  std::vector<std::string> candidates;
  candidates.push_back(MediaForSettings(settings, list));
  for (const auto& [name, value] : settings.options) {
    if (name == "media") candidates.push_back(value);
  }
  candidates.push_back(DefaultMedia(http, dest, info));
  for (const std::string& media : candidates) {
    if (media.empty()) continue;
    // Asked for by its plain name, a borderless variant comes back as its bordered base paper.
    const unsigned flags = IsBorderlessMedia(media) ? CUPS_MEDIA_FLAGS_BORDERLESS : CUPS_MEDIA_FLAGS_DEFAULT;
    if (cupsGetDestMediaByName(http, dest, info, media.c_str(), flags, &sheet->size)) {
      sheet->media = sheet->size.media;
      return true;
    }
    if (const pwg_media_t* pwg = pwgMediaForPWG(media.c_str())) {
      sheet->media = media;
      sheet->size = cups_size_t {};
      snprintf(sheet->size.media, sizeof sheet->size.media, "%s", media.c_str());
      sheet->size.width = pwg->width;
      sheet->size.length = pwg->length;
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<PrinterSummary> CupsSpooler::Printers() {
  DestsHolder all;
  {
    std::lock_guard lock(OptionsLock());
    all.count = cupsGetDests2(CUPS_HTTP_DEFAULT, &all.dests);
  }
  std::vector<PrinterSummary> printers;
  for (int i = 0; i < all.count; ++i) {
    const cups_dest_t* dest = &all.dests[i];
    if (dest->instance != nullptr) continue;  // instances have no counterpart in the interface
    PrinterSummary summary;
    summary.name = dest->name;
    const char* info = Option(dest, "printer-info");
    summary.comment = info ? info : "";
    const char* reasons = Option(dest, "printer-state-reasons");
    summary.offline = reasons && std::string(reasons).find("offline") != std::string::npos;
    printers.push_back(std::move(summary));
  }
  return printers;
}

std::optional<std::string> CupsSpooler::DefaultPrinter() {
  DestHolder found;
  {
    std::lock_guard lock(OptionsLock());
    found.dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
  }
  if (!found.dest || !found.dest->name) return std::nullopt;
  return std::string(found.dest->name);
}

bool CupsSpooler::SetDefaultPrinter(const std::string& name) {
  std::lock_guard lock(OptionsLock());
  DestsHolder all;
  all.count = cupsGetDests2(CUPS_HTTP_DEFAULT, &all.dests);
  const cups_dest_t* dest = cupsGetDest(name.c_str(), nullptr, all.count, all.dests);
  if (dest == nullptr) return false;
  const std::string exact = dest->name;
  cupsSetDefaultDest(exact.c_str(), nullptr, all.count, all.dests);
  if (cupsSetDests2(CUPS_HTTP_DEFAULT, all.count, all.dests) != 0) return false;
  // LPDEST and PRINTER take precedence over the stored default: check what the default now is.
  DestHolder now;
  now.dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
  return now.dest && now.dest->name && exact == now.dest->name;
}

bool CupsSpooler::HasPrinter(const std::string& name) {
  if (name.empty()) return false;
  DestHolder found;
  found.dest = NamedDest(name);
  return found.dest != nullptr;
}

std::optional<std::vector<Paper>> CupsSpooler::Papers(const std::string& name) {
  if (name.empty()) return std::nullopt;
  DestHolder found;
  found.dest = NamedDest(name);
  if (!found.dest) return std::nullopt;
  InfoHolder info;
  info.info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, found.dest);
  if (!info.info) return std::nullopt;
  std::vector<Paper> papers;
  for (CupsMedia& entry : MediaList(CUPS_HTTP_DEFAULT, found.dest, info.info)) papers.push_back(std::move(entry.paper));
  return papers;
}

std::optional<PrintSettings> CupsSpooler::CurrentSettings(const std::string& name) {
  if (name.empty()) return std::nullopt;
  DestHolder found;
  found.dest = NamedDest(name);
  if (!found.dest) return std::nullopt;
  InfoHolder info;
  info.info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, found.dest);
  if (!info.info) return std::nullopt;
  const std::vector<CupsMedia> list = MediaList(CUPS_HTTP_DEFAULT, found.dest, info.info);
  const char* stored = Option(found.dest, "media");
  const std::string media = stored ? stored : DefaultMedia(CUPS_HTTP_DEFAULT, found.dest, info.info);
  return SettingsFromOptions(OptionsOf(found.dest), media, list);
}

bool CupsSpooler::ValidateSettings(const std::string& name, PrintSettings* settings) {
  DestHolder found;
  found.dest = NamedDest(name);
  if (!found.dest) return false;
  InfoHolder info;
  info.info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, found.dest);
  if (!info.info) return false;
  if (!(settings->fields & kFieldPaperSize)) return true;
  const std::vector<CupsMedia> list = MediaList(CUPS_HTTP_DEFAULT, found.dest, info.info);
  std::string media;
  const CupsMedia* chosen = nullptr;
  if (settings->paper_id == kPaperUser) {
    const int width = settings->paper_width_tenths_mm;
    const int length = settings->paper_length_tenths_mm;
    if (width <= 0 || length <= 0) return false;
    const std::string custom = CustomMediaName(width, length);
    if (cupsCheckDestSupported(CUPS_HTTP_DEFAULT, found.dest, info.info, "media", custom.c_str())) {
      media = custom;
    } else {
      // The printer takes no sizes of its own choosing: the nearest listed paper within 10 mm.
      int64_t best = 101;
      for (const CupsMedia& entry : list) {
        const int64_t direct = std::llabs(entry.paper.width_tenths_mm - width) + std::llabs(entry.paper.height_tenths_mm - length);
        const int64_t turned = std::llabs(entry.paper.height_tenths_mm - width) + std::llabs(entry.paper.width_tenths_mm - length);
        const int64_t distance = std::min(direct, turned);
        if (distance < best) {
          best = distance;
          chosen = &entry;
        }
      }
      if (!chosen) return false;
    }
  } else {
    for (const CupsMedia& entry : list) {
      if (entry.paper.id == settings->paper_id) {
        chosen = &entry;
        break;
      }
    }
    // A printer may list a standard paper only as its borderless variant (photo sizes on driverless
    // printers): a standard number then stands for that variant.
    for (size_t i = 0; !chosen && i < list.size(); ++i) {
      if (list[i].paper.borderless && StandardPaperId(list[i].keyword) == settings->paper_id) chosen = &list[i];
    }
    if (!chosen) return false;
  }
  if (chosen) {
    media = chosen->keyword;
    settings->paper_id = chosen->paper.id;
    settings->form_name = chosen->paper.label;
    settings->fields |= kFieldFormName;
    if (chosen->paper.width_tenths_mm <= 32767 && chosen->paper.height_tenths_mm <= 32767) {
      settings->paper_width_tenths_mm = static_cast<int16_t>(chosen->paper.width_tenths_mm);
      settings->paper_length_tenths_mm = static_cast<int16_t>(chosen->paper.height_tenths_mm);
    }
  } else {
    settings->form_name.clear();
    settings->fields &= ~kFieldFormName;
  }
  // The public paper wins over a stored option.
  for (auto& [option, value] : settings->options) {
    if (option == "media") value = media;
  }
  return true;
}

int CupsSpooler::StoreSettings(const std::string& name, const PrintSettings& settings) {
  std::string media;
  {
    DestHolder found;
    found.dest = NamedDest(name);
    if (!found.dest) return ENOENT;
    InfoHolder info;
    info.info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, found.dest);
    if (info.info) media = MediaForSettings(settings, MediaList(CUPS_HTTP_DEFAULT, found.dest, info.info));
  }
  const CupsOptions options = StoredOptions(settings, media);
  std::lock_guard lock(OptionsLock());
  DestsHolder all;
  all.count = cupsGetDests2(CUPS_HTTP_DEFAULT, &all.dests);
  cups_dest_t* dest = cupsGetDest(name.c_str(), nullptr, all.count, all.dests);
  if (dest == nullptr) return ENOENT;
  for (const auto& [option, value] : options) {
    dest->num_options = cupsAddOption(option.c_str(), value.c_str(), dest->num_options, &dest->options);
  }
  KeepSavedDefault(all.count, all.dests);
  errno = 0;
  if (cupsSetDests2(CUPS_HTTP_DEFAULT, all.count, all.dests) != 0) return errno != 0 ? errno : EIO;
  return 0;
}

std::unique_ptr<PrintDevice> CupsSpooler::OpenDevice(const std::string& name, const PrintSettings& settings, int* error) {
  DestHolder found;
  found.dest = NamedDest(name);
  if (!found.dest) {
    *error = ENOENT;
    return nullptr;
  }
  HttpHolder upload;
  upload.http = Connect();
  if (!upload.http) {
    *error = static_cast<int>(cupsLastError());
    return nullptr;
  }
  InfoHolder info;
  info.info = cupsCopyDestInfo(upload.http, found.dest);
  if (!info.info) {
    *error = static_cast<int>(cupsLastError());
    return nullptr;
  }
  const std::vector<CupsMedia> list = MediaList(upload.http, found.dest, info.info);
  Sheet sheet;
  if (!ChooseSheet(upload.http, found.dest, info.info, settings, list, &sheet)) {
    // A printer without media names (a raw queue): A4.
    sheet.media = "iso_a4_210x297mm";
    sheet.size = cups_size_t {};
    snprintf(sheet.size.media, sizeof sheet.size.media, "%s", sheet.media.c_str());
    sheet.size.width = 21000;
    sheet.size.length = 29700;
  }
  int dpi_x = kDefaultDpi;
  int dpi_y = kDefaultDpi;
  if (ipp_attribute_t* resolution = cupsFindDestDefault(upload.http, found.dest, info.info, "printer-resolution")) {
    ipp_res_t units = IPP_RES_PER_INCH;
    int y = 0;
    const int x = ippGetResolution(resolution, 0, &y, &units);
    if (units == IPP_RES_PER_INCH && x > 0 && y > 0 && x <= 4800 && y <= 4800) {
      dpi_x = x;
      dpi_y = y;
    }
  }
  const bool landscape = (settings.fields & kFieldOrientation) && settings.orientation == kOrientationLandscape;
  CupsOptions options = JobOptions(settings, sheet.media);
  cups_dest_t* dest = found.dest;
  cups_dinfo_t* dinfo = info.info;
  http_t* http = upload.http;
  found.dest = nullptr;
  info.info = nullptr;
  upload.http = nullptr;
  return std::make_unique<CupsPrintDevice>(dest, dinfo, http, sheet, dpi_x, dpi_y, landscape, std::move(options),
                                           active_);
}

CupsSpooler::CupsSpooler() : active_(std::make_shared<ActiveJobs>()) {}

CupsSpooler::~CupsSpooler() = default;

void CupsSpooler::CancelActiveJobs() {
  std::set<std::pair<std::string, int>> jobs;
  {
    std::lock_guard lock(active_->mutex);
    jobs = active_->jobs;
  }
  // On a connection of its own: the devices' connections may be in the middle of sending a page.
  HttpHolder http;
  http.http = Connect();
  for (const auto& [queue, job] : jobs) cupsCancelJob2(http.http ? http.http : CUPS_HTTP_DEFAULT, queue.c_str(), job, 0);
}

}  // namespace platform
