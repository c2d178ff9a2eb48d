#include "desktop/control_style.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "desktop/wide_text.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/controls.h"

namespace desktop {
namespace {

const std::string* TextSetting(const rt::TControl& control, const std::string& name) {
  const rt::PropValue* value = control.AppearanceOf(name);
  return value ? std::get_if<std::string>(value) : nullptr;
}

int CharsetOf(const std::string& name) {
  // clang-format off
  static constexpr std::array<std::pair<std::string_view, int>, 8> kCharsets = {{
      {"DEFAULT_CHARSET", DEFAULT_CHARSET}, {"ANSI_CHARSET", ANSI_CHARSET}, {"GB2312_CHARSET", GB2312_CHARSET},
      {"CHINESEBIG5_CHARSET", CHINESEBIG5_CHARSET}, {"SHIFTJIS_CHARSET", SHIFTJIS_CHARSET},
      {"SYMBOL_CHARSET", SYMBOL_CHARSET}, {"OEM_CHARSET", OEM_CHARSET}, {"HANGEUL_CHARSET", HANGEUL_CHARSET}}};
  // clang-format on
  for (const auto& [text, value] : kCharsets)
    if (rt::gbk::SameText(text, name)) return value;
  return DEFAULT_CHARSET;
}

}  // namespace

FontStyle FontFrom(const rt::TControl& control, const std::string& prefix, FontStyle base) {
  if (const std::string* name = TextSetting(control, prefix + ".Name")) base.name = *name;
  if (const rt::PropValue* height = control.AppearanceOf(prefix + ".Height"))
    if (const auto* number = std::get_if<std::int64_t>(height)) base.height = static_cast<int>(*number);
  if (const std::string* charset = TextSetting(control, prefix + ".Charset")) base.charset = CharsetOf(*charset);
  if (const rt::PropValue* style = control.AppearanceOf(prefix + ".Style")) {
    if (const auto* styles = std::get_if<std::vector<std::string>>(style)) {
      auto has = [&](std::string_view s) { return std::find(styles->begin(), styles->end(), s) != styles->end(); };
      base.bold = has("fsBold");
      base.italic = has("fsItalic");
      base.underline = has("fsUnderline");
    }
  }
  return base;
}

FontStyle FontOf(const rt::TControl& control) {
  const FontStyle base = control.Parent() ? FontOf(*control.Parent()) : FontStyle{};
  return FontFrom(control, "Font", base);
}

HFONT MakeFont(const FontStyle& font) {
  const std::wstring face = Wide(font.name);
  return CreateFontW(font.height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, font.italic, font.underline, FALSE,
                     static_cast<DWORD>(font.charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face.substr(0, LF_FACESIZE - 1).c_str());
}

std::optional<COLORREF> ColourOf(const rt::TControl& control, const std::string& name) {
  const rt::PropValue* value = control.AppearanceOf(name);
  if (!value) return std::nullopt;
  if (const auto* number = std::get_if<std::int64_t>(value)) return static_cast<COLORREF>(*number & 0xFFFFFF);
  const auto* text = std::get_if<std::string>(value);
  if (!text) return std::nullopt;
  // clang-format off
  static constexpr std::array<std::pair<std::string_view, COLORREF>, 12> kNamed = {{
      {"clWhite", RGB(255, 255, 255)}, {"clBlack", RGB(0, 0, 0)}, {"clRed", RGB(255, 0, 0)},
      {"clGreen", RGB(0, 128, 0)}, {"clBlue", RGB(0, 0, 255)}, {"clNavy", RGB(0, 0, 128)},
      {"clMaroon", RGB(128, 0, 0)}, {"clGray", RGB(128, 128, 128)}, {"clSilver", RGB(192, 192, 192)},
      {"clYellow", RGB(255, 255, 0)}, {"clBtnFace", RGB(212, 208, 200)}, {"clWindow", RGB(255, 255, 255)}}};
  // clang-format on
  for (const auto& [named, colour] : kNamed)
    if (rt::gbk::SameText(named, *text)) return colour;
  return std::nullopt;
}

std::optional<COLORREF> BackgroundOf(const rt::TControl* control) {
  for (; control; control = control->Parent())
    if (auto colour = ColourOf(*control, "Color")) return colour;
  return std::nullopt;
}

bool AppearanceHas(const rt::TControl& control, const std::string& setting, std::string_view value) {
  const rt::PropValue* found = control.AppearanceOf(setting);
  if (!found) return false;
  if (const auto* text = std::get_if<std::string>(found)) return *text == value;
  if (const auto* list = std::get_if<std::vector<std::string>>(found))
    return std::find(list->begin(), list->end(), value) != list->end();
  return false;
}

}  // namespace desktop
