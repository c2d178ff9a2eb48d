// Drives the desktop host from another process, as a person would through
// its windows: finds the main window, the tree, the list, popup menus,
// forms, message boxes and file dialogs; selects, opens menus, picks items,
// types and presses buttons, only with messages that the system carries
// between programs (texts of other programs' controls are read through
// memory in the host's process, as accessibility tools read them).
#pragma once

#include <string>
#include <vector>

#include "runtime/platform/platform.h"

namespace desktop::testing {

// The desktop host started on a home folder, with more of its options
// when given (a command line's text); closed (or ended) at the end.
class DesktopProcess {
 public:
  DesktopProcess(const std::wstring& program, const std::wstring& home, const std::wstring& options = {});
  ~DesktopProcess();
  DesktopProcess(const DesktopProcess&) = delete;
  DesktopProcess& operator=(const DesktopProcess&) = delete;

  DWORD Id() const { return process_.dwProcessId; }
  HWND Main() const { return main_; }
  HWND Tree() const;
  HWND List() const;
  // Closes the main window and waits for the program to end; its exit code.
  DWORD Close();

  // ---- the main window ----
  // Selects a tree node by its names from the top; the host opens it.
  void OpenNode(const std::vector<std::wstring>& path);
  int RowCount() const;
  std::wstring Cell(int row, int column) const;
  // The row whose first column holds the text; -1 when none.
  int FindRow(int column, const std::wstring& text) const;
  // Selects these rows (list positions) and no other.
  void SelectRows(const std::vector<int>& rows);
  // The list's header caption of a column; a click on it.
  std::wstring ColumnTitle(int column) const;
  void ClickHeader(int column);
  // Opens the context menu: with the menu key, or a right-click on a row.
  void MenuKey();
  void RightClickRow(int row);
  void DoubleClickRow(int row);
  // Picks the n-th command (from 0; separators are not counted) of the
  // popup menu that is open, with the arrow keys and Enter.
  void PickMenuItem(int index);
  void PressKey(HWND window, UINT key);

  // ---- the keyboard alone: keys and characters go to the window that has
  // the host's focus, wherever it is ----
  HWND Focused() const;
  void Key(UINT key, int times = 1);
  void TypeKeys(const std::wstring& text);

  // ---- windows the host opens ----
  // A form of the host (its own window class) with a title (any title
  // when empty), visible; raises after a timeout.
  HWND WaitForm(const std::wstring& title) const;
  // Waits until no form is shown; until a window is gone.
  void WaitNoForm() const;
  void WaitClosed(HWND window) const;
  // A system dialog (message box or file dialog) of the host.
  HWND WaitDialog() const;
  // A form's control by its component name; FindControl gives nullptr for
  // a control without a window.
  HWND Control(HWND form, const std::wstring& name) const;
  HWND FindControl(HWND form, const std::wstring& name) const;
  // The texts of a dialog's static controls, joined by newlines.
  std::wstring DialogText(HWND dialog) const;
  // Presses a dialog's button by its id (IDOK, IDYES, ...), or a control.
  void PressButton(HWND dialog, int id);
  void Click(HWND button);
  // Replaces an edit's text, as a person selecting all and typing does.
  void Type(HWND control, const std::wstring& text);
  std::wstring Text(HWND window) const;
  // Chooses a file in a common file dialog.
  void ChooseFile(HWND dialog, const std::wstring& path);
  // Waits until the host has handled what was posted to it.
  void Settle() const;

 private:
  HWND FindOwnWindow(const wchar_t* window_class, const std::wstring* title) const;

  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
};

}  // namespace desktop::testing
