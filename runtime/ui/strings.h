// A list of texts, as the framework's string lists: index lookup without
// regard to case, and the whole list as one text of lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rt {

class TStringList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& operator[](int index) const;
  void Set(int index, std::string text);
  int Add(std::string text);
  void Clear() { items_.clear(); }
  // The index of the first text equal to the given one without regard to
  // case; -1 when none is.
  int IndexOf(std::string_view text) const;
  // The lines joined by CR LF, each ending with it.
  std::string Text() const;
  // Replaces the whole list by the lines of a text (CR LF, LF or CR ends a line).
  void SetText(std::string_view text);
  const std::vector<std::string>& Items() const { return items_; }

 private:
  std::vector<std::string> items_;
};

}  // namespace rt
