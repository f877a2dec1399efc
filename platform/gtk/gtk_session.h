// GtkDialogSession: what GTK's two dialogs share. Internal to platform/gtk/.
#pragma once

#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "platform/gtk/dialog_papers.h"
#include "platform/gtk/gtk_dialogs.h"

namespace platform {

// Thread safety: everything on the platform thread, except the wake that PlatformQueue calls.
class GtkDialogSession {
 public:
  explicit GtkDialogSession(GtkDialogSetup setup) : setup_(std::move(setup)) {}
  GtkDialogSession(const GtkDialogSession&) = delete;
  GtkDialogSession& operator=(const GtkDialogSession&) = delete;

  const GtkDialogSetup& setup() const { return setup_; }
  void Log(const std::string& line) const;

  // Starts GTK the first time. False when GTK cannot start, a dialog is open already or the platform
  // thread is stopping (the dialog `what` then answers as cancelled, logged).
  bool Begin(const char* what);
  // Shows `dialog` (modal, above other windows) and runs its loop, serving the platform thread's other
  // work, until it closes. Its response.
  int Run(GtkWidget* dialog);
  // Destroys `dialog` and lets GTK take it off the screen.
  void End(GtkWidget* dialog);

  // The page-setup dialog `dialog` shows `printer`: once that printer's papers have loaded (which resets
  // the dialog's paper to the printer's default), `paper` is chosen again among them, in `orientation`.
  void ChooseOnceLoaded(GtkWidget* dialog, const std::string& printer, const Paper& paper,
                        GtkPageOrientation orientation);

 private:
  static gboolean ServeQueue(gpointer self);
  static gboolean OnDetailsAcquired(GSignalInvocationHint*, guint count, const GValue* values, gpointer self);
  static gboolean ChooseWatchedPaper(gpointer self);
  void Wake();
  void StopWatching();

  GtkDialogSetup setup_;
  bool tried_ = false;
  bool started_ = false;
  bool stopping_ = false;
  GtkWidget* open_ = nullptr;  // the dialog being shown
  std::atomic<bool> wake_pending_{false};

  // The paper to choose again once the printer's papers have loaded.
  struct Watch {
    GtkWidget* dialog = nullptr;
    std::string printer;
    Paper paper;
    GtkPageOrientation orientation = GTK_PAGE_ORIENTATION_PORTRAIT;
    GtkPrinter* loaded = nullptr;  // held while the choice waits for an idle moment
    gulong hook = 0;
  };
  std::optional<Watch> watch_;
};

// The dialog's description of a page setup's paper.
gtk::DialogPaper DialogPaperOf(GtkPageSetup* page);

// A page setup of the GTK paper among `candidates` that is `paper` (a standard size of GTK's own when
// `candidates` is empty), or of a size of its own; in `orientation`. A new reference.
GtkPageSetup* PageSetupFor(GList* candidates, const Paper& paper, GtkPageOrientation orientation);

}  // namespace platform
