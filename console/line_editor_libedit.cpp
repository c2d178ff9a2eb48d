// The prompt's line editor on libedit, in its emacs key map: Ctrl-A, Ctrl-E,
// the arrows and the other usual keys edit the line; Up and Down walk the
// session's history; Ctrl-L clears the screen; Tab completes.
#include <histedit.h>
#include <langinfo.h>

#include <clocale>
#include <cstdio>
#include <iostream>
#include <string_view>

#include "console/completion.h"
#include "console/line_editor.h"

namespace console {
namespace {

// libedit reads the terminal's bytes as characters of the C library's
// locale: it must be UTF-8 while the line is edited (the program keeps the
// "C" locale otherwise, for which every byte is a character).
class Utf8Locale {
 public:
  Utf8Locale() : previous_(std::setlocale(LC_CTYPE, nullptr)) {
    if (!std::setlocale(LC_CTYPE, "") || std::string_view(nl_langinfo(CODESET)) != "UTF-8")
      std::setlocale(LC_CTYPE, "C.UTF-8");
  }
  ~Utf8Locale() { std::setlocale(LC_CTYPE, previous_.c_str()); }
  Utf8Locale(const Utf8Locale&) = delete;
  Utf8Locale& operator=(const Utf8Locale&) = delete;

 private:
  std::string previous_;
};

class LibeditLineEditor final : public LineEditor {
 public:
  explicit LibeditLineEditor(NodePaths node_paths) : node_paths_(std::move(node_paths)) {
    const Utf8Locale locale;
    editline_ = el_init("labdocs-console", stdin, stdout, stderr);
    history_ = history_init();
    HistEvent event;
    history(history_, &event, H_SETSIZE, 1000);
    history(history_, &event, H_SETUNIQUE, 1);
    el_set(editline_, EL_EDITOR, "emacs");
    el_set(editline_, EL_SIGNAL, 1);  // the terminal is restored on Ctrl-C
    el_set(editline_, EL_HIST, history, history_);
    el_set(editline_, EL_CLIENTDATA, this);
    el_set(editline_, EL_PROMPT, &LibeditLineEditor::Prompt);
    // Through the wide interface: libedit keeps the function's name and help
    // as given, for as long as the editor lives, and never frees them. The
    // narrow el_set would hand it wide copies that nobody frees (a leak that
    // AddressSanitizer reports at exit, ending the console with 1).
    el_wset(editline_, EL_ADDFN, L"labdocs-complete", L"complete a command word or a node path",
            &LibeditLineEditor::CompleteKey);
    el_set(editline_, EL_BIND, "^I", "labdocs-complete", static_cast<const char*>(nullptr));
    el_set(editline_, EL_BIND, "^L", "ed-clear-screen", static_cast<const char*>(nullptr));
  }

  ~LibeditLineEditor() override {
    el_end(editline_);
    history_end(history_);
  }
  LibeditLineEditor(const LibeditLineEditor&) = delete;
  LibeditLineEditor& operator=(const LibeditLineEditor&) = delete;

  std::optional<std::string> ReadLine(std::string_view prompt) override {
    const Utf8Locale locale;
    prompt_ = prompt;
    std::cout.flush();
    int count = 0;
    const char* read = el_gets(editline_, &count);
    if (!read || count <= 0) return std::nullopt;
    std::string line(read, static_cast<std::size_t>(count));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.find_first_not_of(" \t") != std::string::npos) {
      HistEvent event;
      history(history_, &event, H_ENTER, line.c_str());
    }
    return line;
  }

 private:
  static LibeditLineEditor& Of(EditLine* editline) {
    void* self = nullptr;
    el_get(editline, EL_CLIENTDATA, &self);
    return *static_cast<LibeditLineEditor*>(self);
  }

  static char* Prompt(EditLine* editline) { return Of(editline).prompt_.data(); }

  // Tab: one candidate replaces the word being typed (a command word with a
  // blank after it); several replace it with what they share, or, when they
  // share no more than is typed, are listed under the line.
  static unsigned char CompleteKey(EditLine* editline, int) {
    LibeditLineEditor& self = Of(editline);
    const LineInfo* info = el_line(editline);
    const std::string before(info->buffer, info->cursor);
    const Completion completion = Complete(before, self.node_paths_());
    if (completion.candidates.empty()) return CC_REFRESH_BEEP;
    const std::string typed = before.substr(completion.start);
    std::string replacement = CommonPrefix(completion.candidates);
    if (completion.candidates.size() == 1 && completion.blank_after) replacement += ' ';
    if (completion.candidates.size() == 1 || replacement.size() > typed.size()) {
      el_deletestr(editline, static_cast<int>(Utf8Characters(typed)));
      el_insertstr(editline, replacement.c_str());
      return CC_REFRESH;
    }
    std::string list = "\n";
    for (const std::string& candidate : completion.candidates) list += candidate + "  ";
    list += "\n";
    std::fputs(list.c_str(), stdout);
    return CC_REDISPLAY;
  }

  NodePaths node_paths_;
  EditLine* editline_ = nullptr;
  History* history_ = nullptr;
  std::string prompt_;
};

}  // namespace

std::unique_ptr<LineEditor> TerminalLineEditor(NodePaths node_paths) {
  return std::make_unique<LibeditLineEditor>(std::move(node_paths));
}

}  // namespace console
