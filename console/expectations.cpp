#include "console/expectations.h"

#include <vector>

#include "console/exit_codes.h"
#include "console/form_view.h"
#include "hostcore/browser.h"
#include "hostcore/columns.h"
#include "hostcore/form_title.h"
#include "runtime/data/value.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/dialogs.h"
#include "runtime/ui/form.h"
#include "runtime/ui/stdctrls.h"

namespace console {
namespace {

using hostcore::CallResult;
using hostcore::MenuEntry;
using hostcore::StatusText;
using hostcore::TreeNode;

void Check(bool met, const std::string& message) {
  if (!met) throw ExpectationFailed(message);
}

std::string Names(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
  return text.empty() ? std::string("none") : text;
}

// A cell of a list: the view's (list_name empty) or a form's list view.
void CheckCell(const rt::RowSet& rows, const std::string& list_name, const Command& expectation) {
  const std::string list = list_name.empty() ? "the list" : list_name;
  const std::size_t row = static_cast<std::size_t>(expectation.number);
  if (row < 1 || row > rows.rows.size())
    throw ExpectationFailed("There is no row " + std::to_string(row) + ": " + list + " has " +
                            std::to_string(rows.rows.size()));
  const int column = hostcore::FindColumn(rows, expectation.name);
  if (column < 0)
    throw ExpectationFailed((list_name.empty() ? "The list" : list_name) + " has no column " + expectation.name);
  const std::string value = rt::ValueToText(rows.rows[row - 1][static_cast<std::size_t>(column)]);
  Check(value == expectation.text, "Row " + std::to_string(row) + (list_name.empty() ? "" : " of " + list_name) +
                                       " holds \"" + value + "\" in " + expectation.name + ", not \"" +
                                       expectation.text + "\"");
}

}  // namespace

void CheckView(const hostcore::Browser& browser, const std::string& last_message, const Command& expectation) {
  const Command& e = expectation;
  switch (e.expect) {
    case ExpectWhat::Rows:
      browser.CurrentNode();
      Check(browser.Rows().rows.size() == static_cast<std::size_t>(e.number),
            "The list has " + std::to_string(browser.Rows().rows.size()) + " rows, not " + std::to_string(e.number));
      return;
    case ExpectWhat::Status: {
      const CallResult* last_call = browser.LastCall();
      Check(last_call != nullptr, "No command has run");
      Check(last_call->Ok(), "The last command failed with " + StatusText(last_call->status));
      Check(last_call->result == e.number,
            "The last command gave status " + std::to_string(last_call->result) + ", not " + std::to_string(e.number));
      return;
    }
    case ExpectWhat::Failed:
      Check(browser.LastCall() != nullptr, "No command has run");
      Check(!browser.LastCall()->Ok(), "The last command did not fail");
      return;
    case ExpectWhat::Menu: {
      Check(browser.MenuBuilt(), "No menu was opened");
      const std::vector<MenuEntry>& entries = browser.MenuEntries();
      std::vector<std::string> shown;
      for (const MenuEntry& entry : entries) shown.push_back(entry.name);
      bool same = entries.size() == e.names.size();
      for (std::size_t i = 0; same && i < e.names.size(); ++i) same = rt::gbk::SameText(shown[i], e.names[i]);
      Check(same, "The menu shows " + Names(shown) + ", not " + Names(e.names));
      return;
    }
    case ExpectWhat::Default: {
      Check(browser.MenuBuilt(), "No menu was opened");
      std::string found = "none";
      for (const MenuEntry& entry : browser.MenuEntries())
        if (entry.is_default) found = entry.name;
      Check(rt::gbk::SameText(found, e.name), "The default item is " + found + ", not " + e.name);
      return;
    }
    case ExpectWhat::Cell:
      browser.CurrentNode();
      CheckCell(browser.Rows(), "", e);
      return;
    case ExpectWhat::Node: {
      const TreeNode& node = browser.CurrentNode();
      const TreeNode* wanted = nullptr;
      try {
        wanted = &browser.Tree().Find(e.text);
      } catch (const rt::Exception&) {
      }
      Check(wanted == &node, "The open node is " + PathOf(node) + ", not " + e.text);
      return;
    }
    case ExpectWhat::Message:
      Check(last_message == e.text, "The last message is \"" + last_message + "\", not \"" + e.text + "\"");
      return;
    case ExpectWhat::FileName: throw CommandError("No file dialog is open");
    default: throw CommandError("No form is shown");
  }
}

bool CheckForm(rt::TForm& form, const Command& expectation) {
  const Command& e = expectation;
  switch (e.expect) {
    case ExpectWhat::Title:
      Check(hostcore::FormTitle(form) == e.text,
            "The form's title is " + hostcore::FormTitle(form) + ", not " + e.text);
      return true;
    case ExpectWhat::Focus: {
      rt::TWinControl* active = form.ActiveControl();
      const std::string name = active ? active->Name() : std::string("(none)");
      Check(active && rt::gbk::SameText(name, e.name), "The focus is on " + name + ", not " + e.name);
      return true;
    }
    case ExpectWhat::Text: {
      const std::string& text = ControlNamed(form, e.name).Text();
      Check(text == e.text, e.name + " holds \"" + text + "\", not \"" + e.text + "\"");
      return true;
    }
    case ExpectWhat::Visible: Check(ControlNamed(form, e.name).Showing(), e.name + " is hidden"); return true;
    case ExpectWhat::Hidden: Check(!ControlNamed(form, e.name).Showing(), e.name + " is visible"); return true;
    case ExpectWhat::Enabled: Check(ControlNamed(form, e.name).Enabled(), e.name + " is disabled"); return true;
    case ExpectWhat::Disabled: Check(!ControlNamed(form, e.name).Enabled(), e.name + " is enabled"); return true;
    case ExpectWhat::Cell: {
      // The form's list, when it has one; the view's list otherwise.
      rt::TListView* list = nullptr;
      try {
        list = &FormList(form);
      } catch (const CommandError&) {
        return false;
      }
      CheckCell(list->Rows(), list->Name(), e);
      return true;
    }
    default: return false;
  }
}

void CheckFileName(const rt::TFileDialog& dialog, const Command& expectation) {
  Check(dialog.FileName == expectation.text,
        "The dialog proposes \"" + dialog.FileName + "\", not \"" + expectation.text + "\"");
}

}  // namespace console
