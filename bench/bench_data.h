// Generated laboratories for the benchmarks: a database filled as the
// document store and the plug-in fill it, at any size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace labdocs::bench {

// The category node every generated directory belongs to.
inline constexpr const char* kCategory = "文档管理明细";

struct Directory {
  std::int64_t tv_id = 0;
  std::int64_t documents = 0;
};

struct Laboratory {
  std::int64_t documents = 0;
  // The directories whose lists the benchmarks read (1k, 10k and 100k
  // documents, as many as the total allows), then the rest.
  std::vector<Directory> measured;
  std::vector<Directory> directories;
};

// The layout of `total` documents: one directory each of 1,000, 10,000 and
// 100,000 documents while they fit in half the total, the rest in
// directories of 1,000.
Laboratory Plan(std::int64_t total);

// What the fills write, the same on every engine (texts in UTF-8).
struct Texts {
  std::string category, author, authors, user;
  std::string DirectoryName(std::int64_t tv_id) const;
};
const Texts& GeneratedTexts();

// The n-th document of a laboratory (counting from 1).
struct Document {
  std::int64_t id = 0;
  std::string file_name, bytes, sha256, description;
  std::string stored_time;  // "2024-01-DD HH:MM:SS.000"
  // Its audit rows' times, one a month (1, 2).
  std::string ModifyTime(int month) const;
};
Document GeneratedDocument(std::int64_t n);

// Fills an empty database of the current schema version (made by
// rt::sqlite::Database) with the laboratory: the view tree's nodes, the directories
// (Lab_List), and for every document what storing it leaves behind
// (DB_FILE_STORAGE, its current DB_FILE_CONTENT with a digest of its bytes,
// one small DB_FILE_CHUNK) and what the plug-in adds (RIS_DOC and two audit
// rows in DB_FILE_RECORD). One transaction, prepared statements.
void Fill(sqlite3* db, const Laboratory& laboratory);

// Runs a query on SQLite as a reader that takes everything would: every row
// stepped, every column read as text. Returns the number of rows.
std::int64_t ReadAllRows(sqlite3* db, const std::string& sql_utf8);

// The plug-in's list query for one directory, as the host's dialect layer
// hands it to SQLite (UTF-8), for reading the same rows directly.
std::string ListQuery(std::int64_t directory);

}  // namespace labdocs::bench
