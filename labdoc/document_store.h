// The document store. A document is a DB_FILE_STORAGE row of the host's
// database, numbered by LABDOC_ID (from 1 up, never reused), with the name
// of the file it came from (FILE_NAME, without folders) and the time, size
// and SHA-256 digest of its current content. Every content the document has
// had is a DB_FILE_CONTENT row with its bytes in DB_FILE_CHUNK; the current
// one has no REPLACEDTIME, the revisions it replaced keep theirs. A content
// is stored as a pending content, its chunks committed a batch at a time,
// and becomes the document's content in one last transaction: readers see
// the previous content until then, and after any failure nothing of the new
// one remains.
// Documents are fetched into a cache folder under their stored file names,
// each copy verified against the stored digest before it is put in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "labdoc/cache_folder.h"
#include "labdoc/database_link.h"

namespace labdocs::labdoc {

class DocumentStore {
 public:
  // A store that fetches into the folder given (ANSI path), creating it when
  // it is missing, and reaches the database through the link; removes the
  // temporary files and pending contents that processes which ended left
  // behind. Throws rt::Exception when the folder cannot be made. A database that cannot be reached is
  // not an error here: each operation reaches for it again and fails then.
  DocumentStore(std::string_view ansi_cache_dir, DatabaseLink& link);

  // Stores a file as a new document and returns its number; nothing when
  // there is no such file. Throws rt::Exception when the file cannot be read
  // to its end or changes while it is read, rt::EDatabaseError when the
  // database fails; nothing is stored then.
  std::optional<std::int32_t> Save(const std::string& ansi_file);

  // Makes a file the document's new content; the content it replaces stays
  // as a revision with its time, size and digest. False when there is no
  // such document or file. Throws as Save, leaving the document as it was.
  bool Update(std::int32_t doc_id, const std::string& ansi_file);

  // Deletes a document with every content it has had. False when there is
  // no such document. The cache folder is left alone: a copy there may hold
  // the user's unsaved work.
  bool Delete(std::int32_t doc_id);

  // Fetches a document's current content into the cache folder under its
  // stored file name and returns the copy's path. A copy already there that
  // has the content's size and digest is kept as it is. Nothing when there
  // is no such document, it has no content, or the path would be longer than
  // `max_path_length` bytes. Throws EDamagedContent when the stored content
  // does not match its digest (no copy is made then), rt::Exception when the
  // stored file name cannot name a file in the folder or the copy cannot be
  // written, rt::EDatabaseError when the database fails.
  std::optional<std::string> Fetch(std::int32_t doc_id, std::size_t max_path_length);

  const CacheFolder& Cache() const { return cache_; }

 private:
  CacheFolder cache_;
  DatabaseLink& link_;
};

}  // namespace labdocs::labdoc
