// The prompt's line editor, for a person at a terminal: editing of the line,
// the session's history (Up, Down), Ctrl-L to clear the screen, and Tab to
// complete (completion.h). One file per kind of system, chosen by CMake:
// line_editor_libedit.cpp where libedit is (Linux), line_editor_none.cpp
// elsewhere, where the console reads lines as from a script.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace console {

class LineEditor {
 public:
  virtual ~LineEditor() = default;
  // Shows the prompt (UTF-8) and reads a line (UTF-8, without its line
  // break); nullopt at the end of the input. A line that is not blank joins
  // the history.
  virtual std::optional<std::string> ReadLine(std::string_view prompt) = 0;
};

// The node paths that open takes (UTF-8), asked at each Tab: the tree may
// change between two.
using NodePaths = std::function<std::vector<std::string>()>;

// The line editor of standard input and output, which must be a terminal;
// nullptr where the system has none.
std::unique_ptr<LineEditor> TerminalLineEditor(NodePaths node_paths);

}  // namespace console
