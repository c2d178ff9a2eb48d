// Another workstation's owner token, live until Stop: a process's lock
// file on SQLite (in the owners' folder beside the database file), on the
// server a key held by a connection of another person's login, or, in the
// older form of the token, a connection of the test's own login
// (labdoc/owner_lock.h). For tests of what is done with the rows of owners
// that live or have ended.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "labdoc/owner_lock.h"
#include "labdoc/server_storage.h"
#include "runtime/data/session.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/file_lock.h"
#include "runtime/platform/sleep.h"
#include "runtime/sysutils.h"
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
#include "runtime/data/postgres/testing/test_server.h"
#endif

namespace labdocs::labdoc::testing {

class OtherOwner {
 public:
  // The form of a server's token.
  enum class Form { Key, Connection };

  // owners_folder: ANSI, ending in a separator; token: the owner's on
  // SQLite (16 hexadecimal digits).
  OtherOwner(rt::Engine engine, const std::string& owners_folder, const std::string& token = "00000000000000b1",
             [[maybe_unused]] Form form = Form::Key) {
    if (engine == rt::Engine::Sqlite) {
      token_ = token;
      EXPECT_TRUE(rt::ForceDirectories(owners_folder));
      EXPECT_EQ(lock_.Create(owners_folder + token_ + ".lock"), rt::FileLock::Outcome::Taken);
      return;
    }
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
    const std::string conninfo = rt::postgres::testing::ServerConnectionString();
    if (form == Form::Connection) {
      // The server shows a connection's start to its own login only.
      connection_ = std::make_unique<rt::postgres::Connection>(
          rt::postgres::testing::AsLogin(conninfo, rt::testing::StaffLogin(1)));
      token_ = std::get<std::string>(
          connection_
              ->QueryText("SELECT " + ConnectionTokenOf("") + " FROM pg_stat_activity WHERE pid = pg_backend_pid()")
              ->rows.at(0)
              .at(0));
    } else {
      connection_ = std::make_unique<rt::postgres::Connection>(
          rt::postgres::testing::AsLogin(conninfo, rt::testing::StaffLogin(2)));
      const std::int64_t key = (std::int64_t{std::random_device()()} << 31) | 0x5EED;
      connection_->HoldKey(key);
      token_ = ServerToken(key);
    }
    pid_ = std::get<std::int64_t>(connection_->QueryText("SELECT pg_backend_pid()")->rows.at(0).at(0));
#endif
  }
  const std::string& Token() const { return token_; }

  // The owner ends as a workstation that dies: its lock goes with its
  // process, its connection with it. (The server's backend ends a moment
  // after its client; this waits for it.)
  void Stop() {
    lock_.Release();
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
    if (!connection_) return;
    connection_.reset();
    for (int i = 0; i < 100; ++i) {
      if (rt::CurrentDataSession().QueryBound("SELECT 1 FROM pg_stat_activity WHERE pid = ?", {pid_}).rows.empty())
        return;
      rt::platform::SleepFor(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "the server still lists the ended connection";
#endif
  }

 private:
  std::string token_;
  rt::FileLock lock_;
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
  std::unique_ptr<rt::postgres::Connection> connection_;
  std::int64_t pid_ = 0;
#endif
};

}  // namespace labdocs::labdoc::testing
