// The desktop host on a laboratory's server (--database), as a Windows
// workstation reaches one: the tests' server over the loopback address, in a
// schema of the test's own. The stage starts the server when it has one
// (tools/test-desktop.sh); without it the test is skipped.
#include "desktop/testing/gui_fixture.h"
#include "runtime/data/session.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/platform/testing/test_support.h"
#include "runtime/platform/wide.h"

namespace desktop::testing {
namespace {

class ServerGuiTest : public DesktopTest {
 protected:
  void SetUp() override {
    if (!rt::testing::GetEnv("LABDOCS_TEST_POSTGRES")) GTEST_SKIP() << "no tests' server (LABDOCS_TEST_POSTGRES)";
    database_ = std::make_unique<rt::testing::TestDatabase>(rt::Engine::Postgres, "");
    DesktopTest::SetUp();
  }
  void TearDown() override {
    DesktopTest::TearDown();
    database_.reset();
  }
  std::wstring HostOptions() const override {
    return L"--database \"" + rt::platform::Widen(CP_UTF8, database_->Setting()) + L"\"";
  }
  // A count on the server, read through a session of the test's own.
  std::int64_t Count(const std::string& sql) const {
    const std::unique_ptr<rt::DataSession> session = rt::Connect(database_->Setting(), rt::OpenMode::OpenExisting);
    return rt::testing::QueryInteger(*session, sql);
  }

  std::unique_ptr<rt::testing::TestDatabase> database_;
};

// An empty database on the server gets the demo, its documents stored
// through the document store, and the windows show the server's rows.
TEST_F(ServerGuiTest, TheWindowsShowTheServersDatabaseThatTheDemoFilled) {
  ASSERT_GT(Count("SELECT count(*) FROM DB_FILE_STORAGE WHERE SHA256 IS NOT NULL"), 0)
      << "the documents were not stored on the server";
  Host().OpenNode({L"文档管理", L"文档管理明细", L"2019年度"});
  EXPECT_EQ(Host().RowCount(), Count("SELECT count(*) FROM RIS_DOC WHERE DocType = '1'"));
  EXPECT_GT(Host().RowCount(), 0);
  // Nothing went into the home folder's own database file.
  EXPECT_FALSE(std::filesystem::exists(Home() / "labdocs.db"));
}

}  // namespace
}  // namespace desktop::testing
