// The store's storage (content_storage.h): chosen by the session's kind,
// never taken for another engine's, and made once for each session that the
// store links.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "labdoc/content_storage.h"
#include "labdoc/database_link.h"
#include "labdoc/testing/store_fixture.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/platform/ansi_test_folder.h"
#include "runtime/platform/platform.h"

namespace labdocs::labdoc::testing {
namespace {

using rt::Engine;

// A session that wraps another and says it is of the kind given, as a
// test's wrapper that injects faults would. It runs no transaction.
class WrappedSession : public rt::DataSession {
 public:
  WrappedSession(rt::DataSession& inner, Engine kind) : inner_(inner), kind_(kind) {}

  Engine Kind() const override { return kind_; }
  std::string Shown() const override { return inner_.Shown(); }
  std::string Identity() const override { return inner_.Identity(); }
  std::int64_t Execute(std::string_view tsql) override { return inner_.Execute(tsql); }
  rt::RowSet Query(std::string_view tsql) override { return inner_.Query(tsql); }
  rt::RowSet QueryReadOnly(std::string_view tsql) override { return inner_.QueryReadOnly(tsql); }
  std::int64_t ExecuteBound(std::string_view sql, const std::vector<rt::Value>& params) override {
    return inner_.ExecuteBound(sql, params);
  }
  rt::RowSet QueryBound(std::string_view sql, const std::vector<rt::Value>& params) override {
    return inner_.QueryBound(sql, params);
  }
  std::vector<std::string> TableColumns(std::string_view table) override { return inner_.TableColumns(table); }
  std::int64_t LastKey(std::string_view table, std::string_view key) override { return inner_.LastKey(table, key); }
  void KeepKeysPast(std::string_view table, std::string_view key, std::int64_t last) override {
    inner_.KeepKeysPast(table, key, last);
  }
  std::uint64_t RoundTrips() const override { return inner_.RoundTrips(); }

 protected:
  bool InTransaction() const override { return false; }
  void Begin(bool) override { throw rt::EDatabaseError("the wrapper runs no transaction"); }
  void Control(const char*) override { throw rt::EDatabaseError("the wrapper runs no transaction"); }

 private:
  rt::DataSession& inner_;
  const Engine kind_;
};

class StorageTest : public ::testing::Test {
 protected:
  // The owners' folder of a database file of the test folder on the
  // engine, and the one that a storage names (without its trailing
  // separator): none on a server.
  std::filesystem::path OwnersOf(Engine engine, const std::string& file) const {
    return engine == Engine::Sqlite ? folder_.Native(file + "-labdoc-locks") : std::filesystem::path();
  }
  static std::filesystem::path OwnersOf(const ContentStorage& storage) {
    const std::string& folder = storage.OwnerFolder();
    return folder.empty() ? std::filesystem::path() : rt::platform::NativePath(folder.substr(0, folder.size() - 1));
  }

  rt::testing::AnsiTestFolder folder_;
};

// Each engine's session gets its engine's storage; one that says it is
// SQLite but is not SQLite's own connection is refused, whatever it wraps,
// rather than served as a server.
TEST_F(StorageTest, ASessionGetsTheStorageOfItsKindAndAWrapperThatSaysSqliteIsRefused) {
  for (const Engine engine : TestedEngines()) {
    SCOPED_TRACE(rt::testing::EngineName(engine));
    rt::testing::TestDatabase database(engine, folder_.Native("kind.db").string());
    const std::unique_ptr<rt::DataSession> session = rt::Connect(database.Setting());
    const std::unique_ptr<ContentStorage> storage = MakeContentStorage(*session);
    EXPECT_EQ(&storage->Session(), session.get());
    EXPECT_EQ(storage->OwnersHoldKeys(), engine == Engine::Postgres);
    EXPECT_EQ(OwnersOf(*storage), OwnersOf(engine, "kind.db"));

    WrappedSession says_sqlite(*session, Engine::Sqlite);
    try {
      MakeContentStorage(says_sqlite);
      ADD_FAILURE() << "a wrapper that says SQLite was given a storage";
    } catch (const rt::EDatabaseError& error) {
      EXPECT_NE(std::string(error.what()).find("SQLite"), std::string::npos) << error.what();
    }
  }
}

// The store keeps one storage for the session it links, and makes another
// when the host has closed its session and opened another, of either
// engine, perhaps at the same address.
TEST_F(StorageTest, TheLinkMakesTheStorageOnceForEachSession) {
  for (const Engine from : TestedEngines()) {
    for (const Engine to : TestedEngines()) {
      SCOPED_TRACE(rt::testing::EngineName(from) + " then " + rt::testing::EngineName(to));
      const std::string first_file = rt::testing::EngineName(from) + "-" + rt::testing::EngineName(to) + "-1.db";
      const std::string second_file = rt::testing::EngineName(from) + "-" + rt::testing::EngineName(to) + "-2.db";
      rt::testing::TestDatabase first(from, folder_.Native(first_file).string());
      rt::testing::TestDatabase second(to, folder_.Native(second_file).string());
      DatabaseLink link;
      rt::OpenSession(first.Setting());
      ContentStorage& storage = link.Get();
      EXPECT_EQ(&storage.Session(), &rt::CurrentDataSession());
      EXPECT_EQ(&link.Get(), &storage) << "made again for the same session";
      EXPECT_EQ(storage.OwnersHoldKeys(), from == Engine::Postgres);

      rt::CloseSession();
      rt::OpenSession(second.Setting());
      ContentStorage& next = link.Get();
      EXPECT_EQ(&next.Session(), &rt::CurrentDataSession());
      EXPECT_EQ(next.OwnersHoldKeys(), to == Engine::Postgres);
      EXPECT_EQ(OwnersOf(next), OwnersOf(to, second_file));
      rt::CloseSession();
    }
  }
}

}  // namespace
}  // namespace labdocs::labdoc::testing
