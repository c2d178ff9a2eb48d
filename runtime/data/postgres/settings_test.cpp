// What each connection pins, whatever the server's, the role's or the
// setting's own defaults say: dates the store reads, texts with backslashes
// as they are, GetDate() in the workstation's time, the workstation's name
// in the server's list, keepalives and a bound on a transaction left idle
// (unless the laboratory set them tighter).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>

#include "runtime/data/datetime_text.h"
#include "runtime/data/postgres/database.h"
#include "runtime/data/postgres/testing/test_server.h"
#include "runtime/platform/sleep.h"
#include "runtime/services/environment.h"

namespace rt::postgres {
namespace {

std::int64_t Integer(Database& db, const std::string& tsql) {
  return std::get<std::int64_t>(db.Query(tsql).rows.at(0).at(0));
}

std::string Text(Database& db, const std::string& tsql) {
  return std::get<std::string>(db.Query(tsql).rows.at(0).at(0));
}

TEST(PinnedSettingsTest, TheServersOwnDefaultsChangeNothingTheSystemReads) {
  const std::string server = testing::ServerConnectionString();
  ASSERT_FALSE(server.empty());
  const struct {
    const char* what;
    const char* options;  // as a laboratory's setting might give them
    std::function<void(Database&)> check;
  } cases[] = {
      {"a server in another time zone", "-c TimeZone=Pacific/Chatham",
       [](Database& db) {
         // GetDate() is the workstation's local time, as the store's own times are.
         const DateTime server_now = std::get<DateTime>(db.Query("Select GetDate() as now").rows.at(0).at(0));
         const DateTime local_now = *datetime::FromText(datetime::NowText());
         EXPECT_LT(std::abs(server_now.days - local_now.days) * 86400.0, 5.0)
             << datetime::ToText(server_now) << " against " << datetime::ToText(local_now);
       }},
      {"dates written day first", "-c DateStyle=SQL,DMY",
       [](Database& db) {
         EXPECT_EQ(db.Query("Select Cast('2019-06-12 14:05:00.123' as timestamp(3)) as t").rows.at(0).at(0),
                   Value(datetime::Encode({2019, 6, 12, 14, 5, 0, 123})));
       }},
      {"backslashes as escapes", "-c standard_conforming_strings=off",
       [](Database& db) {
         db.Execute("Create Temp Table 路径 (p text)");
         db.Execute("Insert into 路径 Values('C:\\new\\table\\x41')");
         EXPECT_EQ(Text(db, "Select p From 路径"), "C:\\new\\table\\x41");
         EXPECT_EQ(Integer(db, "Select count(*) From 路径 Where p = 'C:\\new\\table\\x41'"), 1);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      Database db(server + (*c.options ? std::string(" options='") + c.options + "'" : std::string()));
      c.check(db);
    } catch (const EDatabaseError& error) {
      ADD_FAILURE() << error.what();
    }
  }
  // The workstation and its user in the server's list of connections, in
  // printable ASCII, at most 63 bytes of whole characters.
  const HostEnvironment saved = Environment();
  const struct {
    const char* computer;
    const char* user;
    const char* shown;
  } names[] = {
      {"LAB-PC3", "zhang", "labdocs LAB-PC3 zhang"},
      {"检验科 1", "张三", "labdocs %E6%A3%80%E9%AA%8C%E7%A7%91%201 %E5%BC%A0%E4%B8%89"},
      {"LAB-PC3", "系统管理员系统管理员", "labdocs LAB-PC3 %E7%B3%BB%E7%BB%9F%E7%AE%A1%E7%90%86%E5%91%98"},
  };
  for (const auto& n : names) {
    HostEnvironment environment = saved;
    environment.computer_name = n.computer;
    environment.user_name = n.user;
    SetEnvironment(environment);
    Database db(server);
    EXPECT_EQ(Text(db, "Select application_name From pg_stat_activity Where pid = pg_backend_pid()"), n.shown);
  }
  SetEnvironment(saved);
  // A setting that names its application keeps its name.
  Database named(server + " application_name=lab-console");
  EXPECT_EQ(Text(named, "Select application_name From pg_stat_activity Where pid = pg_backend_pid()"), "lab-console");
}

// The server's keepalives and its bound on an idle transaction: the
// system's, or the laboratory's own where they are tighter (0 is none).
// Over TCP: a Unix socket has no keepalives.
TEST(PinnedSettingsTest, TimeoutsAreTheSystemsUnlessTheLaboratorySetTighterOnes) {
  const std::string server = testing::ServerConnectionString("LABDOCS_TEST_POSTGRES_TCP");
  if (server.empty()) GTEST_SKIP() << "no tests' server over TCP (LABDOCS_TEST_POSTGRES_TCP)";
  const std::string kSettings =
      "Select (Select setting From pg_settings Where name = 'idle_in_transaction_session_timeout') || ' ' ||"
      " (Select setting From pg_settings Where name = 'tcp_keepalives_idle') || ' ' ||"
      " (Select setting From pg_settings Where name = 'tcp_keepalives_interval') || ' ' ||"
      " (Select setting From pg_settings Where name = 'tcp_keepalives_count') || ' ' ||"
      " (Select setting From pg_settings Where name = 'tcp_user_timeout') as settings";
  const struct {
    const char* options;
    const char* settings;  // idle transaction ms, keepalives idle s, interval s, count, user timeout ms
  } cases[] = {
      {"", "60000 20 10 3 60000"},
      {"-c idle_in_transaction_session_timeout=2000", "2000 20 10 3 60000"},
      {"-c idle_in_transaction_session_timeout=0", "60000 20 10 3 60000"},
      {"-c idle_in_transaction_session_timeout=600000", "60000 20 10 3 60000"},
      {"-c tcp_keepalives_idle=5 -c tcp_keepalives_count=9", "60000 5 10 3 60000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    Database db(server + (*c.options ? std::string(" options='") + c.options + "'" : std::string()));
    EXPECT_EQ(Text(db, kSettings), c.settings);
  }
}

// A workstation that stops inside a writing transaction, its connection
// open: the server ends the transaction, and another workstation writes.
TEST(PinnedSettingsTest, AWriterLeftIdleInItsTransactionReleasesTheWriterLock) {
  const std::string server = testing::ServerConnectionString();
  ASSERT_FALSE(server.empty());
  Database stopped(server + " options='-c idle_in_transaction_session_timeout=500'");
  testing::TestSchema schema(stopped.Link());
  Database writer(server + " options='-csearch_path=" + schema.Name() + ",public'");
  stopped.Execute("Create Table t (n integer)");
  Transaction holding(stopped);  // the writer lock, then nothing more
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(writer.Execute("Insert into t Values(1)"), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(Connection::kBusyWaitSeconds));
  EXPECT_THROW(holding.Commit(), EDatabaseError) << "its transaction was ended";
}

}  // namespace
}  // namespace rt::postgres
