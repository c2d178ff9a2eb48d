// Fuzzes the reading of parameter texts. Input: one byte giving the length
// of a key, the key, then the text. Besides not crashing, every run checks:
//  - a found value never begins or ends with a byte of code 0 to 32;
//  - the items equal those of a plain character-by-character reading of
//    the rules below; they are no longer, all together, than the text; a
//    text without quotes gives items that are pieces of it, in order,
//    holding no ';', no byte 0..32;
//  - looking up the key of any item that holds '=' gives the trimmed value
//    of the first item with that key, and so does looking up the input key;
//  - the lookup is deterministic, ignores everything after a NUL byte, and
//    gives the same value for every ASCII-case variant of the key;
//  - two keys are the same key exactly when their GBK-aware upper-case
//    forms are equal, so changing the case of a second byte of a
//    double-byte character gives a different key.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "module/framework/param_text.h"
#include "runtime/text/gbk.h"

namespace {

void Check(bool condition, const char* property) {
  if (!condition) {
    std::fprintf(stderr, "parameter text property violated: %s\n", property);
    std::abort();
  }
}

bool IsControl(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsControl(text.back())) text.remove_suffix(1);
  return text;
}

bool IsBlank(std::string_view text, std::size_t i) { return i < text.size() && text[i] >= 1 && text[i] <= 32; }

// The reading rules applied one character at a time, as a second opinion.
std::vector<std::string> ReferenceSplit(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string> items;
  std::size_t i = 0;
  while (IsBlank(text, i)) ++i;
  while (i < text.size()) {
    std::string item;
    if (text[i] == '"') {
      for (++i; i < text.size(); ++i) {
        if (text[i] != '"') {
          item += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '"') {
          item += '"';
          ++i;
        } else {
          ++i;
          break;
        }
      }
    } else {
      for (; i < text.size() && text[i] != ';' && !IsBlank(text, i); ++i) item += text[i];
    }
    items.push_back(item);
    while (IsBlank(text, i)) ++i;
    if (i < text.size() && text[i] == ';') {
      if (i + 1 == text.size()) items.emplace_back();
      ++i;
      while (IsBlank(text, i)) ++i;
    }
  }
  return items;
}

enum class Case { Upper, Lower, Swap, SwapSecondBytes };

// The key with the case of its ASCII letters changed, the bytes of
// double-byte characters left as they are; or (SwapSecondBytes) only the
// second bytes of double-byte characters that are letters swapped in case.
std::string ChangeCase(std::string_view key, Case to) {
  std::string out(key);
  for (std::size_t i = 0; i < out.size();) {
    std::size_t n = rt::gbk::CharLength(out, i);
    char& c = out[i];
    bool lower = c >= 'a' && c <= 'z';
    bool upper = c >= 'A' && c <= 'Z';
    if (to == Case::SwapSecondBytes) {
      if (n == 2) {
        char& second = out[i + 1];
        if (second >= 'a' && second <= 'z') second = static_cast<char>(second - 'a' + 'A');
        else if (second >= 'A' && second <= 'Z') second = static_cast<char>(second - 'A' + 'a');
      }
    } else if (n == 1) {
      if (lower && to != Case::Lower) c = static_cast<char>(c - 'a' + 'A');
      if (upper && to != Case::Upper) c = static_cast<char>(c - 'A' + 'a');
    }
    i += n;
  }
  return out;
}

bool SameKeyByUpperCase(std::string_view a, std::string_view b) {
  return ChangeCase(a, Case::Upper) == ChangeCase(b, Case::Upper);
}

// The value that the items say a lookup of key must give.
std::string ExpectedValue(const std::vector<std::string>& items, std::string_view key) {
  for (const std::string& item : items) {
    std::size_t equals = item.find('=');
    if (equals == std::string::npos) continue;
    std::string_view item_key = std::string_view(item).substr(0, equals);
    bool same = labdocs::SameParamKey(item_key, key);
    Check(same == SameKeyByUpperCase(item_key, key), "keys compare by their upper-case forms");
    if (same) return std::string(Trim(std::string_view(item).substr(equals + 1)));
  }
  return {};
}

void CheckLookup(std::string_view text, const std::vector<std::string>& items, std::string_view key) {
  std::string value = labdocs::ParamTextValue(text, key);
  Check(value.empty() || (!IsControl(value.front()) && !IsControl(value.back())), "value is trimmed");
  Check(value.size() <= text.size(), "value no longer than the text");
  Check(value == ExpectedValue(items, key), "lookup gives the first matching item's value");
  Check(value == labdocs::ParamTextValue(text, key), "lookup is deterministic");
  for (Case to : {Case::Upper, Case::Lower, Case::Swap}) {
    std::string variant = ChangeCase(key, to);
    Check(labdocs::SameParamKey(key, variant) && labdocs::SameParamKey(variant, key), "case variants are the same key");
    Check(labdocs::ParamTextValue(text, variant) == value, "lookup ignores the case of the key");
  }
  std::string swapped = ChangeCase(key, Case::SwapSecondBytes);
  Check(labdocs::SameParamKey(key, swapped) == (swapped == key), "second bytes of characters are not folded");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  std::size_t key_size = data[0] < input.size() ? data[0] : input.size();
  std::string_view key = input.substr(0, key_size);
  std::string_view text = input.substr(key_size);
  std::string_view before_nul = text.substr(0, text.find('\0'));

  std::vector<std::string> items = labdocs::SplitParamText(text);
  Check(items == labdocs::SplitParamText(text), "splitting is deterministic");
  Check(items == ReferenceSplit(text), "items follow the reading rules");
  Check(items == labdocs::SplitParamText(before_nul), "the text ends at NUL");

  std::size_t total = 0;
  for (const std::string& item : items) total += item.size();
  Check(total <= before_nul.size(), "items together no longer than the text");

  if (before_nul.find('"') == std::string_view::npos) {
    std::size_t pos = 0;
    for (const std::string& item : items) {
      for (char c : item) Check(c != ';' && !IsControl(c), "an unquoted item holds no separator");
      std::size_t found = before_nul.find(item, pos);
      Check(found != std::string_view::npos, "an unquoted item is a piece of the text, in order");
      pos = found + item.size();
    }
  }

  CheckLookup(text, items, key);
  Check(labdocs::ParamTextValue(text, key) == labdocs::ParamTextValue(before_nul, key), "lookup ends at NUL");

  // Every key that the text holds; a bounded number keeps each run fast.
  std::size_t looked_up = 0;
  for (const std::string& item : items) {
    std::size_t equals = item.find('=');
    if (equals == std::string::npos) continue;
    CheckLookup(text, items, std::string_view(item).substr(0, equals));
    if (++looked_up == 32) break;
  }
  return 0;
}
