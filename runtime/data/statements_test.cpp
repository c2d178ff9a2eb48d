// The statements the documents plug-in composes, run against a real database
// file with rows a laboratory would have.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "runtime/data/datetime_text.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/test_folder.h"
#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt {
namespace {

// Standard SQL quoting: the value between single quotes, quotes doubled.
std::string Q(const std::string& value) {
  std::string quoted = "'";
  for (char c : value) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

std::int64_t Count(sqlite::Database& db, const std::string& query) {
  return std::get<std::int64_t>(db.Query(query).rows.at(0).at(0));
}

DateTime At(const char* text) { return *datetime::FromText(text); }

class Statements : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Execute(
        "insert into Pacs_MMCTreeViewConfig(TV_ID,TV_Name,Parent,SubSysCode) values(5,'文档管理',null,'LIS_DIRECTOR')"
        " insert into Pacs_MMCTreeViewConfig(TV_ID,TV_Name,Parent,SubSysCode) values(6,'质量文档',5,'LIS_DIRECTOR')"
        " insert into Pacs_MMCTreeViewConfig(TV_ID,TV_Name,Parent,SubSysCode) values(7,'论文管理明细',5,'LIS_DIRECTOR')"
        " insert into Pacs_MMCTreeViewConfig(TV_ID,TV_Name,Parent,SubSysCode) values(8,'文档管理明细',5,'LIS_DIRECTOR')"
        " insert into Pacs_MMCTreeViewConfig(TV_ID,TV_Name,Parent,SubSysCode) values(9,'其他',5,'LIS_OTHER')"
        " insert into Pacs_MMCTreeViewConfig(TV_ID,TV_Name,Parent,SubSysCode) values(10,'外部',6,'LIS_DIRECTOR')"
        " insert into Lab_List(TV_ID,TV_Name,DocType) values(12,'SOP目录','质量文档')"
        " insert into Lab_List(TV_ID,TV_Name,DocType) values(13,'论文','论文管理明细')"
        " insert into RIS_DOC(ID,LABDOC_ID,DocType,DESCS) values(1,101,'12','第一份')"
        " insert into RIS_DOC(ID,LABDOC_ID,DocType,DESCS) values(2,102,'12',null)"
        " insert into RIS_DOC(ID,LABDOC_ID,DocType,DESCS) values(3,103,'12','没有文件')"
        " insert into RIS_DOC(ID,LABDOC_ID,DocType,DESCS) values(4,104,'13','论文一')"
        " insert into DB_FILE_STORAGE(LABDOC_ID,FILE_NAME,STOREDTIME) values(101,'a.doc','2024-01-02 10:00:00.000')"
        " insert into DB_FILE_STORAGE(LABDOC_ID,FILE_NAME,STOREDTIME) values(102,'乗表.xls','2024-02-03 11:00:00.000')"
        " insert into DB_FILE_STORAGE(LABDOC_ID,FILE_NAME,STOREDTIME) values(104,'c.pdf','2024-02-03 12:00:00.000')"
        " insert into DB_FILE_RECORD(FileTableName,FileTableID,LABDOC_ID,MODIFYTIME) values('RIS_DOC',1,101,'2024-03-04 05:06:07.890')"
        " insert into DB_FILE_RECORD(FileTableName,FileTableID,LABDOC_ID,MODIFYTIME) values('RIS_DOC',1,101,'2024-01-02 10:00:00.000')"
        " insert into DB_FILE_RECORD(FileTableName,FileTableID,LABDOC_ID,MODIFYTIME) values('OTHER',2,102,'2025-01-01 00:00:00.000')"
        " insert into DB_FILE_RECORD(FileTableName,FileTableID,LABDOC_ID,MODIFYTIME) values('RIS_DOC',4,104,'2024-02-03 12:00:00.000')");
  }

  // The documents list of one directory, joined from its ten pieces.
  RowSet DocumentList(const std::string& doc_type) {
    const std::string table_name = "RIS_DOC";
    return db_.Query(
        std::string("Select a.ID,a.LABDOC_ID,'") + table_name + "' as FileTableName," +
        " a.ID as DISP_ID,a.LABDOC_ID As DISP_文件ID,b.FILE_NAME As DISP_名称,a.DESCS As DISP_描述," +
        " (select Max(ModifyTime) from DB_FILE_RECORD c(nolock) Where FileTableName='RIS_DOC' and FileTableID=a.ID) as "
        "DISP_修改时间" +
        " From RIS_DOC a(nolock),DB_FILE_STORAGE b(nolock)" + " Where a.LABDOC_ID = b.LABDOC_ID and a.DocType='" +
        doc_type + "'" + " Order by a.ID");
  }

  testing::TestFolder folder_;
  sqlite::Database db_{folder_.File("lab.db")};
};

TEST_F(Statements, DocumentListOfADirectory) {
  const RowSet list = DocumentList("12");
  ASSERT_EQ(list.fields.size(), 8u);
  const std::vector<FieldDef> fields{{"ID", FieldType::Integer},          {"LABDOC_ID", FieldType::Integer},
                                     {"FileTableName", FieldType::Text},  {"DISP_ID", FieldType::Integer},
                                     {"DISP_文件ID", FieldType::Integer}, {"DISP_名称", FieldType::Text},
                                     {"DISP_描述", FieldType::Text},      {"DISP_修改时间", FieldType::DateTime}};
  EXPECT_EQ(list.fields, fields);
  // Document 3 has no stored file and is left out; ordered by ID.
  ASSERT_EQ(list.rows.size(), 2u);
  EXPECT_EQ(list.rows[0], (std::vector<Value>{std::int64_t{1}, std::int64_t{101}, std::string("RIS_DOC"),
                                              std::int64_t{1}, std::int64_t{101}, std::string("a.doc"),
                                              std::string("第一份"), At("2024-03-04 05:06:07.890")}));
  // No audit row of its own (the one with FileTableID 2 belongs to another table).
  EXPECT_EQ(list.rows[1],
            (std::vector<Value>{std::int64_t{2}, std::int64_t{102}, std::string("RIS_DOC"), std::int64_t{2},
                                std::int64_t{102}, std::string("乗表.xls"), std::monostate{}, std::monostate{}}));
  EXPECT_EQ(DocumentList("13").rows.size(), 1u);
  EXPECT_TRUE(DocumentList("").rows.empty());
  EXPECT_THROW(DocumentList("1'2"), EDatabaseError);
}

TEST_F(Statements, NextKeys) {
  EXPECT_EQ(Count(db_, "Select IsNull(Max(ID),0)+1 From RIS_DOC"), 5);
  EXPECT_EQ(Count(db_, "Select IsNull(Max(TV_ID),0)+1 From Lab_List"), 14);
  db_.Execute("delete from RIS_DOC delete from LAB_LIST");
  EXPECT_EQ(Count(db_, "Select IsNull(Max(ID),0)+1 From RIS_DOC"), 1);
  EXPECT_EQ(Count(db_, "Select IsNull(Max(TV_ID),0)+1 From Lab_List"), 1);
}

TEST_F(Statements, AuditRowInsertedAndStamped) {
  const std::string file = "D:\\实验\\乗俓's 报告.doc";
  const std::string insert =
      "Insert into DB_FILE_RECORD(FileTableName,FileTableID,LABDOC_ID,SRCFILENAME,HOSTNAME,USERID,USERNAME,MODIFYTIME) "
      "Values(" +
      Q("RIS_DOC") + "," + "5" + "," + "105" + "," + Q(file) + "," + Q("LAB-PC") + "," + Q("u01") + "," + Q("王'五") +
      ",GetDate())";
  const std::string before = datetime::NowText();
  EXPECT_EQ(db_.Execute(insert), 1);
  RowSet row = db_.Query("select SRCFILENAME,USERNAME,MODIFYTIME,LABDOC_ID from DB_FILE_RECORD where FileTableID=5");
  ASSERT_EQ(row.rows.size(), 1u);
  EXPECT_EQ(row.rows[0][0], Value(file));
  EXPECT_EQ(row.rows[0][1], Value(std::string("王'五")));
  EXPECT_GE(datetime::ToText(std::get<DateTime>(row.rows[0][2])), before);
  EXPECT_EQ(row.rows[0][3], Value(std::int64_t{105}));

  // Every audit row with that FileTableID is stamped (two for document 1).
  const std::string update = "Update DB_FILE_RECORD set HOSTNAME=" + Q("实验室'2") + ", USERID=" + Q("u02") +
                             ", USERNAME=" + Q("李四") + ", MODIFYTIME = GetDate()" + " where FileTableID=" + "1";
  EXPECT_EQ(db_.Execute(update), 2);
  EXPECT_EQ(Count(db_, "select count(*) from DB_FILE_RECORD where HOSTNAME='实验室''2' and USERNAME='李四'"), 2);
  const RowSet latest = DocumentList("12");
  EXPECT_GE(datetime::ToText(std::get<DateTime>(latest.rows[0][7])), before);
}

TEST_F(Statements, GenericPropertiesAndDelete) {
  RowSet record = db_.Query("Select * From RIS_DOC Where ID='4'");
  ASSERT_EQ(record.rows.size(), 1u);
  EXPECT_EQ(record.fields[3].name, "DESCS");
  EXPECT_EQ(record.rows[0][3], Value(std::string("论文一")));
  EXPECT_EQ(record.rows[0][2], Value(std::string("13")));
  EXPECT_TRUE(db_.Query("Select * From RIS_DOC Where ID='17'").rows.empty());
  EXPECT_EQ(db_.Execute("Delete From RIS_DOC Where ID=4"), 1);
  EXPECT_EQ(db_.Execute("Delete From RIS_DOC Where ID=17"), 0);
  EXPECT_TRUE(db_.Query("Select * From RIS_DOC Where ID='4'").rows.empty());
}

// The deletion batch of one directory, as one text.
std::string DirectoryDeletion(const std::string& v, const std::string& last_table = "RIS_DOC") {
  return " delete from Lab_List where TV_ID = '" + v + "'" +
         " delete from DB_FILE_RECORD where LABDOC_ID in(select LABDOC_Id from RIS_DOC where DocType ='" + v + "')" +
         " delete from DB_FILE_STORAGE where LABDOC_ID in(select LABDOC_Id from RIS_DOC where DocType ='" + v + "')" +
         " delete from " + last_table + " where DocType= '" + v + "'";
}

TEST_F(Statements, DirectoryDeletionBatch) {
  // 1 directory + 3 audit rows (all that name documents 101 and 102, whatever
  // their table) + 2 stored files + 3 documents.
  EXPECT_EQ(db_.Execute(DirectoryDeletion("12")), 9);
  EXPECT_EQ(Count(db_, "select count(*) from Lab_List"), 1);
  EXPECT_EQ(Count(db_, "select count(*) from RIS_DOC where DocType='12'"), 0);
  EXPECT_EQ(Count(db_, "select count(*) from RIS_DOC"), 1);
  EXPECT_EQ(Count(db_, "select count(*) from DB_FILE_STORAGE"), 1);
  EXPECT_EQ(Count(db_, "select count(*) from DB_FILE_RECORD"), 1);
  EXPECT_EQ(DocumentList("13").rows.size(), 1u);
}

TEST_F(Statements, DirectoryDeletionThatFailsLeavesEverything) {
  EXPECT_THROW(db_.Execute(DirectoryDeletion("12", "RIS_DOCS")), EDatabaseError);
  EXPECT_EQ(Count(db_, "select count(*) from Lab_List"), 2);
  EXPECT_EQ(Count(db_, "select count(*) from DB_FILE_RECORD"), 4);
  EXPECT_EQ(Count(db_, "select count(*) from DB_FILE_STORAGE"), 3);
  EXPECT_EQ(DocumentList("12").rows.size(), 2u);
}

TEST_F(Statements, CopyTargetCategories) {
  const RowSet root = db_.Query("Select TV_ID From Pacs_MMCTreeViewConfig where TV_Name='文档管理'");
  ASSERT_EQ(root.rows.size(), 1u);
  EXPECT_EQ(root.rows[0][0], Value(std::int64_t{5}));
  const auto categories = [&](const std::string& subsystem, const std::string& directory) {
    const RowSet rows = db_.Query(
        "select TV_Name as Code,TV_Name as DispName from Pacs_MMCTreeViewConfig where Parent='5' and SubSysCode= '" +
        subsystem + "' and TV_Name <> (Select DocType From LAB_List where TV_ID='" + directory + "')");
    EXPECT_EQ(rows.fields, (std::vector<FieldDef>{{"Code", FieldType::Text}, {"DispName", FieldType::Text}}));
    std::vector<std::string> names;
    for (const auto& row : rows.rows) names.push_back(std::get<std::string>(row[0]));
    std::sort(names.begin(), names.end());
    return names;
  };
  std::vector<std::string> expected{"文档管理明细", "论文管理明细"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(categories("LIS_DIRECTOR", "12"), expected);
  EXPECT_EQ(categories("lis_director", "12"), expected);
  EXPECT_EQ(categories("LIS_DIRECTOR", "13"), (std::vector<std::string>{"文档管理明细", "质量文档"}));
  EXPECT_TRUE(categories("LIS_DIRECTOR", "").empty());
}

TEST_F(Statements, RecordExistsForm) {
  EXPECT_EQ(db_.Query("select 1 from Pacs_MMCTreeViewConfig where TV_Name='文档管理明细'").rows.size(), 1u);
  EXPECT_EQ(db_.Query("select 1 from PACS_MMCTREEVIEWCONFIG where TV_Name ='论文文档管理明细'").rows.size(), 0u);
  EXPECT_EQ(db_.Query("select 1 from Pacs_MMCTreeViewConfig where tv_name='文档管理明细'").rows.size(), 1u);
}

TEST_F(Statements, StoredTimeOfADocument) {
  const RowSet rows = db_.Query(" Select STOREDTIME from DB_FILE_STORAGE where  LabDoc_ID=" + std::to_string(102));
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.fields[0].type, FieldType::DateTime);
  EXPECT_EQ(rows.rows[0][0], Value(At("2024-02-03 11:00:00.000")));
  EXPECT_TRUE(db_.Query(" Select STOREDTIME from DB_FILE_STORAGE where  LabDoc_ID=-1").rows.empty());
}

TEST_F(Statements, StoredFileName) {
  const RowSet rows = db_.Query("Select File_Name from Db_File_Storage Where LabDoc_ID=102");
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_TRUE(gbk::SameText(rows.fields[0].name, "File_Name"));
  EXPECT_EQ(rows.rows[0][0], Value(std::string("乗表.xls")));
  EXPECT_TRUE(db_.Query("Select File_Name from Db_File_Storage Where LabDoc_ID=5").rows.empty());
  try {
    db_.Query("Select File_Name from Db_File_Storage Where LabDoc_ID=");
    FAIL() << "accepted";
  } catch (const EDatabaseError& error) {
    EXPECT_NE(std::string(error.what()).find("incomplete input"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace rt
