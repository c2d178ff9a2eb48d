// The console's presenter: shows the forms, messages, questions and file
// dialogs of the user-interface model on the terminal, and performs the
// next command of the person or script on the shown modal form through
// the input functions, so that the form handles keys and clicks as it
// would a user's. Which command does what on a form is the verb table's
// (verbs.h); the commands that fit anywhere (expectations about the list,
// the menu or the last command, env, help, quit) go to the session
// (SetSessionHandler).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "console/interaction.h"
#include "runtime/ui/presenter.h"

namespace rt {
class TFileDialog;
}

namespace console {

class TerminalPresenter : public rt::Presenter {
 public:
  explicit TerminalPresenter(Interaction& interaction) : interaction_(interaction) {}

  // Runs a command that belongs to the session (its expectations, env,
  // help, quit) while a form, question or file dialog waits.
  void SetSessionHandler(std::function<void(const Command&)> handler) { session_handler_ = std::move(handler); }

  // Answers every question so from now on, without reading an answer.
  void SetStandingAnswer(std::optional<bool> answer) { standing_answer_ = answer; }

  // The last message, question or error shown (GBK).
  const std::string& LastMessage() const { return last_message_; }

  void FormShown(rt::TForm& form) override;
  void FormHidden(rt::TForm& form) override;
  bool Interact(rt::TForm& modal_form) override;
  void ShowMessage(rt::MessageKind kind, std::string_view text) override;
  int Confirm(std::string_view text, int buttons) override;
  bool ExecuteOpenDialog(rt::TOpenDialog& dialog) override;
  bool ExecuteSaveDialog(rt::TSaveDialog& dialog) override;
  void ShowError(std::string_view message) override;

  // What a command does on the shown form once it found what it acts on:
  // it runs outside the command's own error handling, so that what the
  // form's handlers raise reaches the modal loop's error display. Empty
  // when the command is done already.
  using FormAction = std::function<void()>;

 private:
  friend struct VerbTable;

  // The verbs' handlers on a shown form (verbs.h).
  FormAction TypeInto(rt::TForm& form, const Command& command);
  FormAction PressKey(rt::TForm& form, const Command& command);
  FormAction Click(rt::TForm& form, const Command& command);
  FormAction SelectRow(rt::TForm& form, const Command& command);
  FormAction Focus(rt::TForm& form, const Command& command);
  FormAction Close(rt::TForm& form, const Command& command);
  FormAction ShowForm(rt::TForm& form, const Command& command);
  FormAction ExpectOnForm(rt::TForm& form, const Command& command);

  // Reads answers until a yes or no comes; false for no, the end of the
  // input, or an abort.
  bool AskYesNo(std::string_view prompt);
  bool RunFileDialog(rt::TFileDialog& dialog, bool save);
  // Hands a command that fits anywhere to the session. False when the
  // command does not fit (reported as a failure).
  bool HandleAnywhere(const Command& command, std::string_view waiting_for);
  void Show(std::string_view label, std::string_view text);

  Interaction& interaction_;
  std::function<void(const Command&)> session_handler_;
  std::optional<bool> standing_answer_;
  std::string last_message_;
  // Messages, questions and file dialogs shown so far: a form that one
  // stood on is shown again once it closes, as a window shows again.
  std::uint64_t dialogs_ = 0;
};

}  // namespace console
