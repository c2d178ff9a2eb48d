// For the store's tests: the library loaded by name, as its callers load it,
// against a real database file in a fresh folder that the process's database
// session holds open, with the cache folder inside the same folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <memory>
#include <string_view>
#include <vector>

#include "labdoc/api.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/platform/ansi_test_folder.h"

namespace labdocs::labdoc::testing {

// The library, loaded by name as its callers load it, and its entry points.
class LoadedStore : public DocStoreApi {
 public:
  LoadedStore();
  ~LoadedStore();
  LoadedStore(const LoadedStore&) = delete;
  LoadedStore& operator=(const LoadedStore&) = delete;

  // Whether the library is there with every entry point, optional ones too.
  bool Loaded() const { return HasAll(); }

 private:
  explicit LoadedStore(HMODULE library) : DocStoreApi(ResolveDocStoreApi(library)), library_(library) {}
  HMODULE library_ = nullptr;
};

// A status with the reason the library left for it, for test messages.
std::string Described(HRESULT status);

// The session's SQLite connection, for tests that reach under the store.
inline rt::sqlite::Database& SqliteSession() { return *rt::sqlite::AsSqlite(rt::CurrentDataSession()); }

// Content of a given size that differs from one seed to another.
std::string Content(std::size_t size, unsigned seed);

// SHA-256 of bytes, in lower-case hexadecimal.
std::string DigestOf(std::string_view bytes);

// The helper program (testing/fetch_helper.cpp), beside the test program.
std::filesystem::path HelperProgram();

// Whether a name in a cache folder is its index's or its index's journal's
// (cache_index.h).
bool IsIndexFile(std::string_view name);
// The names in a cache folder (ANSI path) as the file system gives them,
// sorted, the index's left out; none when there is no such folder.
std::vector<std::string> CacheEntries(const std::string& ansi_cache);

// The integer that a query (UTF-8) of a cache folder's index answers
// (rt::testing::QueryInteger), or a statement that changes the index.
std::int64_t IndexInteger(const std::string& ansi_cache, const std::string& sql);
void ChangeIndex(const std::string& ansi_cache, const std::string& sql);

// The engines a test of both runs on, and its parameter's name.
inline std::vector<rt::Engine> TestedEngines() { return rt::testing::BothEngines(); }
std::string EngineName(const ::testing::TestParamInfo<rt::Engine>& engine);

class StoreTest : public ::testing::Test {
 protected:
  // The engine of the session the store works on: the run's (a test of
  // both overrides it). SQLite's file in the test folder, or a schema of
  // the test's own on the tests' server.
  virtual rt::Engine TestedEngine() const { return rt::testing::EngineUnderTest(); }

  void SetUp() override;
  void TearDown() override;

  // Initialises the store with a cache folder (ANSI); the status.
  HRESULT InitWith(const std::string& ansi_cache);
  // Starts the store as a process that stores contents starts it:
  // initialised, then asked to store a file that is not there (nothing is
  // stored), which sweeps what stores that ended left. The status.
  HRESULT StartStoring(const std::string& ansi_cache);

  // Writes a file (ANSI path relative to the test folder, folders made as
  // needed) and returns its ANSI path.
  std::string WriteSource(std::string_view ansi_name, std::string_view bytes);
  // The content of a file by its ANSI path; empty when it cannot be read.
  std::string ReadAnsi(const std::string& ansi_path) const;

  // Stores a file and expects a new number.
  std::int32_t Save(const std::string& ansi_path);
  // Fetches a document and expects a path.
  std::string Fetch(std::int32_t doc_id);
  // Fetches with a buffer of the given size; the status, *ok and the text
  // in the buffer.
  HRESULT Get(std::int32_t doc_id, std::uint8_t& ok, std::string& path);

  // The session's database as rt::Connect and LABDOCS_DATABASE name it.
  const std::string& Setting() const { return test_database_->Setting(); }
  // Whether the run is on the server: tests that reach into SQLite's own
  // files or functions skip then, saying kSqliteOnly.
  static bool OnServer() { return rt::testing::EngineUnderTest() != rt::Engine::Sqlite; }
  static constexpr const char* kSqliteOnly = "it reaches into SQLite's own files or functions";

  // The number of rows a query (SQLite, UTF-8) counts on the session.
  std::int64_t Count(const std::string& sql);

  rt::testing::AnsiTestFolder folder_;
  std::string database_;  // native path
  std::string cache_;     // ANSI, ends with '\'
  LoadedStore store_;
  bool initialised_ = false;
  std::shared_ptr<rt::testing::TestDatabase> test_database_;  // the session's database
};

}  // namespace labdocs::labdoc::testing
