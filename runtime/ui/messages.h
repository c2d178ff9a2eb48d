// Window messages: the few that the system posts or handles, the window
// handle type and PostMessageA, which queues a message for the message loop.
#pragma once

#include <cstdint>

// Message and key codes, with the values and spelling of the window
// system's own definitions (which are macros there, and may already be
// defined by its header).
#ifndef WM_GETMINMAXINFO
#define WM_GETMINMAXINFO 0x0024
#endif
#ifndef WM_KEYDOWN
#define WM_KEYDOWN 0x0100
#endif
#ifndef VK_TAB
#define VK_TAB 0x09
#endif
#ifndef VK_RETURN
#define VK_RETURN 0x0D
#endif
#ifndef VK_SHIFT
#define VK_SHIFT 0x10
#endif
#ifndef VK_ESCAPE
#define VK_ESCAPE 0x1B
#endif
#ifndef VK_SPACE
#define VK_SPACE 0x20
#endif
#ifndef VK_UP
#define VK_UP 0x26
#endif
#ifndef VK_DOWN
#define VK_DOWN 0x28
#endif

namespace rt {

using HWND = std::uintptr_t;  // 0 is no window
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using Word = std::uint16_t;

struct POINT {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const POINT&, const POINT&) = default;
};

// The size limits that the window system asks a window for before it moves,
// sizes or maximises it.
struct MINMAXINFO {
  POINT ptReserved;
  POINT ptMaxSize;
  POINT ptMaxPosition;
  POINT ptMinTrackSize;
  POINT ptMaxTrackSize;
};

struct TMessage {
  UINT msg = 0;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
  LPARAM result = 0;
};

// Modifier keys held: the shift state of key events.
enum ShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
using TShiftState = unsigned;

// Queues a message for the window; it is processed by the message loop after
// the event being handled. Returns false for a window that does not exist.
bool PostMessageA(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);

}  // namespace rt
