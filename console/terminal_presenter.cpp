#include "console/terminal_presenter.h"

#include <filesystem>

#include "console/expectations.h"
#include "console/form_view.h"
#include "console/terminal_text.h"
#include "console/verbs.h"
#include "hostcore/form_title.h"
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
  interaction_.Out().Utf8("form closed: " + ToTerminal(OneLine(hostcore::FormTitle(form))) + outcome);
}

bool TerminalPresenter::HandleAnywhere(const Command& command, std::string_view waiting_for) {
  const VerbRow& row = RowOf(command.verb);
  if (!row.anywhere) {
    interaction_.Fail(hostcore::kExitCommand, command.line,
                      "'" + std::string(row.word) + "' does not fit here: " + std::string(waiting_for));
    return false;
  }
  if (session_handler_) {
    try {
      session_handler_(command);
    } catch (const std::exception& error) {
      interaction_.Fail(command.line, error);
    }
  }
  return true;
}

TerminalPresenter::FormAction TerminalPresenter::TypeInto(rt::TForm& form, const Command& command) {
  rt::TWinControl& control = FocusableOf(form, command.name);
  if (!dynamic_cast<rt::TEdit*>(&control) && !dynamic_cast<rt::TComboBox*>(&control))
    throw CommandError(command.name + " is not an edit, memo or combo box");
  if (const auto* edit = dynamic_cast<rt::TEdit*>(&control); edit && edit->ReadOnly())
    throw CommandError(command.name + " is read-only");
  return [&control, text = command.text] { rt::input::TypeText(control, text); };
}

TerminalPresenter::FormAction TerminalPresenter::PressKey(rt::TForm& form, const Command& command) {
  return [&form, key = command.key, shift = command.shift] { rt::input::PressKey(form, key, shift); };
}

TerminalPresenter::FormAction TerminalPresenter::Click(rt::TForm& form, const Command& command) {
  rt::TControl& control = ControlNamed(form, command.name);
  if (!Reachable(control)) throw CommandError(command.name + " cannot be clicked: it is hidden or disabled");
  return [&control] { rt::input::Click(control); };
}

TerminalPresenter::FormAction TerminalPresenter::SelectRow(rt::TForm& form, const Command& command) {
  // One row of the form's list, or none.
  rt::TListView& list = FormList(form);
  const bool one = command.ranges.size() == 1 && command.ranges[0].first == command.ranges[0].second;
  if (!command.none && !one) throw CommandError("A list on a form selects one row (select N) or none");
  const int row = command.none ? -1 : command.ranges[0].first - 1;
  if (!list.CanFocus()) throw CommandError(list.Name() + " cannot take the focus: it is hidden or disabled");
  if (row >= static_cast<int>(list.Rows().rows.size()))
    throw CommandError(list.Name() + " has " + std::to_string(list.Rows().rows.size()) + " rows, not " +
                       std::to_string(row + 1));
  return [this, &list, row] {
    rt::input::SelectRow(list, row);
    interaction_.Out().Utf8(
        ToTerminal(list.Name()) + ": " +
        (row < 0 ? std::string("no row selected") : "row " + std::to_string(row + 1) + " selected"));
  };
}

TerminalPresenter::FormAction TerminalPresenter::Focus(rt::TForm& form, const Command& command) {
  rt::TWinControl& control = FocusableOf(form, command.name);
  return [&control] { rt::input::Focus(control); };
}

TerminalPresenter::FormAction TerminalPresenter::Close(rt::TForm& form, const Command& /*command*/) {
  return [&form] { rt::input::CloseForm(form); };
}

TerminalPresenter::FormAction TerminalPresenter::ShowForm(rt::TForm& form, const Command& /*command*/) {
  interaction_.Out().Utf8Lines(RenderForm(form));
  return {};
}

TerminalPresenter::FormAction TerminalPresenter::ExpectOnForm(rt::TForm& form, const Command& command) {
  if (!CheckForm(form, command) && session_handler_) session_handler_(command);
  return {};
}

bool TerminalPresenter::Interact(rt::TForm& form) {
  const std::string prompt = "[" + ToTerminal(OneLine(hostcore::FormTitle(form))) + "]> ";
  while (true) {
    std::optional<Command> command = interaction_.Next(prompt);
    if (!command) {
      if (!interaction_.Quitting()) interaction_.Out().Utf8("(end of input: the form is closed)");
      return false;
    }
    const Command& c = *command;
    const VerbRow& row = RowOf(c.verb);
    // An answer or a file here: no question or file dialog waits.
    const bool waits_elsewhere = row.acts == Acts::OnQuestion || row.acts == Acts::OnFileDialog;
    if (!row.on_form && !waits_elsewhere) {
      if (HandleAnywhere(c, "the form " + hostcore::FormTitle(form) + " is shown (close it first)") &&
          interaction_.Quitting())
        return false;
      if (interaction_.Aborted()) return false;
      continue;
    }
    // What the command acts on is looked up first: a lookup that fails is
    // the command's own error. The action then runs outside the error
    // handling (FormAction).
    FormAction action;
    try {
      if (waits_elsewhere) throw CommandError(NothingWaits(row));
      action = (this->*row.on_form)(form, c);
    } catch (const std::exception& error) {
      interaction_.Fail(c.line, error);
      if (interaction_.Aborted()) return false;
      continue;
    }
    if (!action) continue;

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
