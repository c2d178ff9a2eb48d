#include "labdoc/testing/store_fixture.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <vector>

#include "labdoc/cache_index.h"
#include "labdoc/sha256.h"
#include "runtime/data/sqlite/util.h"
#include "runtime/ole/error_info.h"
#include "runtime/sysutils.h"
#include "runtime/platform/testing/test_support.h"

namespace labdocs::labdoc::testing {

LoadedStore::LoadedStore() : LoadedStore(LoadLibraryA(kDocStoreLibrary)) {}

LoadedStore::~LoadedStore() {
  if (library_ != nullptr) FreeLibrary(library_);
}

std::string Described(HRESULT status) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(status));
  return std::string("status ") + hex + " " + rt::TakeErrorInfo();
}

std::string Content(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator());
  return bytes;
}

std::string DigestOf(std::string_view bytes) {
  Sha256 sha;
  sha.Update(bytes.data(), bytes.size());
  return sha.HexDigest();
}

std::filesystem::path HelperProgram() {
  const char* bin = std::getenv("LABDOCS_TEST_BIN");
  const std::filesystem::path folder = bin != nullptr ? std::filesystem::path(bin)
                                                      : std::filesystem::read_symlink("/proc/self/exe").parent_path();
  return folder / "labdoc_fetch_helper";
}

bool IsIndexFile(std::string_view name) { return name.substr(0, kCacheIndexName.size()) == kCacheIndexName; }

std::vector<std::string> CacheEntries(const std::string& ansi_cache) {
  std::vector<std::string> names;
  std::error_code missing;
  for (const auto& entry : std::filesystem::directory_iterator(rt::platform::NativePath(ansi_cache), missing))
    if (!IsIndexFile(entry.path().filename().string())) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

// The index's own connection, for the length of a test's question.
struct IndexConnection {
  explicit IndexConnection(const std::string& ansi_cache) {
    const std::string path = rt::platform::SqliteFileName(CacheIndex::PathIn(ansi_cache));
    EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK) << path;
    sqlite3_busy_timeout(db, 10'000);
  }
  ~IndexConnection() { sqlite3_close(db); }
  IndexConnection(const IndexConnection&) = delete;
  IndexConnection& operator=(const IndexConnection&) = delete;
  sqlite3* db = nullptr;
};

}  // namespace

std::int64_t IndexInteger(const std::string& ansi_cache, const std::string& sql) {
  IndexConnection index(ansi_cache);
  rt::sqlite::StatementPtr query = rt::sqlite::Prepare(index.db, sql);
  if (sqlite3_step(query.get()) != SQLITE_ROW) throw rt::Exception("no answer from the index: " + sql);
  return sqlite3_column_int64(query.get(), 0);
}

void ChangeIndex(const std::string& ansi_cache, const std::string& sql) {
  IndexConnection index(ansi_cache);
  rt::sqlite::Exec(index.db, sql);
}

std::string EngineName(const ::testing::TestParamInfo<rt::Engine>& engine) {
  return rt::testing::EngineName(engine.param);
}

void StoreTest::SetUp() {
  // No test starts the desktop's own program; those that open documents
  // name their own.
  rt::testing::SetEnv("LABDOCS_OPEN_COMMAND", "true");
  ASSERT_TRUE(store_.Loaded()) << "LAB_DOC cannot be loaded by name";
  database_ = folder_.Native("labdocs.db").string();
  test_database_ = std::make_shared<rt::testing::TestDatabase>(TestedEngine(), database_);
  ASSERT_FALSE(test_database_->Setting().empty());
  rt::OpenSession(test_database_->Setting());
  cache_ = folder_.Ansi("DocCache\\");
  ASSERT_EQ(InitWith(cache_), S_OK);
}

void StoreTest::TearDown() {
  if (initialised_) {
    EXPECT_EQ(store_.FreeLabDoc(), S_OK);
  }
  rt::CloseSession();
  test_database_.reset();
  rt::testing::SetEnv("LABDOCS_OPEN_COMMAND", std::nullopt);
}

HRESULT StoreTest::InitWith(const std::string& ansi_cache) {
  std::vector<char> buffer(kCacheDirBufferSize, '\0');
  EXPECT_LT(ansi_cache.size(), buffer.size());
  ansi_cache.copy(buffer.data(), buffer.size() - 1);
  std::int32_t reserved = 0;
  const HRESULT status = store_.InitLabDoc(buffer.data(), &reserved);
  initialised_ = status >= 0;
  if (status < 0) ADD_FAILURE() << "InitLabDoc: " << Described(status);
  return status;
}

HRESULT StoreTest::StartStoring(const std::string& ansi_cache) {
  const HRESULT status = InitWith(ansi_cache);
  if (status < 0) return status;
  std::int32_t number = -1;
  std::uint8_t ok = 0xAA;
  const std::string missing = folder_.Ansi("no such file.txt");
  const HRESULT stored = store_.SaveLabDoc(missing.c_str(), &number, &ok);
  EXPECT_EQ(ok, 0) << "a file that is not there was stored";
  return stored;
}

std::string StoreTest::WriteSource(std::string_view ansi_name, std::string_view bytes) {
  const std::string path = folder_.Ansi(ansi_name);
  EXPECT_TRUE(rt::ForceDirectories(rt::ExtractFilePath(path)));
  folder_.Write(ansi_name, bytes);
  return path;
}

std::string StoreTest::ReadAnsi(const std::string& ansi_path) const {
  std::ifstream in(rt::platform::NativePath(ansi_path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::int32_t StoreTest::Save(const std::string& ansi_path) {
  std::vector<char> buffer(kFilePathBufferSize, '\0');
  ansi_path.copy(buffer.data(), buffer.size() - 1);
  std::int32_t doc_id = -7;
  std::uint8_t ok = 0;
  const HRESULT status = store_.SaveLabDoc(buffer.data(), &doc_id, &ok);
  EXPECT_EQ(status, S_OK) << Described(status);
  EXPECT_EQ(ok, 1);
  EXPECT_GE(doc_id, 1);
  return doc_id;
}

HRESULT StoreTest::Get(std::int32_t doc_id, std::uint8_t& ok, std::string& path) {
  std::vector<char> buffer(kFilePathBufferSize, '\0');
  char* target = buffer.data();
  ok = 0xAA;
  const HRESULT status = store_.GetLabDoc(doc_id, &target, &ok);
  EXPECT_EQ(target, buffer.data()) << "the library moved the caller's pointer";
  path.assign(buffer.begin(), std::find(buffer.begin(), buffer.end(), '\0'));
  return status;
}

std::string StoreTest::Fetch(std::int32_t doc_id) {
  std::uint8_t ok = 0;
  std::string path;
  const HRESULT status = Get(doc_id, ok, path);
  EXPECT_EQ(status, S_OK) << Described(status);
  EXPECT_EQ(ok, 1);
  return path;
}

std::int64_t StoreTest::Count(const std::string& sql) {
  const rt::RowSet rows = rt::CurrentDataSession().QueryBound(sql, {});
  return rows.rows.empty() ? -1 : std::get<std::int64_t>(rows.rows[0][0]);
}

}  // namespace labdocs::labdoc::testing
