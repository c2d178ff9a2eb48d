// Tab completion at the prompt: the command words, and the node paths that
// open takes. Works on the UTF-8 line as typed; the line editor
// (line_editor.h) asks it and inserts what it gives.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace console {

struct Completion {
  // Where the word being completed starts in the line.
  std::size_t start = 0;
  // The words that may stand from there (UTF-8), sorted, each once.
  std::vector<std::string> candidates;
  // A single candidate ends its word (a command word, after which the
  // arguments come); a path may go on with "/".
  bool blank_after = false;
};

// The candidates for the word that ends `line` (the text before the cursor).
// The first word completes to a command word; the path after open to the
// paths in node_paths of the same depth: "文档" to "文档管理明细", and
// "文档管理明细/" to its children, one level at a time as a path is typed.
// Both are matched without regard to the case of ASCII letters, as the
// parser and the tree read them. Nothing else completes.
Completion Complete(std::string_view line, const std::vector<std::string>& node_paths);

// The longest prefix that all the texts share, cut at a whole UTF-8
// character; empty for no texts.
std::string CommonPrefix(const std::vector<std::string>& texts);

// The number of UTF-8 characters in a text (a line editor counts its
// cursor moves in characters).
std::size_t Utf8Characters(std::string_view text);

}  // namespace console
