// The grid job file as the application writes it for the helper program: the text, and the file in the
// temporary folder.
//
// The text is UTF-8 with a leading EF BB BF mark and LF line ends: [settings] (rows, cols, pageWidth,
// pageHeight, the four margins, jpegQuality, showCutGrid as 1/0, cutGridWidthMm, cutGridColor, dpi as an
// integer, magnetAspectRatio only when above 0), [images], [frames] ("(none)" for an empty entry; as many
// lines as the request has frames), [outputs], and [effects] when the request has effect records: one line
// per record that is not neutral, indexed by its position. Numbers are written in the "C" form whatever
// the process locale is; reals as the general format with 6 significant digits ("0.1", "1e-05").
//
// The reader strips leading blanks and tabs, skips empty lines, takes "#" lines as comments and "[" lines
// as section headers, and drops a trailing CR. A value that would be read back differently (an empty
// path, a path starting with a blank, a tab, "#" or "[", a CR or LF anywhere, a frame path "(none)",
// a colour with a CR or LF, a non-finite real) is refused rather than written: the lists would shift and
// photos, frames, effects and outputs would no longer belong together.
// Thread safety: the functions may be called from several threads at once; every file name is new.
#pragma once

#include <optional>
#include <string>

#include "runner/printing/sheets/sheet_job_records.h"

namespace platform {
class FileSystem;
}

namespace runner::printing {

struct GridJobText {
  std::string text;      // the whole file, mark included
  int effect_lines = 0;  // [effects] lines written
};

// The file's text, or nothing with `*refusal` naming the key and position that cannot be written
// ("imagePaths[2] holds a line break").
std::optional<GridJobText> FormatGridJobFile(const SheetRequest& request, std::string* refusal);

// True when `record` differs from the neutral record in a value the helper uses on its own (the viewport,
// strokeScale, strokeColor and strokeExternal matter only together with one of those).
bool IsNonNeutral(const mosalith::EffectRecord& record);

// Writes the job file as "grid_config_<process_id>_<n>.txt" in the temporary folder, n counting the jobs
// of this process from 1, created new (never replacing a file or following a link). Logs
// "DEBUG C++: imageEffects vector size = <records>" and "DEBUG C++: Wrote <lines> effects entries to config
// file". Returns the file's full path, or "" (after one "DEBUG C++: " line saying why) when the request
// cannot be written faithfully, the temporary folder is refused or the file cannot be written whole; no
// file is left behind then.
std::string WriteGridJobFile(const SheetRequest& request, platform::FileSystem& files, int process_id);

// A real in the job file's form: general format, 6 significant digits, "C" locale.
std::string FormatJobReal(double value);

}  // namespace runner::printing
