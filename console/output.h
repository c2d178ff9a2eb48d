// Where the console writes: a stream of UTF-8 lines. Texts of the system
// (GBK) are converted on their way out, and nowhere else.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace console {

class Output {
 public:
  explicit Output(std::ostream& stream) : stream_(stream) {}

  // A line of the system's GBK text; line breaks inside it start new lines.
  void Line(std::string_view gbk);
  // A line that is UTF-8 already (grids, echoed script lines).
  void Utf8(std::string_view utf8);
  void Utf8Lines(const std::vector<std::string>& lines);
  // A prompt: no line break, flushed.
  void Prompt(std::string_view utf8);
  void Flush() { stream_.flush(); }

 private:
  std::ostream& stream_;
};

// The lines of a GBK text, split at CR LF, LF CR, CR or LF (UTF-8 each).
std::vector<std::string> TerminalLines(std::string_view gbk);

}  // namespace console
