// LogLine: one fwrite per line, flushed.
#include "helper/log.h"

#include <cstdio>
#include <string>

#include "base/log_line.h"

namespace mosalith {

void LogLine(std::string_view line) {
  std::string text = base::EscapeLogLine(line);
  text.push_back('\n');
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace mosalith
