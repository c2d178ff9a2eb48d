#include "console/terminal_presenter.h"

#include <filesystem>

#include "console/expectations.h"
#include "console/form_view.h"
#include "console/terminal_text.h"
#include "host/form_title.h"
#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/dialogs.h"
#include "runtime/ui/form.h"
#include "runtime/ui/input.h"
#include "runtime/ui/stdctrls.h"

namespace console {
namespace {

rt::TWinControl& FocusableOf(rt::TForm& form, const std::string& name) {
  auto* control = dynamic_cast<rt::TWinControl*>(&ControlNamed(form, name));
  if (!control || !control->CanFocus()) throw CommandError(name + " cannot take the focus: it is hidden or disabled");
  return *control;
}

bool Reachable(const rt::TControl& control) {
  for (const rt::TControl* c = &control; c; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

// A path from the person or script, made absolute as a file dialog gives it.
std::string AbsolutePath(const std::string& path) {
  std::filesystem::path native = std::filesystem::absolute(rt::platform::NativePath(path)).lexically_normal();
  return rt::platform::AnsiPath(native);
}

}  // namespace

void TerminalPresenter::Show(std::string_view label, std::string_view text) {
  ++dialogs_;
  std::vector<std::string> lines = TerminalLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i)
    interaction_.Out().Utf8((i == 0 ? std::string(label) + ": " : std::string(label.size() + 2, ' ')) + lines[i]);
}

void TerminalPresenter::FormShown(rt::TForm& form) { interaction_.Out().Utf8Lines(RenderForm(form)); }

void TerminalPresenter::FormHidden(rt::TForm& form) {
  const int result = form.GetModalResult();
  const std::string outcome = result == rt::mrOk       ? " (OK)"
                              : result == rt::mrCancel ? " (cancel)"
                              : result == rt::mrNone   ? ""
                                                       : " (result " + std::to_string(result) + ")";
  interaction_.Out().Utf8("form closed: " + ToTerminal(OneLine(host::FormTitle(form))) + outcome);
}

bool TerminalPresenter::HandleAnywhere(const Command& command, std::string_view waiting_for) {
  switch (command.verb) {
    case Verb::Quit:
      interaction_.RequestQuit();
      return true;
    case Verb::Help:
    case Verb::Expect:
    case Verb::Env:
      if (session_handler_) {
        try {
          session_handler_(command);
        } catch (const std::exception& error) {
          interaction_.Fail(command.line, error);
        }
      }
      return true;
    default:
      interaction_.Fail(host::kExitCommand, command.line,
                        "'" + std::string(VerbWord(command.verb)) + "' does not fit here: " + std::string(waiting_for));
      return false;
  }
}

bool TerminalPresenter::Interact(rt::TForm& form) {
  const std::string prompt = "[" + ToTerminal(OneLine(host::FormTitle(form))) + "]> ";
  while (true) {
    std::optional<Command> command = interaction_.Next(prompt);
    if (!command) {
      if (!interaction_.Quitting()) interaction_.Out().Utf8("(end of input: the form is closed)");
      return false;
    }
    const Command& c = *command;
    // What the command acts on is looked up first: a lookup that fails is
    // the command's own error. The action then runs outside, so that what
    // the form's handlers raise reaches the modal loop's error display.
    std::function<void()> action;
    try {
      switch (c.verb) {
        case Verb::Type: {
          rt::TWinControl& control = FocusableOf(form, c.name);
          if (!dynamic_cast<rt::TEdit*>(&control) && !dynamic_cast<rt::TComboBox*>(&control))
            throw CommandError(c.name + " is not an edit, memo or combo box");
          if (const auto* edit = dynamic_cast<rt::TEdit*>(&control); edit && edit->ReadOnly())
            throw CommandError(c.name + " is read-only");
          action = [&control, text = c.text] { rt::input::TypeText(control, text); };
          break;
        }
        case Verb::Key:
          action = [&form, key = c.key, shift = c.shift] { rt::input::PressKey(form, key, shift); };
          break;
        case Verb::Click: {
          rt::TControl& control = ControlNamed(form, c.name);
          if (!Reachable(control)) throw CommandError(c.name + " cannot be clicked: it is hidden or disabled");
          action = [&control] { rt::input::Click(control); };
          break;
        }
        case Verb::Select: {
          // One row of the form's list, or none.
          rt::TListView& list = FormList(form);
          const bool one = c.ranges.size() == 1 && c.ranges[0].first == c.ranges[0].second;
          if (!c.none && !one) throw CommandError("A list on a form selects one row (select N) or none");
          const int row = c.none ? -1 : c.ranges[0].first - 1;
          if (!list.CanFocus()) throw CommandError(list.Name() + " cannot take the focus: it is hidden or disabled");
          if (row >= static_cast<int>(list.Rows().rows.size()))
            throw CommandError(list.Name() + " has " + std::to_string(list.Rows().rows.size()) + " rows, not " +
                               std::to_string(row + 1));
          action = [this, &list, row] {
            rt::input::SelectRow(list, row);
            interaction_.Out().Utf8(ToTerminal(list.Name()) + ": " +
                                    (row < 0 ? std::string("no row selected")
                                             : "row " + std::to_string(row + 1) + " selected"));
          };
          break;
        }
        case Verb::Focus: {
          rt::TWinControl& control = FocusableOf(form, c.name);
          action = [&control] { rt::input::Focus(control); };
          break;
        }
        case Verb::Close:
          action = [&form] { rt::input::CloseForm(form); };
          break;
        case Verb::Show:
          interaction_.Out().Utf8Lines(RenderForm(form));
          continue;
        case Verb::Expect:
          if (!CheckForm(form, c) && session_handler_) session_handler_(c);
          continue;
        case Verb::Answer:
          throw CommandError("No question is waiting for an answer");
        case Verb::File:
          throw CommandError("No file dialog is open");
        default:
          if (HandleAnywhere(c, "the form " + host::FormTitle(form) + " is shown (close it first)") && interaction_.Quitting())
            return false;
          if (interaction_.Aborted()) return false;
          continue;
      }
    } catch (const std::exception& error) {
      interaction_.Fail(c.line, error);
      if (interaction_.Aborted()) return false;
      continue;
    }

    rt::TWinControl* focused_before = form.ActiveControl();
    const std::uint64_t dialogs_before = dialogs_;
    action();
    if (!form.Visible() || form.GetModalResult() != rt::mrNone) return true;
    // Shown again after a dialog that stood on it, the focus marked: what
    // the dialog changed (a chosen file's name, say) shows.
    if (dialogs_ != dialogs_before) interaction_.Out().Utf8Lines(RenderForm(form));
    else if (form.ActiveControl() != focused_before)
      interaction_.Out().Utf8("focus: " + (form.ActiveControl() ? ToTerminal(form.ActiveControl()->Name()) : "(none)"));
    return true;
  }
}

void TerminalPresenter::ShowMessage(rt::MessageKind kind, std::string_view text) {
  last_message_ = std::string(text);
  Show(kind == rt::MessageKind::Warning ? "alert" : kind == rt::MessageKind::Information ? "info" : "error", text);
}

void TerminalPresenter::ShowError(std::string_view message) {
  last_message_ = std::string(message);
  Show("error", message);
}

bool TerminalPresenter::AskYesNo(std::string_view prompt) {
  if (standing_answer_) {
    interaction_.Out().Utf8(*standing_answer_ ? "(answered yes: --answer)" : "(answered no: --answer)");
    return *standing_answer_;
  }
  while (true) {
    std::optional<Command> command = interaction_.Next(prompt);
    if (!command) {
      if (!interaction_.Quitting()) interaction_.Out().Utf8("(end of input: answered no)");
      return false;
    }
    if (command->verb == Verb::Answer) return command->yes;
    HandleAnywhere(*command, "a question waits for an answer (yes or no)");
    if (interaction_.Quitting()) return false;
  }
}

int TerminalPresenter::Confirm(std::string_view text, int /*buttons*/) {
  last_message_ = std::string(text);
  Show("confirm", text);
  return AskYesNo("yes or no> ") ? 1 : 2;
}

bool TerminalPresenter::RunFileDialog(rt::TFileDialog& dialog, bool save) {
  ++dialogs_;
  const std::string kind = save ? "save dialog" : "open dialog";
  // A dialog without a title or filter of its own shows the system's: its
  // title for the kind, and every file.
  const std::string title = !dialog.Title.empty() ? dialog.Title : save ? "另存为" : "打开";
  const std::string filter = !dialog.Filter.empty() ? dialog.Filter : "所有文件(*.*)|*.*";
  std::string heading = kind + ": " + ToTerminal(OneLine(title)) + " [" + ToTerminal(OneLine(filter)) + "]";
  if (!dialog.FileName.empty()) heading += " file name: " + ToTerminal(OneLine(dialog.FileName));
  interaction_.Out().Utf8(heading);

  while (true) {
    std::optional<Command> command = interaction_.Next("file PATH, or cancel> ");
    if (!command) {
      if (!interaction_.Quitting()) interaction_.Out().Utf8("(end of input: the dialog is cancelled)");
      return false;
    }
    const Command& c = *command;
    if (c.verb == Verb::Expect && c.expect == ExpectWhat::FileName) {
      try {
        CheckFileName(dialog, c);
      } catch (const std::exception& error) {
        interaction_.Fail(c.line, error);
      }
      if (interaction_.Aborted()) return false;
      continue;
    }
    if (c.verb != Verb::File) {
      HandleAnywhere(c, "a file dialog waits for a file (file <path>, or cancel)");
      if (interaction_.Quitting()) return false;
      continue;
    }
    if (c.cancel) return false;

    std::string path;
    try {
      path = AbsolutePath(c.text);
    } catch (const std::exception& error) {
      interaction_.Fail(c.line, error);
      if (interaction_.Aborted()) return false;
      continue;
    }
    if (save && !dialog.DefaultExt.empty() && rt::ExtractFileExt(path).empty()) {
      const std::string ext = dialog.DefaultExt.front() == '.' ? dialog.DefaultExt.substr(1) : dialog.DefaultExt;
      if (!ext.empty()) path += "." + ext;
    }
    if (!save && dialog.HasOption("ofFileMustExist") && !rt::FileExists(path)) {
      interaction_.Out().Line(kind + ": " + path + " does not exist; choose another file");
      continue;
    }
    if (save && dialog.HasOption("ofPathMustExist") && !rt::DirectoryExists(rt::ExtractFilePath(path))) {
      interaction_.Out().Line(kind + ": the folder of " + path + " does not exist; choose another file");
      continue;
    }
    if (save && dialog.HasOption("ofOverwritePrompt") && rt::FileExists(path)) {
      interaction_.Out().Line(kind + ": " + path + " already exists. Replace it?");
      if (!AskYesNo("yes or no> ")) {
        if (interaction_.Quitting()) return false;
        continue;
      }
    }
    dialog.FileName = path;
    return true;
  }
}

bool TerminalPresenter::ExecuteOpenDialog(rt::TOpenDialog& dialog) { return RunFileDialog(dialog, false); }

bool TerminalPresenter::ExecuteSaveDialog(rt::TSaveDialog& dialog) { return RunFileDialog(dialog, true); }

}  // namespace console
