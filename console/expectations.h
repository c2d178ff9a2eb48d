// A script's checks, the expect lines (script.h has their forms): each
// compares what the console shows with what the line expects and raises
// ExpectationFailed naming both when they differ, or CommandError when what
// it asks about is not there. Messages are GBK.
//
// What an expectation is about decides who checks it: the view (the list,
// the menu, the last command, the open node, the last message) is the
// session's, the shown form's the presenter's, the proposed file name the
// waiting file dialog's.
#pragma once

#include <string>

#include "console/script.h"

namespace hostcore {
class Browser;
}  // namespace hostcore

namespace rt {
class TFileDialog;
class TForm;
}  // namespace rt

namespace console {

// An expectation about the view. last_message: the last message, question
// or error shown. One about a form or a file dialog finds none.
void CheckView(const hostcore::Browser& browser, const std::string& last_message, const Command& expectation);

// An expectation about the shown form: its title, focus and controls, and a
// cell of its list when it has one. False, checking nothing, for one about
// the view (and a cell when the form has no list), which the form leaves to
// the session.
bool CheckForm(rt::TForm& form, const Command& expectation);

// The file name that the waiting file dialog proposes.
void CheckFileName(const rt::TFileDialog& dialog, const Command& expectation);

}  // namespace console
