// GTK 3's print and page-setup dialogs over the application's settings records.
#include "platform/gtk/gtk_dialogs.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/gtk/dialog_papers.h"
#include "platform/gtk/gtk_session.h"

namespace platform {
namespace {

// GTK's name of its "Print to File" printer, in the language GTK shows it in.
const char* FilePrinterName() { return g_dgettext("gtk30", "Print to File"); }

GtkPageOrientation OrientationOf(const PrintSettings& settings) {
  return (settings.fields & kFieldOrientation) != 0 && settings.orientation == kOrientationLandscape
             ? GTK_PAGE_ORIENTATION_LANDSCAPE
             : GTK_PAGE_ORIENTATION_PORTRAIT;
}

// Writes the paper and orientation of `page` into `settings`, leaving what the dialog kept as it was.
void ApplyPage(PrintSettings* settings, const std::vector<Paper>& papers, GtkPageSetup* page) {
  const gtk::DialogPaper chosen = DialogPaperOf(page);
  std::optional<Paper> matched;
  if (auto index = gtk::FindSpoolerPaper(papers, chosen)) matched = papers[*index];
  const std::optional<Paper> stated = gtk::StatedPaper(*settings, papers);
  const bool same_paper =
      stated && (matched ? stated->id == matched->id
                         : stated->id == kPaperUser &&
                               std::abs(stated->width_tenths_mm - std::lround(chosen.width_mm * 10)) <= 10 &&
                               std::abs(stated->height_tenths_mm - std::lround(chosen.height_mm * 10)) <= 10);
  if (!same_paper) gtk::SetChosenPaper(settings, matched, chosen);
  const GtkPageOrientation orientation = gtk_page_setup_get_orientation(page);
  const bool landscape =
      orientation == GTK_PAGE_ORIENTATION_LANDSCAPE || orientation == GTK_PAGE_ORIENTATION_REVERSE_LANDSCAPE;
  if (landscape != (OrientationOf(*settings) == GTK_PAGE_ORIENTATION_LANDSCAPE)) {
    settings->fields |= kFieldOrientation;
    settings->orientation = landscape ? kOrientationLandscape : kOrientationPortrait;
  }
}

std::vector<Paper> PapersOf(Spooler* spooler, const std::string& printer) {
  if (spooler == nullptr) return {};
  return spooler->Papers(printer).value_or(std::vector<Paper>{});
}

}  // namespace

std::shared_ptr<GtkDialogSession> MakeGtkDialogSession(GtkDialogSetup setup) {
  return std::make_shared<GtkDialogSession>(std::move(setup));
}

DialogOutcome GtkPrintDialog::Show(PrintDialogChoice* choice) {
  GtkDialogSession& session = *session_;
  if (!session.Begin("print")) return DialogOutcome::kCancelled;
  const GtkDialogSetup& setup = session.setup();
  GtkWidget* widget = gtk_print_unix_dialog_new("Print", nullptr);
  auto* dialog = GTK_PRINT_UNIX_DIALOG(widget);
  gtk_print_unix_dialog_set_embed_page_setup(dialog, TRUE);
  gtk_print_unix_dialog_set_manual_capabilities(dialog, GTK_PRINT_CAPABILITY_COPIES);
  GtkPrintSettings* start = gtk_print_settings_new();
  gtk_print_settings_set_n_copies(start, 1);
  if (auto fallback = setup.spooler != nullptr ? setup.spooler->DefaultPrinter() : std::nullopt) {
    gtk_print_settings_set_printer(start, *fallback == setup.built_in_printer ? FilePrinterName() : fallback->c_str());
  }
  if (!setup.built_in_folder.empty()) {
    // "Print to File" shows where the built-in printer keeps its PDFs (it names its files itself).
    gchar* uri = g_filename_to_uri((setup.built_in_folder + "/PictaVera Print.pdf").c_str(), nullptr, nullptr);
    if (uri != nullptr) gtk_print_settings_set(start, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
    gtk_print_settings_set(start, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
    g_free(uri);
  }
  gtk_print_unix_dialog_set_settings(dialog, start);
  g_object_unref(start);

  DialogOutcome outcome = DialogOutcome::kCancelled;
  GtkPrinter* printer = session.Run(widget) == GTK_RESPONSE_OK ? gtk_print_unix_dialog_get_selected_printer(dialog) : nullptr;
  GtkPageSetup* page = printer != nullptr ? gtk_print_unix_dialog_get_page_setup(dialog) : nullptr;
  if (page != nullptr) {
    const std::string name = gtk_printer_is_virtual(printer) ? setup.built_in_printer : gtk_printer_get_name(printer);
    PrintSettings settings;
    if (setup.spooler != nullptr) settings = setup.spooler->CurrentSettings(name).value_or(PrintSettings{});
    ApplyPage(&settings, PapersOf(setup.spooler, name), page);
    GtkPrintSettings* chosen = gtk_print_unix_dialog_get_settings(dialog);
    settings.fields |= kFieldCopies;
    settings.copies = static_cast<int16_t>(std::clamp(gtk_print_settings_get_n_copies(chosen), 1, 32767));
    g_object_unref(chosen);
    choice->printer_name = name;
    choice->record = setup.codec.encode(name, settings);
    outcome = DialogOutcome::kOk;
  }
  session.End(widget);
  return outcome;
}

DialogOutcome GtkSettingsDialog::Show(const std::string& printer, const std::vector<uint8_t>& input,
                                      std::vector<uint8_t>* output) {
  GtkDialogSession& session = *session_;
  if (!session.Begin("printer settings")) return DialogOutcome::kCancelled;
  const GtkDialogSetup& setup = session.setup();
  PrintSettings settings = setup.codec.decode(input);
  const std::vector<Paper> papers = PapersOf(setup.spooler, printer);
  const std::optional<Paper> stated = gtk::StatedPaper(settings, papers);
  const bool built_in = printer == setup.built_in_printer;

  GtkWidget* widget = gtk_page_setup_unix_dialog_new(("Page Setup: " + printer).c_str(), nullptr);
  auto* dialog = GTK_PAGE_SETUP_UNIX_DIALOG(widget);
  GtkPrintSettings* start = gtk_print_settings_new();
  // The built-in printer is GTK's "Any Printer": its papers are the common sizes.
  if (!built_in) gtk_print_settings_set(start, "format-for-printer", printer.c_str());
  gtk_page_setup_unix_dialog_set_print_settings(dialog, start);
  g_object_unref(start);
  if (stated) {
    GtkPageSetup* page = PageSetupFor(nullptr, *stated, OrientationOf(settings));
    gtk_page_setup_unix_dialog_set_page_setup(dialog, page);
    g_object_unref(page);
    if (!built_in) session.ChooseOnceLoaded(widget, printer, *stated, OrientationOf(settings));
  }

  DialogOutcome outcome = DialogOutcome::kCancelled;
  if (session.Run(widget) == GTK_RESPONSE_OK) {
    GtkPageSetup* page = gtk_page_setup_unix_dialog_get_page_setup(dialog);  // a reference of its own
    const PrintSettings before = settings;
    ApplyPage(&settings, papers, page);
    g_object_unref(page);
    *output = settings == before ? input : setup.codec.encode(printer, settings);
    output->resize(input.size(), 0);
    outcome = DialogOutcome::kOk;
  }
  session.End(widget);
  return outcome;
}

}  // namespace platform
