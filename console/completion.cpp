#include "console/completion.h"

#include <algorithm>

#include "console/verbs.h"

namespace console {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
  return true;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Sorted, each once.
std::vector<std::string> Distinct(std::vector<std::string> words) {
  std::sort(words.begin(), words.end());
  words.erase(std::unique(words.begin(), words.end()), words.end());
  return words;
}

}  // namespace

Completion Complete(std::string_view line, const std::vector<std::string>& node_paths) {
  Completion completion;
  std::size_t word_start = 0;
  while (word_start < line.size() && IsBlank(line[word_start])) ++word_start;
  std::size_t word_end = word_start;
  while (word_end < line.size() && !IsBlank(line[word_end])) ++word_end;
  const std::string_view word = line.substr(word_start, word_end - word_start);

  if (word_end == line.size()) {
    completion.start = word_start;
    completion.blank_after = true;
    for (const VerbRow& row : VerbTable::kRows)
      if (StartsWithIgnoringCase(row.word, word)) completion.candidates.emplace_back(row.word);
    completion.candidates = Distinct(std::move(completion.candidates));
    return completion;
  }

  if (!StartsWithIgnoringCase(word, "open") || word.size() != 4) return completion;
  std::size_t path_start = word_end;
  while (path_start < line.size() && IsBlank(line[path_start])) ++path_start;
  // A quoted path is the person's own: it is not completed.
  const std::string_view typed = line.substr(path_start);
  if (!typed.empty() && typed.front() == '"') return completion;
  completion.start = path_start;
  const auto depth = std::count(typed.begin(), typed.end(), '/');
  for (const std::string& path : node_paths)
    if (StartsWithIgnoringCase(path, typed) && std::count(path.begin(), path.end(), '/') == depth)
      completion.candidates.push_back(path);
  completion.candidates = Distinct(std::move(completion.candidates));
  return completion;
}

std::string CommonPrefix(const std::vector<std::string>& texts) {
  if (texts.empty()) return {};
  std::size_t length = texts.front().size();
  for (const std::string& text : texts) {
    std::size_t same = 0;
    while (same < length && same < text.size() && text[same] == texts.front()[same]) ++same;
    length = same;
  }
  // Two characters that share their first bytes differ in a later one.
  while (length > 0 && length < texts.front().size() && IsContinuationByte(texts.front()[length])) --length;
  return texts.front().substr(0, length);
}

std::size_t Utf8Characters(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuationByte(c); }));
}

}  // namespace console
