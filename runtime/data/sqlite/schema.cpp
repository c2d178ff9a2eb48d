#include "runtime/data/sqlite/schema.h"

#include <sqlite3.h>

#include <iterator>
#include <string>

#include "runtime/data/sqlite/util.h"
#include "runtime/errors.h"

namespace rt::sqlite::schema {
namespace {

// Version 1. Texts compare without regard to case, like the host's database
// (NOCASE folds ASCII letters only; SQLite holds texts as UTF-8, where no
// byte of a Chinese character is an ASCII letter). Date-times are texts
// "YYYY-MM-DD HH:MM:SS.fff" in local time.
constexpr const char* kVersion1 = R"sql(
CREATE TABLE Pacs_MMCTreeViewConfig (
  TV_ID      INTEGER PRIMARY KEY,
  TV_Name    TEXT COLLATE NOCASE NOT NULL DEFAULT '',
  Parent     INTEGER,              -- TV_ID of the parent node, NULL at the top;
                                   -- numeric affinity lets Parent='5' match 5
  SubSysCode TEXT COLLATE NOCASE,  -- the subsystem that owns the node
  DllName    TEXT COLLATE NOCASE,  -- the plug-in file that serves the node
  Params     TEXT COLLATE NOCASE,  -- further parameter text for the plug-in
  Icon       TEXT COLLATE NOCASE,
  SortNo     INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX IX_Pacs_MMCTreeViewConfig_Parent ON Pacs_MMCTreeViewConfig(Parent);
CREATE INDEX IX_Pacs_MMCTreeViewConfig_TV_Name ON Pacs_MMCTreeViewConfig(TV_Name);

-- Document directories; DocType is the TV_Name of the category node.
CREATE TABLE Lab_List (
  TV_ID   INTEGER PRIMARY KEY,
  TV_Name TEXT COLLATE NOCASE,
  DocType TEXT COLLATE NOCASE
);

-- Documents; DocType is the TV_ID of the directory, as text.
CREATE TABLE RIS_DOC (
  ID        INTEGER PRIMARY KEY,
  LABDOC_ID INTEGER,
  DocType   TEXT COLLATE NOCASE,
  DESCS     TEXT COLLATE NOCASE,
  FstAuthor TEXT COLLATE NOCASE,
  Authors   TEXT COLLATE NOCASE,
  UserId    TEXT COLLATE NOCASE
);
CREATE INDEX IX_RIS_DOC_DocType ON RIS_DOC(DocType);
CREATE INDEX IX_RIS_DOC_LABDOC_ID ON RIS_DOC(LABDOC_ID);

-- Stored files. Document numbers are never reused (AUTOINCREMENT), so a
-- number left in a cache or an audit row never names another document. The
-- content lies in DB_FILE_CHUNK in pieces of bounded size, SEQ from 0.
CREATE TABLE DB_FILE_STORAGE (
  LABDOC_ID  INTEGER PRIMARY KEY AUTOINCREMENT,
  FILE_NAME  TEXT COLLATE NOCASE,
  STOREDTIME DATETIME,
  FILE_SIZE  INTEGER NOT NULL DEFAULT 0,
  SHA256     TEXT COLLATE NOCASE
);
CREATE TABLE DB_FILE_CHUNK (
  LABDOC_ID INTEGER NOT NULL,
  SEQ       INTEGER NOT NULL,
  DATA      BLOB NOT NULL,
  PRIMARY KEY (LABDOC_ID, SEQ)
);
CREATE TRIGGER TR_DB_FILE_STORAGE_Delete AFTER DELETE ON DB_FILE_STORAGE
BEGIN
  DELETE FROM DB_FILE_CHUNK WHERE LABDOC_ID = old.LABDOC_ID;
END;

-- Audit rows: which table row owns a stored file, and the last change.
CREATE TABLE DB_FILE_RECORD (
  ID            INTEGER PRIMARY KEY,
  FileTableName TEXT COLLATE NOCASE,
  FileTableID   INTEGER,
  LABDOC_ID     INTEGER,
  SRCFILENAME   TEXT COLLATE NOCASE,
  HOSTNAME      TEXT COLLATE NOCASE,
  USERID        TEXT COLLATE NOCASE,
  USERNAME      TEXT COLLATE NOCASE,
  MODIFYTIME    DATETIME
);
-- FileTableID first: serves both "FileTableName=... and FileTableID=..."
-- and the stamping update on FileTableID alone.
CREATE INDEX IX_DB_FILE_RECORD_FileTable ON DB_FILE_RECORD(FileTableID, FileTableName);
CREATE INDEX IX_DB_FILE_RECORD_LABDOC_ID ON DB_FILE_RECORD(LABDOC_ID);
)sql";

// Version 2: kept revisions. Every content the document store has held is a
// row of DB_FILE_CONTENT; a document's current content is its row with
// REPLACEDTIME NULL (at most one, by a partial unique index), and the
// contents it replaced keep their rows and chunks. DB_FILE_CHUNK is keyed by
// the content's id. Version-1 content that carries a digest becomes the
// current content of its document under a content id equal to the document
// number, so its chunks stay where they are; chunks of no such content could
// never be verified and are dropped. Deleting a document deletes all its
// contents, and deleting a content deletes its chunks.
constexpr const char* kVersion2 = R"sql(
CREATE TABLE DB_FILE_CONTENT (
  CONTENT_ID   INTEGER PRIMARY KEY AUTOINCREMENT,
  LABDOC_ID    INTEGER NOT NULL,
  FILE_NAME    TEXT COLLATE NOCASE,  -- the name of the file it was stored from
  STOREDTIME   DATETIME,
  FILE_SIZE    INTEGER NOT NULL DEFAULT 0,
  SHA256       TEXT COLLATE NOCASE,
  REPLACEDTIME DATETIME              -- NULL while it is the current content
);
CREATE INDEX IX_DB_FILE_CONTENT_LABDOC_ID ON DB_FILE_CONTENT(LABDOC_ID);
CREATE UNIQUE INDEX UX_DB_FILE_CONTENT_Current ON DB_FILE_CONTENT(LABDOC_ID) WHERE REPLACEDTIME IS NULL;
INSERT INTO DB_FILE_CONTENT(CONTENT_ID, LABDOC_ID, FILE_NAME, STOREDTIME, FILE_SIZE, SHA256)
  SELECT LABDOC_ID, LABDOC_ID, FILE_NAME, STOREDTIME, FILE_SIZE, SHA256 FROM DB_FILE_STORAGE WHERE SHA256 IS NOT NULL;
DELETE FROM DB_FILE_CHUNK WHERE LABDOC_ID NOT IN (SELECT CONTENT_ID FROM DB_FILE_CONTENT);
DROP TRIGGER TR_DB_FILE_STORAGE_Delete;
ALTER TABLE DB_FILE_CHUNK RENAME COLUMN LABDOC_ID TO CONTENT_ID;
CREATE TRIGGER TR_DB_FILE_STORAGE_Delete AFTER DELETE ON DB_FILE_STORAGE
BEGIN
  DELETE FROM DB_FILE_CONTENT WHERE LABDOC_ID = old.LABDOC_ID;
END;
CREATE TRIGGER TR_DB_FILE_CONTENT_Delete AFTER DELETE ON DB_FILE_CONTENT
BEGIN
  DELETE FROM DB_FILE_CHUNK WHERE CONTENT_ID = old.CONTENT_ID;
END;
)sql";

// Version 3: a content is stored in several transactions and becomes a
// document's content in one last transaction. Until then it is pending
// (PENDING = 1, STOREDTIME the time its storing began, LABDOC_ID 0 while
// its document does not exist yet): the one-current-content rule and the
// deletion of a document leave it alone, and readers never take it.
constexpr const char* kVersion3 = R"sql(
ALTER TABLE DB_FILE_CONTENT ADD COLUMN PENDING INTEGER NOT NULL DEFAULT 0;
DROP INDEX UX_DB_FILE_CONTENT_Current;
CREATE UNIQUE INDEX UX_DB_FILE_CONTENT_Current ON DB_FILE_CONTENT(LABDOC_ID)
  WHERE REPLACEDTIME IS NULL AND PENDING = 0;
DROP TRIGGER TR_DB_FILE_STORAGE_Delete;
CREATE TRIGGER TR_DB_FILE_STORAGE_Delete AFTER DELETE ON DB_FILE_STORAGE
BEGIN
  DELETE FROM DB_FILE_CONTENT WHERE LABDOC_ID = old.LABDOC_ID AND PENDING = 0;
END;
)sql";

// Version 4: housekeeping and the cache's provenance.
// - A pending content names its OWNER, a token under which the storing
//   process holds an advisory lock while it stores: a pending content whose
//   owner holds no lock was abandoned by a process that ended, and may be
//   removed at once. Pending contents are few, so a partial index finds them
//   without reading the others.
// - DB_FILE_CACHE records, for each copy a store put into a cache folder,
//   which document and which content it was fetched as (its size and
//   digest): a copy whose content differs from that holds edits not stored
//   yet, and a copy recorded for one document is never taken for another's.
//   A cache folder belongs to one workstation, so the workstation's name is
//   part of the key. Contents are found by their digest, to tell whether a
//   file's bytes are kept in the store.
constexpr const char* kVersion4 = R"sql(
ALTER TABLE DB_FILE_CONTENT ADD COLUMN OWNER TEXT;
CREATE INDEX IX_DB_FILE_CONTENT_Pending ON DB_FILE_CONTENT(STOREDTIME) WHERE PENDING = 1;
CREATE INDEX IX_DB_FILE_CONTENT_SHA256 ON DB_FILE_CONTENT(SHA256);
CREATE TABLE DB_FILE_CACHE (
  HOSTNAME    TEXT COLLATE NOCASE NOT NULL,
  CACHE_DIR   TEXT COLLATE NOCASE NOT NULL,
  FILE_NAME   TEXT COLLATE NOCASE NOT NULL,
  LABDOC_ID   INTEGER NOT NULL,
  CONTENT_ID  INTEGER NOT NULL,
  FILE_SIZE   INTEGER NOT NULL,
  SHA256      TEXT NOT NULL,
  FETCHEDTIME DATETIME,
  PRIMARY KEY (HOSTNAME, CACHE_DIR, FILE_NAME)
);
)sql";

// Version 5: what each cached copy was on its disk when the store recorded
// it (the device and file number, size, and modification and change times in
// nanoseconds since 1970; NULL when not known), so that a fetch that finds
// the copy still exactly so can answer without reading it again. Copies
// recorded before have none, and are checked by their digest.
constexpr const char* kVersion5 = R"sql(
ALTER TABLE DB_FILE_CACHE ADD COLUMN DISK_DEVICE INTEGER;
ALTER TABLE DB_FILE_CACHE ADD COLUMN DISK_FILE_NUMBER INTEGER;
ALTER TABLE DB_FILE_CACHE ADD COLUMN DISK_SIZE INTEGER;
ALTER TABLE DB_FILE_CACHE ADD COLUMN DISK_MODIFIED_NS INTEGER;
ALTER TABLE DB_FILE_CACHE ADD COLUMN DISK_CHANGED_NS INTEGER;
)sql";

// Version 6: the bytes of contents stored from now on lie in the content
// file (content_file.h), whose name DB_CONTENT_FILE gives. Removing a
// content lists it in DB_FILE_REMOVED_CONTENT, in the same transaction,
// until its chunks there are gone. A file that holds chunks keeps them in
// its DB_FILE_CHUNK, read and removed with their contents as before; one
// without any (a new file) drops the table, so that the name means the
// content file's table.
constexpr const char* kVersion6 = R"sql(
CREATE TABLE DB_CONTENT_FILE (NAME TEXT NOT NULL);
INSERT INTO DB_CONTENT_FILE(NAME) VALUES('labdoc-content-' || lower(hex(randomblob(8))) || '.db');
CREATE TABLE DB_FILE_REMOVED_CONTENT (CONTENT_ID INTEGER PRIMARY KEY);
CREATE TRIGGER TR_DB_FILE_CONTENT_Removed AFTER DELETE ON DB_FILE_CONTENT
BEGIN
  INSERT OR IGNORE INTO DB_FILE_REMOVED_CONTENT(CONTENT_ID) VALUES(old.CONTENT_ID);
END;
)sql";

// Version 7: workstations sharing a database.
// - Each content names who stored it (STOREDHOST, STOREDUSER), so that a
//   workstation about to store over a content stored since it fetched its
//   copy can tell its user who stored that one, and when.
// - DB_FILE_REVISING lists the revisions in progress: the document, who
//   revises it where and since when, under an OWNER token that the revising
//   process holds as long as it revises (as a pending content's owner, see
//   the store's owner_lock.h); a row whose owner has ended is no revision.
constexpr const char* kVersion7 = R"sql(
ALTER TABLE DB_FILE_CONTENT ADD COLUMN STOREDHOST TEXT COLLATE NOCASE;
ALTER TABLE DB_FILE_CONTENT ADD COLUMN STOREDUSER TEXT COLLATE NOCASE;
CREATE TABLE DB_FILE_REVISING (
  OWNER     TEXT NOT NULL,
  LABDOC_ID INTEGER NOT NULL,
  HOSTNAME  TEXT COLLATE NOCASE,
  USERID    TEXT COLLATE NOCASE,
  USERNAME  TEXT COLLATE NOCASE,
  SINCE     DATETIME NOT NULL,
  PRIMARY KEY (OWNER, LABDOC_ID)
);
CREATE INDEX IX_DB_FILE_REVISING_LABDOC_ID ON DB_FILE_REVISING(LABDOC_ID);
)sql";

// Version 8: the database and its content file know each other. The
// database's identity (DATABASE_ID, random) is made with this step, and the
// content file carries it too (content_file.h); FIRST_CONTENT_ID is the
// first content number whose chunks lie in the content file: the contents
// before it keep theirs in the database's own DB_FILE_CHUNK (a file of
// version 5 or before), or have none. The newest finished content with
// bytes is found through a partial index, so that attaching the content
// file can look it up at once.
constexpr const char* kVersion8 = R"sql(
ALTER TABLE DB_CONTENT_FILE ADD COLUMN DATABASE_ID TEXT;
ALTER TABLE DB_CONTENT_FILE ADD COLUMN FIRST_CONTENT_ID INTEGER NOT NULL DEFAULT 1;
UPDATE DB_CONTENT_FILE SET DATABASE_ID = lower(hex(randomblob(16)));
CREATE INDEX IX_DB_FILE_CONTENT_WithBytes ON DB_FILE_CONTENT(CONTENT_ID) WHERE PENDING = 0 AND FILE_SIZE > 0;
)sql";

// Version 9: how long the laboratory keeps the revisions of its documents,
// one row that the store reads whenever it replaces a content: every
// revision (both NULL, as every version before kept them), the last
// KEEP_LAST revisions of each document, or the revisions replaced in the
// last KEEP_DAYS days. The row is there from the start and is only ever
// updated, so that a copy of a database carries its setting over.
constexpr const char* kVersion9 = R"sql(
CREATE TABLE DB_FILE_RETENTION (
  ID        INTEGER PRIMARY KEY CHECK (ID = 1),
  KEEP_LAST INTEGER CHECK (KEEP_LAST > 0),
  KEEP_DAYS INTEGER CHECK (KEEP_DAYS > 0),
  CHECK (KEEP_LAST IS NULL OR KEEP_DAYS IS NULL)
);
INSERT INTO DB_FILE_RETENTION(ID) VALUES(1);
)sql";

// Whether a query (UTF-8) gives any row.
bool AnyRow(sqlite3* db, const std::string& sql) {
  sqlite::StatementPtr statement = sqlite::Prepare(db, sql);
  const int rc = sqlite3_step(statement.get());
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) sqlite::ThrowError(db);
  return rc == SQLITE_ROW;
}

// What a step does beyond its statements; `from` is the version the file
// had when this connection took its first step.
void AfterStep(sqlite3* db, int new_version, int from) {
  if (new_version == 6 && !AnyRow(db, "SELECT 1 FROM main.DB_FILE_CHUNK LIMIT 1"))
    sqlite::Exec(db, "DROP TRIGGER TR_DB_FILE_CONTENT_Delete; DROP TABLE main.DB_FILE_CHUNK;");
  if (new_version != 8) return;
  if (from <= 5) {
    // No content file has held anything yet: every content numbered so
    // far keeps its chunks in the database, or has none.
    sqlite::Exec(db, "UPDATE DB_CONTENT_FILE SET FIRST_CONTENT_ID = 1 + max("
                     "ifnull((SELECT seq FROM main.sqlite_sequence WHERE name = 'DB_FILE_CONTENT'), 0),"
                     "ifnull((SELECT max(CONTENT_ID) FROM main.DB_FILE_CONTENT), 0))");
  } else if (AnyRow(db, "SELECT 1 FROM main.sqlite_master WHERE type = 'table' AND name = 'DB_FILE_CHUNK'")) {
    // A file upgraded from version 5 before: the contents stored since
    // then went into the content file, the first of them after the last
    // that the database holds chunks of.
    sqlite::Exec(db, "UPDATE DB_CONTENT_FILE SET FIRST_CONTENT_ID = 1 + "
                     "ifnull((SELECT max(CONTENT_ID) FROM main.DB_FILE_CHUNK), 0)");
  }
}

// kSteps[v] upgrades version v to v + 1.
constexpr const char* kSteps[] = {kVersion1, kVersion2, kVersion3, kVersion4, kVersion5,
                                  kVersion6, kVersion7, kVersion8, kVersion9};
static_assert(std::size(kSteps) == kCurrentVersion);

bool IsEmpty(sqlite3* db) {
  sqlite::StatementPtr statement = sqlite::Prepare(db, "SELECT count(*) FROM sqlite_master");
  if (sqlite3_step(statement.get()) != SQLITE_ROW) sqlite::ThrowError(db);
  return sqlite3_column_int64(statement.get(), 0) == 0;
}

}  // namespace

int Version(sqlite3* db) {
  sqlite::StatementPtr statement = sqlite::Prepare(db, "PRAGMA user_version");
  if (sqlite3_step(statement.get()) != SQLITE_ROW) sqlite::ThrowError(db);
  return sqlite3_column_int(statement.get(), 0);
}

void Prepare(sqlite3* db) {
  int version = Version(db);
  if (version == kCurrentVersion) return;
  if (version > kCurrentVersion)
    throw EDatabaseError("Database error: the database has schema version " + std::to_string(version) +
                         ", newer than this program's " + std::to_string(kCurrentVersion));
  // Write-ahead logging and incremental vacuuming are lasting properties of
  // the file, set once while it is still empty (and outside any
  // transaction, as SQLite requires). The vacuum mode must come before the
  // first table: afterwards only a VACUUM of the whole file changes it. In
  // that mode pages that removed contents leave free can be given back to
  // the file system (PRAGMA incremental_vacuum) instead of staying in the
  // file for reuse.
  // Every version of the schema stamps its number with its tables, in one
  // transaction: a file with tables but no number is another program's.
  if (version == 0 && !IsEmpty(db))
    throw EDatabaseError("Database error: the file holds tables but no schema version; it is not this system's "
                         "database and is left as it is");
  if (version == 0) {
    sqlite::Exec(db, "PRAGMA auto_vacuum = INCREMENTAL");
    sqlite::Exec(db, "PRAGMA journal_mode=WAL");
  }
  int from = -1;  // the version of the first step this connection takes
  while (version < kCurrentVersion) {
    {
      sqlite::ImmediateTransaction step(db);
      version = Version(db);  // another connection may have upgraded meanwhile
      if (version < kCurrentVersion) {
        if (from < 0) from = version;
        sqlite::Exec(db, kSteps[version]);
        AfterStep(db, version + 1, from);
        sqlite::Exec(db, "PRAGMA user_version = " + std::to_string(version + 1));
      }
      step.Commit();
    }
    version = Version(db);
  }
}

}  // namespace rt::sqlite::schema
