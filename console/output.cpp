#include "console/output.h"

#include "console/terminal_text.h"

namespace console {

std::vector<std::string> TerminalLines(std::string_view gbk) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= gbk.size(); ++i) {
    if (i < gbk.size() && gbk[i] != '\r' && gbk[i] != '\n') continue;
    lines.push_back(ToTerminal(OneLine(gbk.substr(start, i - start))));
    if (i + 1 < gbk.size() && (gbk[i + 1] == '\r' || gbk[i + 1] == '\n') && gbk[i + 1] != gbk[i]) ++i;
    start = i + 1;
  }
  // A break at the very end ends the last line; it starts no new one.
  if (lines.size() > 1 && (gbk.back() == '\r' || gbk.back() == '\n')) lines.pop_back();
  return lines;
}

void Output::Line(std::string_view gbk) {
  for (const std::string& line : TerminalLines(gbk)) stream_ << line << '\n';
  stream_.flush();
}

void Output::Utf8(std::string_view utf8) {
  stream_ << utf8 << '\n';
  stream_.flush();
}

void Output::Utf8Lines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) stream_ << line << '\n';
  stream_.flush();
}

void Output::Prompt(std::string_view utf8) {
  stream_ << utf8;
  stream_.flush();
}

}  // namespace console
