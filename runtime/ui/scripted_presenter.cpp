#include "runtime/ui/scripted_presenter.h"

#include "runtime/errors.h"
#include "runtime/ui/dialogs.h"
#include "runtime/ui/form.h"
#include "runtime/ui/input.h"
#include "runtime/ui/stdctrls.h"

namespace rt {

ScriptedPresenter& ScriptedPresenter::Then(Step step) {
  steps_.push_back(std::move(step));
  return *this;
}

TControl& ScriptedPresenter::Control(TForm& form, const std::string& name) {
  auto* control = dynamic_cast<TControl*>(form.FindComponent(name));
  if (!control) throw Exception("The form " + form.Name() + " has no control " + name);
  return *control;
}

namespace {
TWinControl& WinControl(TForm& form, const std::string& name) {
  auto* control = dynamic_cast<TWinControl*>(&ScriptedPresenter::Control(form, name));
  if (!control) throw Exception(name + " cannot take the focus");
  return *control;
}
}  // namespace

ScriptedPresenter& ScriptedPresenter::Type(std::string control, std::string text) {
  return Then([control, text](TForm& form) { input::TypeText(WinControl(form, control), text); });
}

ScriptedPresenter& ScriptedPresenter::Press(Word key, TShiftState shift) {
  return Then([key, shift](TForm& form) { input::PressKey(form, key, shift); });
}

ScriptedPresenter& ScriptedPresenter::Click(std::string control) {
  return Then([control](TForm& form) { input::Click(Control(form, control)); });
}

ScriptedPresenter& ScriptedPresenter::Select(std::string list, int row) {
  return Then([list, row](TForm& form) {
    auto* view = dynamic_cast<TListView*>(&Control(form, list));
    if (!view) throw EInvalidOperation(list + " is not a list view");
    input::SelectRow(*view, row);
  });
}

ScriptedPresenter& ScriptedPresenter::Focus(std::string control) {
  return Then([control](TForm& form) { input::Focus(WinControl(form, control)); });
}

ScriptedPresenter& ScriptedPresenter::Close() {
  return Then([](TForm& form) { input::CloseForm(form); });
}

ScriptedPresenter& ScriptedPresenter::AnswerConfirm(int answer) {
  confirm_answers_.push_back(answer);
  return *this;
}

ScriptedPresenter& ScriptedPresenter::AnswerOpenDialog(std::optional<std::string> path) {
  open_answers_.push_back(std::move(path));
  return *this;
}

ScriptedPresenter& ScriptedPresenter::AnswerSaveDialog(std::optional<std::string> path) {
  save_answers_.push_back(std::move(path));
  return *this;
}

std::vector<std::string> ScriptedPresenter::Errors() const {
  std::vector<std::string> errors;
  for (const std::string& line : log_)
    if (line.rfind("error: ", 0) == 0) errors.push_back(line.substr(7));
  return errors;
}

std::vector<std::string> ScriptedPresenter::Messages() const {
  std::vector<std::string> messages;
  for (const std::string& line : log_)
    if (line.rfind("alert: ", 0) == 0 || line.rfind("prompt: ", 0) == 0) messages.push_back(line);
  return messages;
}

void ScriptedPresenter::FormShown(TForm& form) { log_.push_back("show " + form.Name()); }

void ScriptedPresenter::FormHidden(TForm& form) { log_.push_back("hide " + form.Name()); }

bool ScriptedPresenter::Interact(TForm& modal_form) {
  if (steps_.empty()) {
    log_.push_back("script exhausted");
    return false;
  }
  Step step = std::move(steps_.front());
  steps_.pop_front();
  step(modal_form);
  return true;
}

void ScriptedPresenter::ShowMessage(MessageKind kind, std::string_view text) {
  const char* label = kind == MessageKind::Warning       ? "alert: "
                      : kind == MessageKind::Information ? "prompt: "
                                                         : "error: ";
  log_.push_back(label + std::string(text));
}

int ScriptedPresenter::Confirm(std::string_view text, int buttons) {
  log_.push_back("confirm(" + std::to_string(buttons) + "): " + std::string(text));
  if (confirm_answers_.empty()) {
    log_.push_back("unexpected question");
    return 2;
  }
  int answer = confirm_answers_.front();
  confirm_answers_.pop_front();
  return answer;
}

namespace {
bool Answer(std::deque<std::optional<std::string>>& answers, TFileDialog& dialog, std::vector<std::string>& log) {
  if (answers.empty()) {
    log.push_back("unexpected file dialog");
    return false;
  }
  std::optional<std::string> answer = std::move(answers.front());
  answers.pop_front();
  if (!answer) return false;
  dialog.FileName = *answer;
  return true;
}
}  // namespace

bool ScriptedPresenter::ExecuteOpenDialog(TOpenDialog& dialog) {
  log_.push_back("open dialog");
  return Answer(open_answers_, dialog, log_);
}

bool ScriptedPresenter::ExecuteSaveDialog(TSaveDialog& dialog) {
  log_.push_back("save dialog: " + dialog.Title + " [" + dialog.Filter + "] " + dialog.FileName);
  return Answer(save_answers_, dialog, log_);
}

void ScriptedPresenter::ShowError(std::string_view message) { log_.push_back("error: " + std::string(message)); }

}  // namespace rt
