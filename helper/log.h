// LogLine: the helper's diagnostic output.
//
// Every line goes to standard error as one write and is flushed at its end, so lines printed by
// different workers without a lock may interleave with each other but never inside a line.
#pragma once

#include <string_view>

namespace mosalith {

// Writes `line`, escaped as the host's lines are (base/log_line.h: a file name cannot forge a line or
// steer a terminal), followed by a line feed, to standard error and flushes.
void LogLine(std::string_view line);

}  // namespace mosalith
