#include "desktop/window_class.h"

namespace desktop {

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HICON icon) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  WNDCLASSEXW existing = window_class;
  if (GetClassInfoExW(instance, name, &existing)) return;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = name;
  window_class.hIcon = icon;
  RegisterClassExW(&window_class);
}

}  // namespace desktop
