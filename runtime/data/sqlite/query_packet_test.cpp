// A query's packet encoded straight from its statement is, byte for byte,
// the packet of the row set that Query makes of the same text: every field
// type, every widening of a column's type found late, GBK texts of every
// length, and texts the conversion table does not hold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/data/packet.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/test_folder.h"
#include "runtime/errors.h"

namespace rt::sqlite {
namespace {

std::vector<std::uint8_t> BytesOf(const OleVariant& packet) {
  EXPECT_EQ(packet.Type(), VT_ARRAY | VT_UI1);
  SAFEARRAY* array = packet.Get().parray;
  const auto* data = static_cast<const std::uint8_t*>(array->pvData);
  return std::vector<std::uint8_t>(data, data + array->rgsabound[0].cElements);
}

class QueryPacketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Execute(
        "insert into RIS_DOC(ID,LABDOC_ID,DocType,DESCS) values(1,101,'12','第一份乗表')"
        " insert into RIS_DOC(ID,LABDOC_ID,DocType,DESCS) values(2,102,'12',null)"
        " insert into RIS_DOC(ID,LABDOC_ID,DocType,DESCS) values(3,103,'13','')"
        " insert into DB_FILE_RECORD(FileTableName,FileTableID,MODIFYTIME) values('RIS_DOC',1,'2024-03-04 05:06:07.890')"
        " insert into DB_FILE_RECORD(FileTableName,FileTableID,MODIFYTIME) values('RIS_DOC',2,'2024-03-04 05:06:07')");
  }

  testing::TestFolder folder_;
  Database db_{folder_.File("host.db")};
};

TEST_F(QueryPacketTest, IsThePacketOfTheQuerysRows) {
  // Fifty characters of three UTF-8 bytes are 150 bytes there and 100 in
  // GBK: the text's length shrinks to one varint byte as it is converted.
  std::string long_text;
  for (int i = 0; i < 25; ++i) long_text += "乗表";
  const std::string numbers = "with recursive n(i) as (select 1 union all select i+1 from n where i<3000) ";
  const char* const queries[] = {
      // Declared types, NULLs, GBK with 0x5C trail bytes, the list's Max().
      "select a.ID, a.DocType, a.DESCS, (select Max(MODIFYTIME) from DB_FILE_RECORD c(nolock)"
      " where c.FileTableID=a.ID) as m from RIS_DOC a(nolock) order by a.ID",
      // Expression columns of each kind; a column of NULLs only.
      "select 1 as i, 2.5 as f, 'x' as t, x'00ff' as b, x'' as e, null as z, '2024-05-17 08:30:00' as d",
      // Types found late: each widening rewrites the rows from the start.
      "select 1 as a, 'x' as b union all select 2.5, 3 order by 1",
      "select '2024-05-17 08:30:00' as d union all select '2024-05-17' union all select null",
      "select ID, case when ID = 3 then 'three' else ID end as v from RIS_DOC order by ID",
      "select ID, case when ID = 3 then x'41' else DESCS end as v from RIS_DOC order by ID",
      "select ID, case when ID = 2 then 7 else MODIFYTIME end as v from DB_FILE_RECORD order by ID",
      // A declared column holding a value its type does not take.
      "select DocType, case when ID = 3 then 'abc' else ID end from RIS_DOC order by ID",
      // Texts the table does not hold go to the system's converter: a
      // character GBK lacks becomes '?'.
      "select cast(x'F09F98804142' as text) as emoji, 'ok' as k",
      // No rows; several statements, the rows from the first with columns.
      "select ID from RIS_DOC where ID < 0",
      "update RIS_DOC set DESCS='改' where ID=3 select ID, DESCS from RIS_DOC order by ID",
  };
  std::vector<std::string> cases(std::begin(queries), std::end(queries));
  cases.push_back("select '" + long_text + "' as l, '" + long_text.substr(0, 40) + "' as s");
  cases.push_back(numbers + "select i, '乗' || i, case when i = 2999 then 'x' else i end, i * 0.5 from n");
  cases.push_back(numbers + "select i, zeroblob(i % 300) from n");
  for (const std::string& sql : cases) {
    SCOPED_TRACE(sql);
    const std::vector<std::uint8_t> expected = EncodePacket(db_.Query(sql));
    EXPECT_EQ(BytesOf(db_.QueryPacket(sql)), expected);
  }
}

TEST_F(QueryPacketTest, AStatementThatWritesRunsOnce) {
  const OleVariant packet =
      db_.QueryPacket("insert into Lab_List(TV_ID,TV_Name) values(40,'乗表') returning TV_ID, TV_Name");
  const RowSet rows = VariantToPacket(packet.Get());
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0][1], Value(std::string("乗表")));
  EXPECT_EQ(std::get<std::int64_t>(db_.Query("select count(*) from Lab_List where TV_ID=40").rows.at(0).at(0)), 1);
}

TEST_F(QueryPacketTest, FailuresAreDatabaseErrors) {
  for (const char* sql : {"select cast(x'FF' as text)", "select * from NO_SUCH_TABLE", "   "}) {
    SCOPED_TRACE(sql);
    EXPECT_THROW(db_.Query(sql), EDatabaseError);
    EXPECT_THROW(db_.QueryPacket(sql), EDatabaseError);
  }
}

}  // namespace
}  // namespace rt::sqlite
