#include "desktop/win32_presenter.h"

#include <commdlg.h>

#include <algorithm>

#include "desktop/wide_text.h"
#include "runtime/ui/dialogs.h"
#include "runtime/ui/form.h"
#include "runtime/ui/input.h"

namespace desktop {
namespace {

constexpr wchar_t kCaption[] = L"labdocs";

// "label|pattern|label|pattern" as the dialog takes it: each part ended by
// a zero, the whole by one more.
std::wstring FilterOf(const std::string& filter) {
  std::wstring wide = Wide(filter);
  if (wide.empty()) return std::wstring(2, L'\0');
  std::replace(wide.begin(), wide.end(), L'|', L'\0');
  return wide + std::wstring(2, L'\0');
}

DWORD FlagsOf(const rt::TFileDialog& dialog) {
  DWORD flags = OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (dialog.HasOption("ofOverwritePrompt")) flags |= OFN_OVERWRITEPROMPT;
  if (dialog.HasOption("ofFileMustExist")) flags |= OFN_FILEMUSTEXIST;
  if (dialog.HasOption("ofPathMustExist")) flags |= OFN_PATHMUSTEXIST;
  if (dialog.HasOption("ofHideReadOnly")) flags |= OFN_HIDEREADONLY;
  if (dialog.HasOption("ofEnableSizing")) flags |= OFN_ENABLESIZING;
  return flags;
}

bool RunFileDialog(HWND owner, rt::TFileDialog& dialog, bool save) {
  std::wstring file = Wide(dialog.FileName);
  file.resize(std::max<std::size_t>(file.size() + 1, 32768), L'\0');
  const std::wstring filter = FilterOf(dialog.Filter);
  std::wstring ext = Wide(dialog.DefaultExt);
  if (!ext.empty() && ext.front() == L'.') ext.erase(0, 1);
  const std::wstring title = Wide(dialog.Title), folder = Wide(dialog.InitialDir);
  OPENFILENAMEW request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = owner;
  request.lpstrFilter = filter.c_str();
  request.nFilterIndex = 1;
  request.lpstrFile = file.data();
  request.nMaxFile = static_cast<DWORD>(file.size());
  request.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  request.lpstrTitle = title.empty() ? nullptr : title.c_str();
  request.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
  request.Flags = FlagsOf(dialog);
  if (!(save ? GetSaveFileNameW(&request) : GetOpenFileNameW(&request))) return false;
  dialog.FileName = Gbk(file.c_str());
  return true;
}

}  // namespace

Win32Presenter::~Win32Presenter() = default;

HWND Win32Presenter::TopWindow() const { return windows_.empty() ? owner_ : windows_.back()->Handle(); }

void Win32Presenter::FormShown(rt::TForm& form) {
  windows_.push_back(std::make_unique<FormWindow>(form, TopWindow(), [this](std::function<void()> action) {
    actions_.push_back(std::move(action));
    // A message sent from another thread or program is handled inside
    // GetMessage, which returns only for a posted one: this wakes it.
    PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
  }));
}

void Win32Presenter::FormHidden(rt::TForm& form) {
  auto found = std::find_if(windows_.begin(), windows_.end(), [&](const auto& w) { return &w->Form() == &form; });
  if (found == windows_.end()) return;
  // What the person did to the closed form is gone with it.
  actions_.clear();
  windows_.erase(found);
}

bool Win32Presenter::FormKey(FormWindow& window, const MSG& message) {
  if (message.message != WM_KEYDOWN) return false;
  if (message.hwnd != window.Handle() && !IsChild(window.Handle(), message.hwnd)) return false;
  const auto key = static_cast<rt::Word>(message.wParam);
  if (key != VK_RETURN && key != VK_ESCAPE && key != VK_TAB) return false;
  rt::TShiftState shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= rt::ssShift;
  if (GetKeyState(VK_CONTROL) < 0) shift |= rt::ssCtrl;
  if (GetKeyState(VK_MENU) < 0) shift |= rt::ssAlt;
  FormWindow* target = &window;
  actions_.push_back([target, key, shift] {
    target->TakeFocusFromWindows();
    rt::input::PressKey(target->Form(), key, shift);
  });
  return true;
}

bool Win32Presenter::Interact(rt::TForm& modal_form) {
  auto found = std::find_if(windows_.begin(), windows_.end(), [&](const auto& w) { return &w->Form() == &modal_form; });
  if (found == windows_.end()) return false;
  FormWindow& window = **found;
  window.Sync();
  MSG message;
  while (actions_.empty()) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // The program is ending: the quit message goes on to the main loop.
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    if (FormKey(window, message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  std::function<void()> action = std::move(actions_.front());
  actions_.pop_front();
  window.CommitTyping();
  action();
  // The form may be gone (closed by the action); the next Interact shows
  // the one that remains.
  auto still = std::find_if(windows_.begin(), windows_.end(), [&](const auto& w) { return &w->Form() == &modal_form; });
  if (still != windows_.end()) (*still)->Sync();
  return true;
}

void Win32Presenter::ShowMessage(rt::MessageKind kind, std::string_view text) {
  const UINT icon = kind == rt::MessageKind::Warning       ? MB_ICONWARNING
                    : kind == rt::MessageKind::Information ? MB_ICONINFORMATION
                                                           : MB_ICONERROR;
  MessageBoxW(TopWindow(), Wide(text).c_str(), kCaption, MB_OK | icon);
}

int Win32Presenter::Confirm(std::string_view text, int buttons) {
  // The message service's code 1 asks OK or cancel, any other yes or no.
  const UINT kind = buttons == 1 ? MB_OKCANCEL : MB_YESNO;
  const int answer = MessageBoxW(TopWindow(), Wide(text).c_str(), kCaption, kind | MB_ICONQUESTION);
  return answer == IDOK || answer == IDYES ? 1 : 2;
}

bool Win32Presenter::ExecuteOpenDialog(rt::TOpenDialog& dialog) { return RunFileDialog(TopWindow(), dialog, false); }

bool Win32Presenter::ExecuteSaveDialog(rt::TSaveDialog& dialog) { return RunFileDialog(TopWindow(), dialog, true); }

void Win32Presenter::ShowError(std::string_view message) {
  MessageBoxW(TopWindow(), Wide(message).c_str(), kCaption, MB_OK | MB_ICONERROR);
}

}  // namespace desktop
