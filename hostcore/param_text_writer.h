// Writing parameter texts, the key=value lists through which the host
// describes a tree node or a selected row to the plug-in
// ("TV_ID=12;TV_Name=文档管理明细;Icon=labdoc.ico").
//
// The reader ends an item at ';' and at every byte of code 1 to 32, and
// reads an item that begins with '"' up to the next '"' that is not doubled.
// So an item that holds a blank, a control character, a ';' or a '"' is
// written enclosed whole in double quotes, each '"' inside doubled:
//   key "DISP_描述", value  a "b"; c   gives   "DISP_描述=a ""b""; c"
// Any other item is written as it is. Items are joined by ';'.
//
// What the reader cannot give back: a NUL byte ends the whole text, so NUL
// bytes are left out of values; the reader trims bytes 0 to 32 from both
// ends of a value, so such bytes at the ends of a value are lost on reading;
// a key ends at its first '=', so a key must not hold one.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hostcore {

// One item. Raises rt::EConvertError for a key that holds '=' or a NUL byte.
std::string ParamTextItem(std::string_view key, std::string_view value);

// The items joined by ';', in order.
std::string BuildParamText(const std::vector<std::pair<std::string, std::string>>& items);

}  // namespace hostcore
