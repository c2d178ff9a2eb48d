// A presenter that follows a script instead of a person: it performs queued
// user actions on the modal form, answers questions and file dialogs from
// queues, and records everything it was shown. For tests.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/ui/presenter.h"
#include "runtime/ui/messages.h"

namespace rt {

class TControl;

class ScriptedPresenter : public Presenter {
 public:
  using Step = std::function<void(TForm& modal_form)>;

  // A user action on the modal form that is open when its turn comes.
  ScriptedPresenter& Then(Step step);
  // Shorthands; controls are found by name among the modal form's components.
  ScriptedPresenter& Type(std::string control, std::string text);
  ScriptedPresenter& Press(Word key, TShiftState shift = 0);
  ScriptedPresenter& Click(std::string control);
  ScriptedPresenter& Focus(std::string control);
  // Selects a row (0-based) of a list view.
  ScriptedPresenter& Select(std::string list, int row);
  ScriptedPresenter& Close();

  // Answers, used in order. An unanswered question is answered 2 (no) and an
  // unanswered file dialog is cancelled; both are logged as unexpected.
  ScriptedPresenter& AnswerConfirm(int answer);
  ScriptedPresenter& AnswerOpenDialog(std::optional<std::string> path);
  ScriptedPresenter& AnswerSaveDialog(std::optional<std::string> path);

  // What was shown, one line per event: "show <form>", "hide <form>",
  // "alert: <text>", "prompt: <text>", "confirm(<buttons>): <text>",
  // "open dialog", "save dialog", "error: <text>", "script exhausted".
  const std::vector<std::string>& Log() const { return log_; }
  std::vector<std::string> Errors() const;
  std::vector<std::string> Messages() const;
  bool Done() const { return steps_.empty(); }

  // The component a step names, on the given form; an error when absent.
  static TControl& Control(TForm& form, const std::string& name);

  void FormShown(TForm& form) override;
  void FormHidden(TForm& form) override;
  bool Interact(TForm& modal_form) override;
  void ShowMessage(MessageKind kind, std::string_view text) override;
  int Confirm(std::string_view text, int buttons) override;
  bool ExecuteOpenDialog(TOpenDialog& dialog) override;
  bool ExecuteSaveDialog(TSaveDialog& dialog) override;
  void ShowError(std::string_view message) override;

 private:
  std::deque<Step> steps_;
  std::deque<int> confirm_answers_;
  std::deque<std::optional<std::string>> open_answers_;
  std::deque<std::optional<std::string>> save_answers_;
  std::vector<std::string> log_;
};

}  // namespace rt
