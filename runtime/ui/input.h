// What a user does to the user interface. Presenters act for the user only
// through these functions, so that a person at a terminal and a test script
// drive the forms in the same way. Errors raised by the handlers that run
// are passed on to the caller (the modal loop shows them).
#pragma once

#include <string>

#include "runtime/ui/messages.h"

namespace rt {

class TControl;
class TWinControl;
class TListView;
class TForm;

namespace input {

// Presses a key with the given modifiers held, on the form's focused control
// (the form itself when none has the focus). Messages that the handlers post
// are processed before the modifiers are released.
void PressKey(TForm& form, Word key, TShiftState shift = 0);

// Moves the focus to a control, as a click into it does.
void Focus(TWinControl& control);

// Focuses an edit, memo or combo box and replaces its text.
void TypeText(TWinControl& control, std::string text);

// Clicks a control: a windowed one takes the focus first. The control must
// be showing and enabled, as a user can reach only such controls.
void Click(TControl& control);

// Focuses a list view and selects one of its rows (0-based; -1 for none).
// Throws EInvalidOperation for a row the list does not have.
void SelectRow(TListView& list, int row);

// Asks the window system for a new size, or to maximise the form.
void Resize(TForm& form, int width, int height);
void Maximize(TForm& form);

// The title-bar close button.
void CloseForm(TForm& form);

}  // namespace input
}  // namespace rt
