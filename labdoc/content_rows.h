// The rows that describe a document's contents (DB_FILE_STORAGE and
// DB_FILE_CONTENT), read into what the store works with: which content is
// current, and the kept ones in the order they were stored. Each reads in
// the caller's transaction.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "labdoc/content_chunks.h"
#include "runtime/data/session.h"

namespace labdocs::labdoc {

// "文档 <number>", as messages name a document.
std::string Document(std::int64_t doc_id);

// A finished content of a document as the database records it.
struct StoredContent {
  std::int64_t content_id = 0;
  std::string file_name;    // the document's stored file name
  std::string source_name;  // the name of the file this content came from
  ContentSummary summary;
  rt::Value stored_time;  // when it was stored
  rt::Value stored_host;  // the workstation, and the user, who stored it
  rt::Value stored_user;
  bool current = false;
};

bool DocumentExists(rt::DataSession& db, std::int64_t doc_id);

// The document's current content; nothing when there is no such document
// or it has no content. Throws EDamagedContent when its record has no
// valid size or digest, rt::EDatabaseError.
std::optional<StoredContent> FindCurrentContent(rt::DataSession& db, std::int64_t doc_id);

// Every finished content of the document, in the order they were stored
// (the oldest first); empty when there is no such document. Throws as
// FindCurrentContent.
std::vector<StoredContent> ListContents(rt::DataSession& db, std::int64_t doc_id);

}  // namespace labdocs::labdoc
