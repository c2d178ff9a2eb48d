// The presenter shows the user-interface model to a person (or a script) and
// acts for the user. The plug-in never knows which presenter runs.
#pragma once

#include <string>
#include <string_view>

namespace rt {

class TForm;
class TOpenDialog;
class TSaveDialog;

enum class MessageKind { Warning, Information, Error };

class Presenter {
 public:
  virtual ~Presenter() = default;

  // A form became visible or was hidden.
  virtual void FormShown(TForm& form) = 0;
  virtual void FormHidden(TForm& form) = 0;

  // Performs the user's next action on the modal form that the innermost
  // modal loop shows (through the input functions of input.h). Returns false
  // when no further input will come; the loop then closes the form as the
  // title-bar close button would.
  virtual bool Interact(TForm& modal_form) = 0;

  // Shows a message (the message service's Alert and Prompt).
  virtual void ShowMessage(MessageKind kind, std::string_view text) = 0;
  // Asks a question; returns 1 for the affirmative button, 2 otherwise.
  // buttons is the message service's buttons code.
  virtual int Confirm(std::string_view text, int buttons) = 0;

  // Runs a file dialog: on true the dialog's FileName holds the user's choice.
  virtual bool ExecuteOpenDialog(TOpenDialog& dialog) = 0;
  virtual bool ExecuteSaveDialog(TSaveDialog& dialog) = 0;

  // The application's error display: an error that a handler raised.
  virtual void ShowError(std::string_view message) = 0;
};

}  // namespace rt
