// What the database says it holds, read in one snapshot for the check: the
// directories, the documents' records, the stored documents, their
// contents and the contents still pending. Texts are GBK.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "labdoc/content_chunks.h"
#include "runtime/data/session.h"

namespace admin {

// The directory a RIS_DOC row's DocType names: the lists compare it as text
// with the directory's TV_ID ("DocType='5'"), so only the number's own
// decimal form names one. Nothing for any other text.
std::optional<std::int64_t> DirectoryNamed(std::string_view doc_type);

struct Record {  // a RIS_DOC row
  std::int64_t id = 0;
  std::int64_t labdoc_id = 0;
  std::string doc_type;
};

struct Content {  // a finished DB_FILE_CONTENT row, current or kept
  std::int64_t id = 0;
  std::int64_t labdoc_id = 0;
  std::string file_name;  // the file it was stored from
  labdocs::labdoc::ContentSummary recorded;
  bool current = false;
  std::string replaced;  // when a kept revision was replaced ("YYYY-MM-DD HH:MM:SS")
};

struct PendingContent {  // a DB_FILE_CONTENT row still being stored
  std::int64_t id = 0;
  std::int64_t labdoc_id = 0;  // 0: a new document's
  std::string file_name;
  std::string owner;  // empty: stored by a version without owners
  double began = 0;   // rt::DateTime's days
  std::string began_text;
};

struct Catalog {
  std::map<std::int64_t, std::string> directories;  // Lab_List: TV_ID, TV_Name
  std::vector<Record> records;                      // by ID
  std::map<std::int64_t, std::string> documents;    // DB_FILE_STORAGE: LABDOC_ID, FILE_NAME
  // Documents that an audit row of another table than RIS_DOC names.
  std::set<std::int64_t> named_elsewhere;
  // The file names that RIS_DOC's audit rows give (FileTableID, SRCFILENAME).
  std::map<std::int64_t, std::string> audited_names;
  std::vector<Content> contents;  // in the order they were stored
  std::vector<PendingContent> pending;

  // The directories of the records that name a document ("2019年度",
  // several joined by ", "), or "(none)".
  std::string DirectoryOf(std::int64_t labdoc_id) const;
  // A record's directory, or "(none)".
  std::string DirectoryOf(const Record& record) const;
  // A document's file name: its stored name, else its contents' or its
  // audit row's, else "(unknown)".
  std::string FileNameOf(std::int64_t labdoc_id) const;
  // A record's file name: its document's, else its audit row's.
  std::string FileNameOf(const Record& record) const;

 private:
  friend Catalog ReadCatalog(rt::DataSession& db);
  std::multimap<std::int64_t, std::size_t> records_of_;  // LABDOC_ID: index in records
};

// Reads the catalog in the session's open transaction. Raises
// rt::EDatabaseError.
Catalog ReadCatalog(rt::DataSession& db);

}  // namespace admin
