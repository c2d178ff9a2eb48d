#include "admin/transfer.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <set>
#include <string_view>

#include "admin/backup.h"
#include "labdoc/content_storage.h"
#include "labdoc/retention.h"

namespace admin {
namespace {

using labdocs::labdoc::ContentStorage;
using labdocs::labdoc::ContentSummary;

// The tables that go across, parents before the rows that name them, with
// their own key columns and the rows that go.
struct Table {
  const char* name;
  const char* key;
  const char* rows;  // a WHERE clause's condition
};
constexpr Table kTables[] = {
    {"Pacs_MMCTreeViewConfig", "TV_ID", "1 = 1"},
    {"Lab_List", "TV_ID", "1 = 1"},
    {"DB_FILE_STORAGE", "LABDOC_ID", "1 = 1"},
    // A content being stored belongs to its store, which goes on in the
    // source only.
    {"DB_FILE_CONTENT", "CONTENT_ID", "PENDING = 0"},
    {"RIS_DOC", "ID", "1 = 1"},
    {"DB_FILE_RECORD", "ID", "1 = 1"},
};
constexpr std::size_t kContents = 3;
static_assert(std::string_view(kTables[kContents].name) == "DB_FILE_CONTENT");

// The bytes of small contents copied in one transaction of the target.
constexpr std::uint64_t kBatchBytes = std::uint64_t{labdocs::labdoc::kChunksPerTransaction} *
                                      labdocs::labdoc::kChunkSize;

// Statements hold at most this many values: SQLite's limit is 32,766, a
// server's 65,535.
constexpr std::size_t kValuesPerStatement = 4000;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

struct TableRows {
  const Table* table;
  rt::RowSet rows;
  std::int64_t last_key = 0;
};

std::size_t Column(const rt::RowSet& rows, const char* name) {
  for (std::size_t i = 0; i < rows.fields.size(); ++i)
    if (Lower(rows.fields[i].name) == Lower(name)) return i;
  throw rt::EDatabaseError(std::string("Database error: DB_FILE_CONTENT has no column ") + name);
}

std::int64_t Integer(const rt::Value& value) {
  const auto* number = std::get_if<std::int64_t>(&value);
  return number != nullptr ? *number : 0;
}

// Every table of the target empty, and holding each of the source's
// columns.
void RequireEmptyTarget(rt::DataSession& target, const std::vector<TableRows>& read) {
  for (const TableRows& table : read) {
    const rt::RowSet count = target.QueryBound(std::string("SELECT count(*) FROM ") + table.table->name, {});
    if (Integer(count.rows.at(0).at(0)) > 0)
      throw ECopyRefused("The database " + target.Shown() + " holds rows already (in " + table.table->name +
                         "): a copy goes into an empty database only; nothing was copied.");
    std::set<std::string> columns;
    for (const std::string& column : target.TableColumns(table.table->name)) columns.insert(Lower(column));
    for (const rt::FieldDef& field : table.rows.fields)
      if (!columns.contains(Lower(field.name)))
        throw ECopyRefused("The database " + target.Shown() + " has no column " + field.name + " in " +
                           table.table->name + ": its tables are of another version than " +
                           "the source's; nothing was copied.");
  }
}

void InsertRows(rt::DataSession& target, const TableRows& table) {
  const std::vector<rt::FieldDef>& fields = table.rows.fields;
  std::string columns, placeholders;
  for (const rt::FieldDef& field : fields) {
    columns += (columns.empty() ? "" : ", ") + field.name;
    placeholders += placeholders.empty() ? "(?" : ", ?";
  }
  placeholders += ")";
  const std::size_t per_statement = std::max<std::size_t>(1, kValuesPerStatement / fields.size());
  const std::vector<std::vector<rt::Value>>& rows = table.rows.rows;
  for (std::size_t start = 0; start < rows.size(); start += per_statement) {
    const std::size_t end = std::min(rows.size(), start + per_statement);
    std::string sql = std::string("INSERT INTO ") + table.table->name + "(" + columns + ") VALUES ";
    std::vector<rt::Value> values;
    values.reserve((end - start) * fields.size());
    for (std::size_t row = start; row < end; ++row) {
      sql += (row == start ? "" : ", ") + placeholders;
      values.insert(values.end(), rows[row].begin(), rows[row].end());
    }
    target.ExecuteBound(sql, values);
  }
  target.KeepKeysPast(table.table->name, table.table->key, table.last_key);
}

// What a failed copy left: the chunks of the contents it began, whose rows
// never went in. Best effort: the first error is the one reported.
void RemoveChunks(ContentStorage& storage, const std::vector<std::int64_t>& contents) noexcept {
  for (const std::int64_t content : contents) {
    try {
      storage.RemoveChunks(content);
    } catch (...) {
    }
  }
}

}  // namespace

void CopyDatabase(rt::DataSession& source, rt::DataSession& target, Progress& progress) {
  const std::unique_ptr<ContentStorage> from = labdocs::labdoc::MakeContentStorage(source);
  const std::unique_ptr<ContentStorage> to = labdocs::labdoc::MakeContentStorage(target);
  rt::Transaction snapshot(source, rt::Transaction::Kind::Deferred);
  from->BeginContentRead();
  std::vector<TableRows> read;
  for (const Table& table : kTables)
    read.push_back({&table,
                    source.QueryBound(std::string("SELECT * FROM ") + table.name + " WHERE " + table.rows +
                                          " ORDER BY " + table.key,
                                      {}),
                    source.LastKey(table.name, table.key)});
  RequireEmptyTarget(target, read);
  const labdocs::labdoc::Retention retention = labdocs::labdoc::ReadRetention(source);

  const rt::RowSet& contents = read[kContents].rows;
  const std::size_t id = Column(contents, "CONTENT_ID"), name = Column(contents, "FILE_NAME"),
                    size = Column(contents, "FILE_SIZE"), sha256 = Column(contents, "SHA256");
  std::uint64_t with_bytes = 0, all_bytes = 0;
  for (const std::vector<rt::Value>& row : contents.rows) {
    with_bytes += Integer(row[size]) > 0;
    all_bytes += static_cast<std::uint64_t>(std::max<std::int64_t>(Integer(row[size]), 0));
  }
  progress.Start(with_bytes, all_bytes);
  std::vector<std::int64_t> begun;
  try {
    // Small contents go in by batches of one transaction each, not one
    // commit (and its flush to the disk) each; a content of a transaction's
    // worth of chunks or more commits on its own, as CopyChunks cuts it.
    std::unique_ptr<rt::Transaction> batch;
    std::uint64_t batched = 0;
    for (const std::vector<rt::Value>& row : contents.rows) {
      if (Integer(row[size]) <= 0) continue;
      const auto bytes = static_cast<std::uint64_t>(Integer(row[size]));
      const bool small = bytes < kBatchBytes;
      if (batch && (!small || batched + bytes > kBatchBytes)) {
        batch->Commit();
        batch.reset();
      }
      if (small && !batch) {
        batch = std::make_unique<rt::Transaction>(target, rt::Transaction::Kind::Deferred);
        batched = 0;
      }
      batched += bytes;
      const std::int64_t content = Integer(row[id]);
      const ContentSummary recorded{bytes, std::get<std::string>(row[sha256])};
      const std::string* file_name = std::get_if<std::string>(&row[name]);
      begun.push_back(content);
      to->CopyChunks(content, [&](const labdocs::labdoc::ChunkSink& sink) {
        from->ReadChunks(content, recorded, file_name ? *file_name : std::string(),
                         [&](const std::uint8_t* data, std::size_t piece) {
                           sink(data, piece);
                           progress.Bytes(piece);
                         });
      });
      progress.ContentDone();
    }
    if (batch) batch->Commit();
    rt::Transaction rows(target);
    for (const TableRows& table : read) InsertRows(target, table);
    // The laboratory's setting, where it is not the default the target was
    // made with (on a server only its owner may set it).
    if (labdocs::labdoc::ReadRetention(target) != retention) labdocs::labdoc::WriteRetention(target, retention);
    rows.Commit();
  } catch (...) {
    RemoveChunks(*to, begun);
    throw;
  }
  progress.Finish();
}

void EmptyCopy(rt::DataSession& target) {
  rt::Transaction transaction(target);
  // Children first; a document's removal takes its contents, and theirs
  // their chunks, by the tables' own triggers.
  for (auto table = std::rbegin(kTables); table != std::rend(kTables); ++table)
    target.ExecuteBound(std::string("DELETE FROM ") + table->name, {});
  transaction.Commit();
}

}  // namespace admin
