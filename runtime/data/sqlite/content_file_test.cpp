// A database and its content file as one: files copied, restored or swapped
// apart are refused, naming both, and left exactly as they were; failures of
// the disk are said plainly.
#include "runtime/data/sqlite/content_file.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "runtime/data/sqlite/database.h"
#include "runtime/data/sqlite/util.h"
#include "runtime/data/test_folder.h"
#include "runtime/data/testing/test_database.h"

namespace rt::sqlite {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Stores a content as the document store does: its pending row committed
// first, then its chunk in the content file, then the row finished.
void StoreContent(Database& db, const std::string& bytes) {
  const std::int64_t id = std::get<std::int64_t>(
      db.QueryBound("INSERT INTO DB_FILE_CONTENT(LABDOC_ID, PENDING) VALUES(0, 1) RETURNING CONTENT_ID", {})
          .rows.at(0)
          .at(0));
  db.ExecuteBound("INSERT INTO content.DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) VALUES(?, 0, ?)",
                  {id, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
  db.ExecuteBound("UPDATE DB_FILE_CONTENT SET LABDOC_ID = ?, FILE_SIZE = ?, PENDING = 0 WHERE CONTENT_ID = ?",
                  {id, static_cast<std::int64_t>(bytes.size()), id});
}

// A home's database with its content file, made and filled in a folder of
// its own.
class Home {
 public:
  explicit Home(int contents) {
    Database db(database_);
    db.AttachContentFile();
    content_ = content_file::FilePath(db.Handle(), database_);
    for (int i = 0; i < contents; ++i) StoreContent(db, "content " + std::to_string(i));
  }
  const std::string& DatabasePath() const { return database_; }
  const std::string& ContentPath() const { return content_; }
  std::string ContentName() const { return fs::path(content_).filename().string(); }
  void Store(int contents) const {
    Database db(database_);
    db.AttachContentFile();
    for (int i = 0; i < contents; ++i) StoreContent(db, "later " + std::to_string(i));
  }

 private:
  testing::TestFolder folder_;
  std::string database_ = folder_.File("labdocs.db");
  std::string content_;
};

// Attaching the content file of the database at path: the error's message,
// or nothing when it was attached.
std::optional<std::string> AttachFailure(const std::string& path, sqlite::Failure* kind = nullptr) {
  Database db(path, Database::OpenMode::OpenExisting);
  try {
    db.AttachContentFile();
  } catch (const EDatabaseError& error) {
    if (kind != nullptr) *kind = sqlite::FailureOf(error);
    return std::string(error.what());
  }
  return std::nullopt;
}

TEST(ContentFileTest, AContentFileIsMadeOnlyForADatabaseThatRecordsNoContentsInIt) {
  // A new database: the content file is made with its tables and carries
  // the database's identity.
  testing::TestFolder folder;
  const std::string path = folder.File("new.db");
  Database db(path);
  const std::string content = content_file::FilePath(db.Handle(), path);
  EXPECT_FALSE(fs::exists(content));
  db.AttachContentFile();
  EXPECT_EQ(testing::QueryInteger(db, "PRAGMA content.user_version"), 2);
  EXPECT_EQ(db.QueryBound("SELECT DATABASE_ID FROM content.DB_CONTENT_DATABASE", {}).rows,
            db.QueryBound("SELECT DATABASE_ID FROM main.DB_CONTENT_FILE", {}).rows);
  EXPECT_EQ(content_file::NameBeside(path), fs::path(content).filename().string());
  EXPECT_EQ(content_file::NameBeside(folder.File("none.db")), "");

  // Stored contents whose documents are all gone: nothing is lost by a new
  // content file, but one went missing all the same, and is not made anew.
  StoreContent(db, "bytes");
  db.ExecuteBound("DELETE FROM DB_FILE_CONTENT", {});
  db.ExecuteBound("DETACH DATABASE content", {});
  fs::remove(content);
  EXPECT_TRUE(AttachFailure(path).has_value());
  EXPECT_FALSE(fs::exists(content));
}

// Each way the two files come apart, made from homes with contents: the
// attach is refused with a message that names both files by their full
// paths and says what happened, and both files stay exactly as they were.
TEST(ContentFileTest, FilesThatDoNotBelongTogetherAreRefusedNamingBoth) {
  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage += static_cast<char>((i * 131 + 17) % 256);
  struct Case {
    const char* name;
    // Puts a database and a content file into `folder` under the database's
    // name and its content file's; returns the content file's path.
    std::function<std::string(const testing::TestFolder& folder)> make;
    const char* says;
  };
  const Case cases[] = {
      {"only the database copied into a new folder",
       [](const testing::TestFolder& folder) {
         const Home home(2);
         fs::copy_file(home.DatabasePath(), folder.File("labdocs.db"));
         return folder.File(home.ContentName());
       },
       "is missing"},
      {"an empty content file",
       [](const testing::TestFolder& folder) {
         const Home home(1);
         fs::copy_file(home.DatabasePath(), folder.File("labdocs.db"));
         WriteBytes(folder.File(home.ContentName()), "");
         return folder.File(home.ContentName());
       },
       "is an empty file"},
      {"another home's content file renamed into place",
       [](const testing::TestFolder& folder) {
         const Home home(2), other(3);
         fs::copy_file(home.DatabasePath(), folder.File("labdocs.db"));
         fs::copy_file(other.ContentPath(), folder.File(home.ContentName()));
         return folder.File(home.ContentName());
       },
       "belongs to another database"},
      {"an older database restored beside the newer content file",
       [](const testing::TestFolder& folder) {
         const Home home(2);
         fs::copy_file(home.DatabasePath(), folder.File("labdocs.db"));
         home.Store(1);
         fs::copy_file(home.ContentPath(), folder.File(home.ContentName()));
         return folder.File(home.ContentName());
       },
       "is older than its content file"},
      {"an older content file restored beside the newer database",
       [](const testing::TestFolder& folder) {
         const Home home(2);
         fs::copy_file(home.ContentPath(), folder.File(home.ContentName()));
         home.Store(1);
         fs::copy_file(home.DatabasePath(), folder.File("labdocs.db"));
         return folder.File(home.ContentName());
       },
       "is older than its database"},
      {"a content file that is no database",
       [&](const testing::TestFolder& folder) {
         const Home home(1);
         fs::copy_file(home.DatabasePath(), folder.File("labdocs.db"));
         WriteBytes(folder.File(home.ContentName()), garbage);
         return folder.File(home.ContentName());
       },
       "is damaged"},
      {"a content file cut short",
       [](const testing::TestFolder& folder) {
         const Home home(3);
         fs::copy_file(home.DatabasePath(), folder.File("labdocs.db"));
         const std::string bytes = ReadBytes(home.ContentPath());
         WriteBytes(folder.File(home.ContentName()), bytes.substr(0, bytes.size() / 2));
         return folder.File(home.ContentName());
       },
       "is damaged"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::TestFolder folder;
    const std::string content = c.make(folder);
    const std::string database = folder.File("labdocs.db");
    const bool had_content = fs::exists(content);
    const std::string database_bytes = ReadBytes(database), content_bytes = ReadBytes(content);

    sqlite::Failure kind = sqlite::Failure::Other;
    const std::optional<std::string> failure = AttachFailure(database, &kind);
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find(c.says), std::string::npos) << *failure;
    EXPECT_NE(failure->find(database), std::string::npos) << *failure;
    EXPECT_NE(failure->find(content), std::string::npos) << *failure;
    EXPECT_EQ(kind, sqlite::Failure::ContentFile);
    EXPECT_EQ(fs::exists(content), had_content) << "no content file is made";
    EXPECT_TRUE(ReadBytes(content) == content_bytes) << "the content file was changed";
    EXPECT_TRUE(ReadBytes(database) == database_bytes) << "the database was changed";
  }

  // The control: both files copied together are one pair wherever they go.
  const Home home(2);
  const testing::TestFolder folder;
  fs::copy_file(home.DatabasePath(), folder.File("labdocs.db"));
  fs::copy_file(home.ContentPath(), folder.File(home.ContentName()));
  EXPECT_EQ(AttachFailure(folder.File("labdocs.db")), std::nullopt);
}

// A full disk (a file that may not grow past SQLite's page limit) and a
// connection that may not write are said plainly, naming the files; the
// kinds let a caller choose its advice.
TEST(ContentFileTest, AFullDiskAndAReadOnlyFileAreSaidPlainlyNamingTheFiles) {
  struct Case {
    sqlite::Failure kind;
    const char* says;
  };
  for (const Case& c :
       {Case{sqlite::Failure::DiskFull, "the disk is full: "}, Case{sqlite::Failure::ReadOnly, "read-only: "}}) {
    SCOPED_TRACE(c.says);
    const Home home(1);
    Database db(home.DatabasePath());
    db.AttachContentFile();
    if (c.kind == sqlite::Failure::DiskFull) {
      // Neither file may grow beyond the pages it has.
      for (const std::string schema : {"main", "content"})
        sqlite::Exec(db.Handle(), "PRAGMA " + schema + ".max_page_count = " +
                                      std::to_string(testing::QueryInteger(db, "PRAGMA " + schema + ".page_count")));
    } else {
      sqlite::Exec(db.Handle(), "PRAGMA query_only = 1");
    }
    for (const char* statement : {"INSERT INTO DB_FILE_RECORD(SRCFILENAME) SELECT hex(randomblob(20000))",
                                  "INSERT INTO content.DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) VALUES(1, 1, "
                                  "randomblob(200000))"}) {
      SCOPED_TRACE(statement);
      try {
        db.ExecuteBound(statement, {});
        ADD_FAILURE() << "written";
      } catch (const EDatabaseError& error) {
        const std::string message = error.what();
        EXPECT_EQ(sqlite::FailureOf(error), c.kind);
        EXPECT_EQ(message.rfind(std::string("Database error: ") + c.says + home.DatabasePath() +
                                    " and its content file " + home.ContentPath(),
                                0),
                  0u)
            << message;
      }
    }
  }
}

}  // namespace
}  // namespace rt::sqlite
