#include "admin/catalog.h"

#include <charconv>

namespace admin {
namespace {

constexpr const char* kNone = "(none)";

std::int64_t Integer(const rt::Value& value) {
  if (const auto* number = std::get_if<std::int64_t>(&value)) return *number;
  if (const auto* real = std::get_if<double>(&value)) return static_cast<std::int64_t>(*real);
  if (const auto* text = std::get_if<std::string>(&value)) {
    std::int64_t number = 0;
    std::from_chars(text->data(), text->data() + text->size(), number);
    return number;
  }
  return 0;
}

std::string Text(const rt::Value& value) { return rt::ValueToText(value); }

}  // namespace

std::optional<std::int64_t> DirectoryNamed(std::string_view doc_type) {
  std::int64_t id = 0;
  const auto [end, error] = std::from_chars(doc_type.data(), doc_type.data() + doc_type.size(), id);
  if (doc_type.empty() || error != std::errc() || end != doc_type.data() + doc_type.size()) return std::nullopt;
  if (std::to_string(id) != doc_type) return std::nullopt;  // "05", "+5": no list's TV_ID reads so
  return id;
}

std::string Catalog::DirectoryOf(const Record& record) const {
  const std::optional<std::int64_t> id = DirectoryNamed(record.doc_type);
  if (!id) return kNone;
  const auto found = directories.find(*id);
  return found == directories.end() ? kNone : found->second;
}

std::string Catalog::DirectoryOf(std::int64_t labdoc_id) const {
  std::string names;
  std::set<std::string> seen;
  for (auto [at, end] = records_of_.equal_range(labdoc_id); at != end; ++at) {
    const std::string name = DirectoryOf(records[at->second]);
    if (seen.insert(name).second) names += (names.empty() ? "" : ", ") + name;
  }
  return names.empty() ? kNone : names;
}

std::string Catalog::FileNameOf(std::int64_t labdoc_id) const {
  if (const auto found = documents.find(labdoc_id); found != documents.end()) return found->second;
  for (const Content& content : contents)
    if (content.labdoc_id == labdoc_id) return content.file_name;
  for (auto [at, end] = records_of_.equal_range(labdoc_id); at != end; ++at)
    if (const auto name = audited_names.find(records[at->second].id); name != audited_names.end()) return name->second;
  return "(unknown)";
}

std::string Catalog::FileNameOf(const Record& record) const {
  if (documents.count(record.labdoc_id) != 0) return documents.at(record.labdoc_id);
  if (const auto name = audited_names.find(record.id); name != audited_names.end()) return name->second;
  return FileNameOf(record.labdoc_id);
}

Catalog ReadCatalog(rt::DataSession& db) {
  Catalog catalog;
  for (const auto& row : db.QueryBound("SELECT TV_ID, TV_Name FROM Lab_List", {}).rows)
    catalog.directories[Integer(row[0])] = Text(row[1]);
  for (const auto& row : db.QueryBound("SELECT ID, LABDOC_ID, DocType FROM RIS_DOC ORDER BY ID", {}).rows) {
    catalog.records_of_.emplace(Integer(row[1]), catalog.records.size());
    catalog.records.push_back(Record{Integer(row[0]), Integer(row[1]), Text(row[2])});
  }
  for (const auto& row : db.QueryBound("SELECT LABDOC_ID, FILE_NAME FROM DB_FILE_STORAGE", {}).rows)
    catalog.documents[Integer(row[0])] = Text(row[1]);
  for (const auto& row :
       db.QueryBound("SELECT FileTableName, FileTableID, LABDOC_ID, SRCFILENAME FROM DB_FILE_RECORD", {}).rows) {
    // The table's name compares without regard to case, as the host's
    // database compares it.
    std::string table = Text(row[0]);
    for (char& c : table)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (table == "RIS_DOC") catalog.audited_names[Integer(row[1])] = Text(row[3]);
    else catalog.named_elsewhere.insert(Integer(row[2]));
  }
  for (const auto& row : db.QueryBound("SELECT CONTENT_ID, LABDOC_ID, FILE_NAME, FILE_SIZE, SHA256, REPLACEDTIME, "
                                       "PENDING, OWNER, STOREDTIME FROM DB_FILE_CONTENT ORDER BY CONTENT_ID",
                                       {})
                             .rows) {
    if (Integer(row[6]) != 0) {
      PendingContent pending{Integer(row[0]), Integer(row[1]), Text(row[2]), Text(row[7]), 0, Text(row[8])};
      if (const auto* began = std::get_if<rt::DateTime>(&row[8])) pending.began = began->days;
      catalog.pending.push_back(std::move(pending));
      continue;
    }
    Content content{Integer(row[0]), Integer(row[1]), Text(row[2]), {}, false, Text(row[5])};
    content.recorded.size = static_cast<std::uint64_t>(Integer(row[3]));
    content.recorded.sha256 = Text(row[4]);
    content.current = std::holds_alternative<std::monostate>(row[5]);
    catalog.contents.push_back(std::move(content));
  }
  return catalog;
}

}  // namespace admin
