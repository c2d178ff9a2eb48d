// For the administration program's tests: a console home with the demo
// (made by the console itself, its documents stored by the real store),
// on either engine, with what the tests add to it, and the program run on
// it as a person runs it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console/testing/console_run.h"
#include "labdoc/api.h"
#include "runtime/data/session.h"
#include "runtime/data/testing/test_database.h"

namespace admin::testing {

struct AdminRun {
  int exit_code = -1;
  std::string out, err;  // UTF-8
  // The first line of standard output that begins with `start`; empty when
  // there is none.
  std::string LineStarting(const std::string& start) const;
};

// The documents the tests add to the demo's seven (numbers as the demo's
// store gives them: the demo's documents are 1 to 7, its records 1 to 7).
// Document 1 (实验室安全手册.txt in 2019年度) gets a new content of three
// chunks, so that its first content is a kept revision; document 8, in a
// directory of its own (8), has names whose characters' second bytes are
// ASCII punctuation ('\\', '|', '}').
inline constexpr std::int64_t kRevisedDocument = 1;
inline constexpr std::int64_t kAddedDocument = 8;
inline constexpr std::int64_t kAddedDirectory = 8;
inline constexpr const char* kAddedFileName = u8"淺析報告 倉庫[亅]乗.txt";
inline constexpr const char* kAddedDirectoryName = u8"設備 億[乗]";

class DemoHomeTest : public ::testing::TestWithParam<rt::Engine> {
 protected:
  void SetUp() override { MakeHome(); }
  void TearDown() override { LeaveHome(); }
  // A fresh home in place of the test's, for tables of cases.
  void Remake() {
    LeaveHome();
    MakeHome();
  }

  // Runs labdocs-admin on the home (and the server's schema) with the
  // arguments after its database options.
  AdminRun Admin(const std::vector<std::string>& arguments);
  // Runs the console on the home with a script.
  console::testing::ConsoleRun Console(const std::string& script);

  // The session's database, as the program's sees it.
  rt::DataSession& Db() { return rt::CurrentDataSession(); }
  // The chunks' table as the session names it.
  std::string Chunks() const;
  // A document's current content, and its first kept one.
  std::int64_t CurrentContent(std::int64_t labdoc_id);
  std::int64_t KeptContent(std::int64_t labdoc_id);
  // Flips one byte of a chunk.
  void FlipByte(std::int64_t content_id, std::int64_t seq);

  // Stores a file (GBK name, in the temporary folder) through the store:
  // a new document, or a new content of document `update`; its number, 0
  // when it was not stored.
  std::int32_t Store(const std::string& gbk_name, const std::string& bytes, std::int32_t update = 0);

  std::unique_ptr<console::testing::TempFolder> folder_;
  std::unique_ptr<rt::testing::TestDatabase> server_;
  std::vector<std::string> database_options_;

 private:
  void MakeHome();
  void LeaveHome();

  HMODULE library_ = nullptr;
  labdocs::DocStoreApi store_;
};

std::string EngineName(const ::testing::TestParamInfo<rt::Engine>& engine);

}  // namespace admin::testing
