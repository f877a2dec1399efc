// Status numbers: the numbers replies and log lines show for a failure.
//
// The interface and the people who read the logs know failures by these numbers ("Failed to save baked
// image, GDI+ status=10", "ShellExecute open failed for file, error=31"); they began as the Windows
// libraries' own. The ports speak in neutral kinds (base/status.h); this table, the only one, turns a
// kind back into the number the reply or the line has always carried, on every platform alike.
#pragma once

#include "base/status.h"

namespace runner {

// A graphics failure: 0 ok, 1 failed (or any kind without a number of its own), 2 invalid argument or
// too large, 3 out of memory, 7 I/O error, 10 not found, 12 access denied, 13 unsupported or corrupt.
int GraphicsStatusNumber(base::Status::Code code);

// A refused request to open a file with the desktop's application: 2 not found (the file, or the opener
// itself), 5 access denied, 8 out of memory, 31 no application for the file's type (and any other kind).
int ShellRefusalNumber(base::Status::Code code);

}  // namespace runner
