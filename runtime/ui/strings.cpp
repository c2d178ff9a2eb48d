#include "runtime/ui/strings.h"

#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt {

const std::string& TStringList::operator[](int index) const {
  if (index < 0 || index >= Count()) throw Exception("List index out of bounds (" + std::to_string(index) + ")");
  return items_[static_cast<std::size_t>(index)];
}

void TStringList::Set(int index, std::string text) {
  if (index < 0 || index >= Count()) throw Exception("List index out of bounds (" + std::to_string(index) + ")");
  items_[static_cast<std::size_t>(index)] = std::move(text);
}

int TStringList::Add(std::string text) {
  items_.push_back(std::move(text));
  return Count() - 1;
}

int TStringList::IndexOf(std::string_view text) const {
  for (int i = 0; i < Count(); ++i)
    if (gbk::SameText(items_[static_cast<std::size_t>(i)], text)) return i;
  return -1;
}

std::string TStringList::Text() const {
  std::string text;
  for (const std::string& line : items_) text += line + "\r\n";
  return text;
}

void TStringList::SetText(std::string_view text) {
  items_.clear();
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      items_.emplace_back(text.substr(start));
      break;
    }
    items_.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
}

}  // namespace rt
