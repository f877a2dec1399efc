// GtkDialogSession: GTK's start, the one open dialog and its loop, the paper chosen again once a
// printer's papers have loaded.
#include "platform/gtk/gtk_session.h"

#include <gtk/gtkunixprint.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace platform {
namespace {

constexpr int kInitAttempts = 5;

// GLib's and GTK's own messages, as one log line each: warnings as DEBUG lines (a missing
// accessibility bus is no failure of the application), GLib's fatal errors as ERROR lines.
const GtkDialogSession* log_session = nullptr;

GLogWriterOutput WriteGlibLog(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer) {
  if ((level & (G_LOG_LEVEL_DEBUG | G_LOG_LEVEL_INFO)) != 0) return G_LOG_WRITER_HANDLED;
  const char* domain = "GLib";
  const char* message = "";
  for (gsize i = 0; i < count; ++i) {
    if (g_strcmp0(fields[i].key, "GLIB_DOMAIN") == 0 && fields[i].value != nullptr) domain = static_cast<const char*>(fields[i].value);
    if (g_strcmp0(fields[i].key, "MESSAGE") == 0 && fields[i].value != nullptr) message = static_cast<const char*>(fields[i].value);
  }
  const std::string prefix = (level & G_LOG_LEVEL_ERROR) != 0 ? "ERROR: " : "DEBUG: ";
  if (log_session != nullptr) log_session->Log(prefix + domain + ": " + message);
  return G_LOG_WRITER_HANDLED;
}

}  // namespace

void GtkDialogSession::Log(const std::string& line) const {
  if (setup_.log) setup_.log(line);
}

bool GtkDialogSession::Begin(const char* what) {
  if (!tried_) {
    tried_ = true;
    static std::once_flag writer_once;
    std::call_once(writer_once, [this] {
      log_session = this;
      g_log_set_writer_func(WriteGlibLog, nullptr, nullptr);
    });
    // The host formats numbers itself: GTK must not switch the process to the user's locale.
    gtk_disable_setlocale();
    // A desktop still busy starting may refuse the first connection: a few more tries, a fifth of a
    // second apart, before the dialogs are given up.
    int attempt = 0;
    for (; attempt < kInitAttempts && !started_; ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
      started_ = gtk_init_check(nullptr, nullptr) != FALSE;
    }
    if (started_ && attempt > 1) Log("DEBUG: GTK started at attempt " + std::to_string(attempt));
    if (started_) {
      // Printers GTK lists that the spooler knows: the CUPS queues, and "Print to File" for the
      // built-in PDF printer (not an lpr command's queue, nor GTK's test printers).
      g_object_set(gtk_settings_get_default(), "gtk-print-backends", "file,cups", nullptr);
    } else {
      Log("DEBUG: GTK cannot start (no display?): the print dialogs answer as cancelled");
    }
  }
  if (!started_) return false;
  if (open_ != nullptr || stopping_) {
    Log(std::string("DEBUG: The ") + what + " dialog is not shown: " +
        (stopping_ ? "the application is closing" : "another dialog is open"));
    return false;
  }
  return true;
}

int GtkDialogSession::Run(GtkWidget* dialog) {
  open_ = dialog;
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  if (setup_.queue != nullptr) {
    setup_.queue->SetWake([this] { Wake(); });
    Wake();  // work queued before the wake was installed
  }
  const int response = gtk_dialog_run(GTK_DIALOG(dialog));
  if (setup_.queue != nullptr) setup_.queue->SetWake({});
  open_ = nullptr;
  return stopping_ ? GTK_RESPONSE_CANCEL : response;
}

void GtkDialogSession::End(GtkWidget* dialog) {
  StopWatching();
  gtk_widget_destroy(dialog);
  // Nothing else runs GTK's loop between dialogs: let it unmap the window now (a bounded number of
  // steps, so that a source that keeps itself ready cannot hold the platform thread).
  for (int i = 0; i < 200 && gtk_events_pending(); ++i) gtk_main_iteration_do(FALSE);
  gdk_display_flush(gdk_display_get_default());
}

void GtkDialogSession::Wake() {
  // g_idle_add is safe from any thread; one idle at a time is enough, it runs everything queued.
  if (!wake_pending_.exchange(true)) g_idle_add(ServeQueue, this);
}

gboolean GtkDialogSession::ServeQueue(gpointer self) {
  auto* session = static_cast<GtkDialogSession*>(self);
  session->wake_pending_ = false;
  if (session->open_ == nullptr || session->setup_.queue == nullptr) return G_SOURCE_REMOVE;
  GtkWidget* dialog = session->open_;
  if (!session->setup_.queue->RunQueued()) {
    session->stopping_ = true;
    session->Log("DEBUG: The application is closing: the open dialog closes as cancelled");
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
  }
  return G_SOURCE_REMOVE;
}

void GtkDialogSession::ChooseOnceLoaded(GtkWidget* dialog, const std::string& printer, const Paper& paper,
                                        GtkPageOrientation orientation) {
  StopWatching();
  Watch watch;
  watch.dialog = dialog;
  watch.printer = printer;
  watch.paper = paper;
  watch.orientation = orientation;
  g_type_class_unref(g_type_class_ref(GTK_TYPE_PRINTER));  // the signal exists once the class does
  const guint signal = g_signal_lookup("details-acquired", GTK_TYPE_PRINTER);
  if (signal == 0) return;
  // An emission hook runs before the dialog's own handler fills its paper list: the choice waits for the
  // next idle moment, after that handler.
  watch.hook = g_signal_add_emission_hook(signal, 0, OnDetailsAcquired, this, nullptr);
  watch_ = std::move(watch);
}

gboolean GtkDialogSession::OnDetailsAcquired(GSignalInvocationHint*, guint count, const GValue* values,
                                             gpointer self) {
  auto* session = static_cast<GtkDialogSession*>(self);
  if (!session->watch_ || session->watch_->loaded != nullptr || count < 2) return TRUE;
  GObject* object = static_cast<GObject*>(g_value_get_object(&values[0]));
  if (object == nullptr || !GTK_IS_PRINTER(object) || !g_value_get_boolean(&values[1])) return TRUE;
  GtkPrinter* printer = GTK_PRINTER(object);
  if (session->watch_->printer != gtk_printer_get_name(printer)) return TRUE;
  session->watch_->loaded = GTK_PRINTER(g_object_ref(printer));
  g_idle_add(ChooseWatchedPaper, session);
  return TRUE;
}

gboolean GtkDialogSession::ChooseWatchedPaper(gpointer self) {
  auto* session = static_cast<GtkDialogSession*>(self);
  if (!session->watch_ || session->watch_->loaded == nullptr || session->open_ != session->watch_->dialog) {
    return G_SOURCE_REMOVE;
  }
  Watch& watch = *session->watch_;
  GList* papers = gtk_printer_list_papers(watch.loaded);
  GtkPageSetup* page = PageSetupFor(papers, watch.paper, watch.orientation);
  g_list_free_full(papers, g_object_unref);
  gtk_page_setup_unix_dialog_set_page_setup(GTK_PAGE_SETUP_UNIX_DIALOG(watch.dialog), page);
  g_object_unref(page);
  session->StopWatching();
  return G_SOURCE_REMOVE;
}

void GtkDialogSession::StopWatching() {
  if (!watch_) return;
  if (watch_->hook != 0) {
    g_signal_remove_emission_hook(g_signal_lookup("details-acquired", GTK_TYPE_PRINTER), watch_->hook);
  }
  if (watch_->loaded != nullptr) g_object_unref(watch_->loaded);
  watch_.reset();
}

gtk::DialogPaper DialogPaperOf(GtkPageSetup* page) {
  gtk::DialogPaper paper;
  GtkPaperSize* size = gtk_page_setup_get_paper_size(page);
  if (size == nullptr) return paper;
  const char* ppd_name = gtk_paper_size_get_ppd_name(size);
  const char* name = ppd_name != nullptr ? ppd_name : gtk_paper_size_get_name(size);
  const char* display = gtk_paper_size_get_display_name(size);
  paper.name = name != nullptr ? name : "";
  paper.display_name = display != nullptr ? display : "";
  paper.width_mm = gtk_paper_size_get_width(size, GTK_UNIT_MM);
  paper.height_mm = gtk_paper_size_get_height(size, GTK_UNIT_MM);
  return paper;
}

GtkPageSetup* PageSetupFor(GList* candidates, const Paper& paper, GtkPageOrientation orientation) {
  GtkPageSetup* found = nullptr;
  if (candidates != nullptr) {
    std::vector<GtkPageSetup*> pages;
    std::vector<gtk::DialogPaper> described;
    for (GList* item = candidates; item != nullptr; item = item->next) {
      pages.push_back(GTK_PAGE_SETUP(item->data));
      described.push_back(DialogPaperOf(pages.back()));
    }
    if (auto index = gtk::FindDialogPaper(described, paper)) found = gtk_page_setup_copy(pages[*index]);
  } else {
    // GTK's standard sizes, with their default margins, as the dialog lists them for no printer.
    GList* sizes = gtk_paper_size_get_paper_sizes(FALSE);
    std::vector<GtkPaperSize*> all;
    std::vector<gtk::DialogPaper> described;
    for (GList* item = sizes; item != nullptr; item = item->next) {
      GtkPageSetup* page = gtk_page_setup_new();
      gtk_page_setup_set_paper_size(page, static_cast<GtkPaperSize*>(item->data));
      all.push_back(static_cast<GtkPaperSize*>(item->data));
      described.push_back(DialogPaperOf(page));
      g_object_unref(page);
    }
    if (auto index = gtk::FindDialogPaper(described, paper)) {
      found = gtk_page_setup_new();
      gtk_page_setup_set_paper_size_and_default_margins(found, all[*index]);
    }
    g_list_free_full(sizes, reinterpret_cast<GDestroyNotify>(gtk_paper_size_free));
  }
  if (found == nullptr) {
    // A size of its own, named as the record names it.
    const std::string label = paper.label.empty() ? "Custom" : paper.label;
    GtkPaperSize* custom = gtk_paper_size_new_custom(label.c_str(), label.c_str(), paper.width_tenths_mm / 10.0,
                                                     paper.height_tenths_mm / 10.0, GTK_UNIT_MM);
    found = gtk_page_setup_new();
    gtk_page_setup_set_paper_size(found, custom);
    gtk_paper_size_free(custom);
  }
  gtk_page_setup_set_orientation(found, orientation);
  return found;
}

}  // namespace platform
