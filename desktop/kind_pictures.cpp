// Pictures: bevels (etched statics) and images (an icon from the picture's
// bytes).
#include "desktop/control_kind.h"

#include <cstdint>
#include <vector>

#include "desktop/control_style.h"
#include "desktop/form_window.h"
#include "runtime/ui/image.h"

namespace desktop::kinds {
namespace {

void MakeBevel(FormWindow& form, rt::TControl& control, HWND parent) {
  const HWND window = form.MakeChild(control, parent, 0, L"STATIC",
                                     AppearanceHas(control, "Shape", "bsTopLine") ? SS_ETCHEDHORZ : SS_ETCHEDFRAME);
  // An etched line widens itself by its edges as it is made: back to the
  // layout's size.
  SetWindowPos(window, nullptr, 0, 0, control.Width(), control.Height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HICON IconFrom(const rt::TPicture& picture) {
  // An icon file: a directory of images; the first image's bytes are what
  // the system makes an icon from.
  const std::vector<std::uint8_t>& data = picture.Data();
  if (picture.Format() != rt::PictureFormat::Icon || data.size() < 22) return nullptr;
  auto u32 = [&](std::size_t at) {
    return static_cast<DWORD>(data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                              static_cast<DWORD>(data[at + 3]) << 24);
  };
  const DWORD size = u32(6 + 8), offset = u32(6 + 12);
  if (offset > data.size() || size > data.size() - offset) return nullptr;
  return CreateIconFromResourceEx(const_cast<PBYTE>(data.data() + offset), size, TRUE, 0x00030000, 0, 0, 0);
}

void MakeImage(FormWindow& form, rt::TControl& control, HWND parent) {
  const HWND window = form.MakeChild(control, parent, 0, L"STATIC", SS_ICON | SS_CENTERIMAGE);
  if (HICON icon = IconFrom(dynamic_cast<const rt::TImage&>(control).Picture())) {
    form.KeepIcon(icon);
    SendMessageW(window, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  }
}

}  // namespace

KindHandlers Bevel() { return {.make = MakeBevel}; }

KindHandlers Image() { return {.make = MakeImage}; }

}  // namespace desktop::kinds
