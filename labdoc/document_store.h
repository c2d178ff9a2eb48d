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
// The store records which document and content each copy was fetched as,
// in the cache folder's own index (cache_record.h): a copy edited since is
// never replaced, and one fetched for a document is never stored as
// another's content. Fetching writes nothing to the database and takes no
// writer's lock: a login that may only read can fetch and open documents.
// File names are made safe when a file is stored (rt::SafeFileName), so
// every stored name can be fetched again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "labdoc/cache_folder.h"
#include "labdoc/cache_record.h"
#include "labdoc/revisions.h"
#include "labdoc/database_link.h"
#include "labdoc/version_list.h"

namespace labdocs::labdoc {

struct StoredContent;

// The cache folder's subfolder (GBK) that versions other than the current
// one are fetched into (FetchVersion).
inline constexpr std::string_view kVersionsFolder = "历史版本\\";

class DocumentStore {
 public:
  // A store that fetches into the folder given (ANSI path), creating it when
  // it is missing, and reaches the database through the link; removes the
  // temporary files and pending contents that processes which ended left
  // behind, and carries the folder's records over from the database once
  // (CacheRecords::CarryOver). Throws rt::Exception when the folder cannot
  // be made. A database that cannot be reached is not an error here: each
  // operation reaches for it again and fails then.
  DocumentStore(std::string_view ansi_cache_dir, DatabaseLink& link);
  // Ends this process's revisions.
  ~DocumentStore();

  // Stores a file as a new document and returns its number; nothing when
  // there is no such file. The document's file name is the file's name made
  // safe. Throws rt::Exception when the file cannot be read
  // to its end or changes while it is read, rt::EDatabaseError when the
  // database fails; nothing is stored then.
  std::optional<std::int32_t> Save(const std::string& ansi_file);

  // Makes a file the document's new content; the content it replaces stays
  // as a revision with its time, size and digest. The revisions that the
  // laboratory's retention gives up then go (retention.h): housekeeping,
  // which never fails the store. False when there is no
  // such document or file. Throws as Save, leaving the document as it was,
  // and rt::Exception when the file is a copy in the cache folder that was
  // fetched for another document. A copy in the cache folder is recorded as
  // holding the new content.
  bool Update(std::int32_t doc_id, const std::string& ansi_file);

  // What UpdateExpecting answers.
  struct UpdateOutcome {
    bool stored = false;
    // When nothing was stored because another content than the expected
    // one is current: that content's number (never 0) and who stored it,
    // where and when (the notice StoredMeanwhile gives).
    std::int64_t current = 0;
    std::string notice;
  };
  // As Update, but the file's content replaces only the expected one:
  // `expected` is a content's number, or 0 for the content the copy at the
  // path was fetched as (a file the store did not fetch for the document
  // expects none, and is stored as Update stores it). The current content
  // is compared before the file is read, and again in the transaction that
  // makes the new content current: another one made current meanwhile,
  // even while the file was being stored, stays current, and the new
  // content is removed at once. A file that holds the very bytes of the
  // current content replaces it whatever was expected: nothing is lost.
  UpdateOutcome UpdateExpecting(std::int32_t doc_id, const std::string& ansi_file, std::int64_t expected);

  // Deletes a document with every content it has had. False when there is
  // no such document. The cache folder is left alone: a copy there may hold
  // the user's unsaved work.
  bool Delete(std::int32_t doc_id);

  // Fetches a document's current content into the cache folder under its
  // stored file name (made safe) and returns the copy's path. A copy already
  // there that has the content's size and digest is kept as it is; another
  // file there is replaced only when nothing of it would be lost: it is a
  // copy the store put there that nobody changed since, or its bytes are a
  // content the store holds. Nothing when there is no such document, it has no
  // content, or the path would be longer than `max_path_length` bytes.
  // Throws EUnstoredEdits when the file there holds edits that were not
  // stored (or is not the store's), leaving it untouched; EDamagedContent
  // when the stored content does not match its digest (no copy is made
  // then); rt::Exception when the copy cannot be written; rt::EDatabaseError
  // when the database fails.
  std::optional<std::string> Fetch(std::int32_t doc_id, std::size_t max_path_length);

  // True when the file at the path is the document's copy in the cache
  // folder and holds edits that were not stored: the store fetched it for
  // this document and its content differs (size, then SHA-256) from what it
  // was fetched as and from every content the store holds. False for a
  // path outside the folder, a copy fetched for another document or not by
  // the store, an unchanged copy, and no document.
  // Throws as Fetch when the database or the file cannot be read.
  bool HoldsUnstoredEdits(std::int32_t doc_id, const std::string& ansi_path);

  // Revisions by several workstations (revisions.h): BeginRevision records
  // that this process revises the document and describes the other live
  // revisions of it (empty: none); EndRevision ends this process's.
  std::string BeginRevision(std::int32_t doc_id);
  void EndRevision(std::int32_t doc_id);

  // Whether storing the copy at the path as the document's content would
  // replace a content that was stored after the copy was fetched (by
  // another workstation, or by another copy): the notice that says who
  // stored it, where and when. Nothing for a path outside the cache folder,
  // a copy the store did not fetch for this document, and a copy that holds
  // the current content already.
  std::optional<std::string> StoredMeanwhile(std::int32_t doc_id, const std::string& ansi_path);

  // The history (document_versions.cpp). The document's finished
  // contents, newest first, numbered from 1 for the oldest, with what the
  // store keeps of them; nothing when there is no such document.
  std::optional<VersionList> Versions(std::int32_t doc_id);
  // Fetches one of the document's contents into the subfolder
  // kVersionsFolder of the cache folder, under the name "<stem> (版本 <n>,
  // <YYYY-MM-DD HH-MM>)<ext>" made safe, and returns the copy's path; as
  // Fetch, a copy there that holds the content is kept, and one holding
  // other bytes that are not stored is never replaced. The copy is recorded
  // in the folder's index under its name in the subfolder, which no copy
  // of the folder itself has, so it is never taken for the document's
  // copy (HoldsUnstoredEdits, StoredMeanwhile and Update look at the
  // folder's own files only). Nothing when the document has no such
  // content or the path would be longer than `max_path_length` bytes.
  // Throws as Fetch.
  std::optional<std::string> FetchVersion(std::int32_t doc_id, std::int64_t content_id, std::size_t max_path_length);
  // Makes one of the document's contents current again: its bytes are
  // read out (checked against its digest) and stored as the document's
  // new content, as Update stores a file (a pending content, then one last
  // transaction that keeps the replaced content as a revision), stamped
  // with this workstation, user and time and named as the restored
  // content's file. False when the document has no such content (or was
  // deleted meanwhile); true without storing when it is current already.
  // Throws as Update and Fetch.
  bool Restore(std::int32_t doc_id, std::int64_t content_id);

  const CacheFolder& Cache() const { return cache_; }

 private:
  // Update and UpdateExpecting: replacing whichever content is current
  // when `expected` is nothing.
  UpdateOutcome Update(std::int32_t doc_id, const std::string& ansi_file, std::optional<std::int64_t> expected);
  // Puts a copy of the content at the name (a path relative to the cache
  // folder) unless one is there, records it, and returns its path; ends
  // the snapshot the content was read in (Fetch).
  std::string PlaceCopy(ContentStorage& storage, rt::Transaction& snapshot, std::int32_t doc_id,
                        const StoredContent& content, const std::string& name);
  // The file name of a path directly in the cache folder; nothing for any
  // other path.
  std::optional<std::string> CachedName(const std::string& ansi_path) const;
  // Removes the pending contents of stores that ended (pending_content.h),
  // once for this store, before its first content is stored.
  void SweepBeforeStoring(ContentStorage& storage);
  // Removes the document's revisions that the laboratory's retention gives
  // up, after a content replaced another. Housekeeping: what fails is left
  // for the next store of the document, or for labdocs-admin prune.
  void GiveUpExpiredRevisions(ContentStorage& storage, std::int32_t doc_id) noexcept;

  CacheFolder cache_;
  CacheRecords records_;
  DatabaseLink& link_;
  Revisions revisions_;
  bool swept_ = false;
};

}  // namespace labdocs::labdoc
