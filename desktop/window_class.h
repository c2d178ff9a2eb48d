// The desktop's own window classes (the main window's, a form's, a panel's):
// registered the same way, each once per process, as a window of it is
// first made.
#pragma once

#include "runtime/platform/platform.h"

namespace desktop {

// Registers a window class of this program with the arrow cursor and the
// dialog face as background; a class registered before stays as it is.
void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HICON icon = nullptr);

}  // namespace desktop
