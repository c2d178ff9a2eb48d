// A document's version list as ListVersionsLabDoc answers it: GBK text, one
// record a line ('\n'), the fields of a record separated by tabs, the
// first field naming the record's kind:
//
//   kept<TAB>保留全部版本
//   version<TAB>3<TAB>17<TAB>2026-12-08 10:15:00<TAB>PC-B<TAB>李四<TAB>1234<TAB><sha256><TAB>1
//
// "kept" (at most one) says what the store keeps of a document's contents,
// for the person who looks at the list; a list without it keeps every
// content (kKeptEverything). Each "version" record is one kept content,
// newest first: its version number (1 for the oldest kept), its content
// number (what GetVersionLabDoc and RestoreVersionLabDoc take), when it was
// stored (local time, to the second), the workstation and the user who
// stored it, its size in bytes, its SHA-256 digest (lower-case
// hexadecimal), and 1 for the current content (else 0). A reader skips
// records of kinds it does not know and fields after those it knows, so a
// store may add either. No field holds a tab or a line break (the writer
// puts blanks there); a GBK character's second byte is never one.
// Header-only: the store writes the list, its callers read it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace labdocs {

inline constexpr std::string_view kKeptEverything = "保留全部版本";

struct DocVersion {
  std::int32_t number = 0;
  std::int64_t content_id = 0;
  std::string stored_at;  // "YYYY-MM-DD HH:MM:SS"
  std::string host;       // the workstation that stored it
  std::string user;       // the user who stored it
  std::uint64_t size = 0;
  std::string sha256;
  bool current = false;
};

struct VersionList {
  std::string kept{kKeptEverything};
  std::vector<DocVersion> versions;  // newest first
};

namespace version_list_detail {

inline std::string Field(std::string_view text) {
  std::string field(text);
  for (char& c : field)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return field;
}

inline std::vector<std::string_view> Split(std::string_view line, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = line.find(separator, start);
    parts.push_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// A decimal number without sign; false for anything else.
template <class Integer>
bool Number(std::string_view text, Integer& value) {
  if (text.empty() || text.size() > 19) return false;
  Integer result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = static_cast<Integer>(result * 10 + (c - '0'));
  }
  value = result;
  return true;
}

}  // namespace version_list_detail

inline std::string FormatVersionList(const VersionList& list) {
  using version_list_detail::Field;
  std::string text = "kept\t" + Field(list.kept) + "\n";
  for (const DocVersion& v : list.versions)
    text += "version\t" + std::to_string(v.number) + "\t" + std::to_string(v.content_id) + "\t" + Field(v.stored_at) +
            "\t" + Field(v.host) + "\t" + Field(v.user) + "\t" + std::to_string(v.size) + "\t" + Field(v.sha256) +
            "\t" + (v.current ? "1" : "0") + "\n";
  return text;
}

// The list a text holds; a "version" record whose numbers do not read is
// left out.
inline VersionList ParseVersionList(std::string_view text) {
  using version_list_detail::Number;
  VersionList list;
  for (std::string_view line : version_list_detail::Split(text, '\n')) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::vector<std::string_view> f = version_list_detail::Split(line, '\t');
    if (f[0] == "kept" && f.size() >= 2) {
      list.kept = std::string(f[1]);
    } else if (f[0] == "version" && f.size() >= 9) {
      DocVersion v;
      if (!Number(f[1], v.number) || !Number(f[2], v.content_id) || !Number(f[6], v.size)) continue;
      v.stored_at = std::string(f[3]);
      v.host = std::string(f[4]);
      v.user = std::string(f[5]);
      v.sha256 = std::string(f[7]);
      v.current = f[8] == "1";
      list.versions.push_back(std::move(v));
    }
  }
  return list;
}

}  // namespace labdocs
