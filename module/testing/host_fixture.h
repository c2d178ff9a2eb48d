// A host for the plug-in's tests: a fresh home folder with a real database
// file as the process's session, the host's environment, a scripted
// presenter, and a record of every statement the data service runs.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/data/sqlite/database.h"
#include "runtime/services/data_service.h"
#include "runtime/services/environment.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/platform/testing/test_support.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/application.h"
#include "runtime/ui/scripted_presenter.h"
#include "runtime/platform/platform.h"

namespace labdocs::testing {

// The folder the test program and the built libraries are in.
inline std::string BinFolder() { return rt::testing::PathUtf8(rt::testing::BinaryFolder()); }

// Points the host's library search at one folder for the life of the object.
class LibraryFolder {
 public:
  explicit LibraryFolder(const std::string& folder) : variable_("LABDOCS_DLL_PATH", folder) {}

 private:
  rt::testing::ScopedEnv variable_;
};

class HostFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::filesystem::temp_directory_path() / ("labdocs-host-" + std::to_string(::getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(home_);
    std::filesystem::create_directories(home_);
    SetSysCode("LIS_DIRECTOR");
    // The run's engine (runtime/data/testing/test_database.h).
    database_ = std::make_unique<rt::testing::TestDatabase>(rt::testing::EngineUnderTest(),
                                                            (home_ / "labdocs.db").string());
    ASSERT_FALSE(database_->Setting().empty());
    rt::OpenSession(database_->Setting());
    rt::Application().SetPresenter(&presenter_);
    rt::SetStatementMonitor([this](const std::string& sql) { statements_.push_back(sql); });
  }

  void TearDown() override {
    rt::SetStatementMonitor(nullptr);
    rt::Application().SetPresenter(nullptr);
    rt::CloseSession();
    database_.reset();
    rt::testing::RemoveAll(home_);
  }

  void SetSysCode(const std::string& code) {
    rt::HostEnvironment env = rt::DefaultEnvironment();
    env.base_dir = rt::platform::AnsiPath(home_) + "/";
    env.sys_code = code;
    env.user_id = "u01";
    env.user_name = "张三";
    env.computer_name = "LAB-PC1";
    rt::SetEnvironment(env);
  }

  static void Exec(const std::string& sql) { rt::CurrentDataSession().Execute(sql); }
  // A change of the schema (a table, an index, a trigger): its owner's to
  // make (runtime/data/testing/test_database.h), outside the session's
  // transactions and its writer lock.
  rt::DataSession& SchemaOwner() { return database_->Owner(); }
  void ChangeSchema(const std::string& sql) { SchemaOwner().ExecuteBound(sql, {}); }

  // A tree node of the host's view tree.
  static void AddNode(int id, const std::string& name, int parent) {
    Exec("Insert into Pacs_MMCTreeViewConfig(TV_ID,TV_Name,Parent,SubSysCode) Values(" + std::to_string(id) + ",'" +
         name + "'," + std::to_string(parent) + ",'LIS_DIRECTOR')");
  }
  static void AddDirectory(int id, const std::string& name, const std::string& category) {
    Exec("Insert into Lab_List(TV_ID,TV_Name,DocType) Values(" + std::to_string(id) + ",'" + name + "','" + category +
         "')");
  }
  // A document of a directory; with a file name it has a stored file.
  static void AddDocument(int id, int labdoc_id, const std::string& directory, const std::string& description,
                          const std::string& file_name = "") {
    Exec("Insert into RIS_DOC(ID,LABDOC_ID,DocType,DESCS) Values(" + std::to_string(id) + "," +
         std::to_string(labdoc_id) + ",'" + directory + "','" + description + "')");
    if (!file_name.empty())
      Exec("Insert into DB_FILE_STORAGE(LABDOC_ID,FILE_NAME,STOREDTIME) Values(" + std::to_string(labdoc_id) + ",'" +
           file_name + "',GetDate())");
  }
  static void AddAuditRow(int document_id, int labdoc_id, const std::string& time) {
    Exec("Insert into DB_FILE_RECORD(FileTableName,FileTableID,LABDOC_ID,SRCFILENAME,MODIFYTIME) Values('RIS_DOC'," +
         std::to_string(document_id) + "," + std::to_string(labdoc_id) + ",'x','" + time + "')");
  }

  std::unique_ptr<rt::testing::TestDatabase> database_;
  std::filesystem::path home_;
  rt::ScriptedPresenter presenter_;
  std::vector<std::string> statements_;
};

}  // namespace labdocs::testing
