#include "runtime/data/client_dataset.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "runtime/data/packet.h"
#include "runtime/errors.h"

namespace rt {
namespace {

using ::testing::HasSubstr;

RowSet Documents(int count) {
  RowSet rows;
  rows.fields = {{"ParamText", FieldType::Text}, {"ID", FieldType::Integer},        {"DISP_名称", FieldType::Text},
                 {"華", FieldType::Text},        {"修改时间", FieldType::DateTime}, {"Ratio", FieldType::Float}};
  for (int i = 1; i <= count; ++i)
    rows.rows.push_back({"TV_ID=3;LabDoc_ID=" + std::to_string(i), std::int64_t{i}, "誠實" + std::to_string(i),
                         std::monostate{}, DateTime{45000.5 + i}, 0.5 * i});
  return rows;
}

std::string Message(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(ClientDataSet, NeverLoaded) {
  TClientDataSet ds(nullptr);
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.State(), TDataSetState::dsInactive);
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_EQ(ds.RecordCount(), 0);
  EXPECT_EQ(ds.RecNo(), 0);
  EXPECT_EQ(ds.FieldCount(), 0);
  EXPECT_TRUE(ds.Data().IsEmpty());
  EXPECT_THROW(ds.Open(), EInvalidOperation);
  EXPECT_THROW(ds.First(), EInvalidOperation);
  EXPECT_THROW(ds.Next(), EInvalidOperation);
  EXPECT_THROW(ds.Append(), EInvalidOperation);
  EXPECT_EQ(ds.FindField("ParamText"), nullptr);
  EXPECT_THROW(ds.Fields(0), Exception);
}

TEST(ClientDataSet, SetDataOpensOnTheFirstRecord) {
  OleVariant packet;
  PacketToVariant(Documents(3), packet.Ptr());
  TClientDataSet ds(nullptr);
  ds.SetData(packet.Get());
  EXPECT_TRUE(ds.Active());
  EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  EXPECT_FALSE(ds.IsEmpty());
  EXPECT_EQ(ds.RecordCount(), 3);
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_EQ(ds.FieldCount(), 6);
  EXPECT_EQ(ds.Fields(0).AsString(), "TV_ID=3;LabDoc_ID=1");
  EXPECT_EQ(ds.Rows(), Documents(3));
  // The content comes back out as the same packet.
  EXPECT_EQ(VariantToPacket(ds.Data().Get()), Documents(3));
}

TEST(ClientDataSet, WalksSeveralRows) {
  TClientDataSet ds(nullptr);
  ds.SetRows(Documents(3));
  std::vector<std::string> seen;
  for (ds.First(); !ds.Eof(); ds.Next()) seen.push_back(ds.FieldByName("DISP_名称").AsString());
  EXPECT_EQ(seen, (std::vector<std::string>{"誠實1", "誠實2", "誠實3"}));
  EXPECT_EQ(ds.RecNo(), 3);  // Next on the last record stays there
  EXPECT_FALSE(ds.Bof());

  seen.clear();
  for (ds.Last(); !ds.Bof(); ds.Prior()) seen.push_back(ds.Fields(1).AsString());
  EXPECT_EQ(seen, (std::vector<std::string>{"3", "2", "1"}));
  EXPECT_EQ(ds.RecNo(), 1);

  ds.First();
  EXPECT_EQ(ds.MoveBy(5), 2);
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.MoveBy(1), 0);
  EXPECT_EQ(ds.MoveBy(-1), -1);
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(ds.MoveBy(-4), -1);
  EXPECT_TRUE(ds.Bof());
  ds.SetRecNo(3);
  EXPECT_EQ(ds.Fields(1).AsInteger(), 3);
  EXPECT_THROW(ds.SetRecNo(4), EInvalidOperation);
}

TEST(ClientDataSet, OneRecord) {
  TClientDataSet ds(nullptr);
  ds.SetRows(Documents(1));
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  ds.Next();
  EXPECT_TRUE(ds.Eof());
  EXPECT_FALSE(ds.Bof());
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_EQ(ds.Fields(0).AsString(), "TV_ID=3;LabDoc_ID=1");  // still on the record
  ds.Prior();
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  ds.Last();
  EXPECT_TRUE(ds.Eof());
  EXPECT_FALSE(ds.Bof());
}

TEST(ClientDataSet, EmptyAndClosed) {
  TClientDataSet ds(nullptr);
  ds.SetRows(Documents(0));
  EXPECT_TRUE(ds.Active());
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_EQ(ds.RecNo(), 0);
  EXPECT_EQ(ds.FieldCount(), 6);
  ds.Next();
  ds.Prior();
  ds.Last();
  EXPECT_TRUE(ds.Bof() && ds.Eof());
  EXPECT_THAT(Message([&] { ds.Fields(0).AsString(); }), HasSubstr("no record"));

  ds.SetRows(Documents(2));
  ds.Next();
  ds.Close();
  EXPECT_FALSE(ds.Active());
  EXPECT_TRUE(ds.Eof() && ds.Bof() && ds.IsEmpty());
  EXPECT_EQ(ds.RecordCount(), 0);
  EXPECT_THROW(ds.Next(), EInvalidOperation);
  EXPECT_THAT(Message([&] { ds.FieldByName("ID").AsInteger(); }), HasSubstr("closed"));
  ds.SetName("cdsParams");
  EXPECT_THAT(Message([&] { ds.Fields(0).Value(); }), HasSubstr("cdsParams: Cannot read field 'ParamText'"));

  ds.Open();  // the data was kept, and the cursor starts over
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_EQ(ds.RecordCount(), 2);

  // No data: the dataset closes and forgets its fields.
  VARIANT empty;
  VariantInit(&empty);
  ds.SetData(empty);
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.FieldCount(), 0);
  EXPECT_TRUE(ds.Data().IsEmpty());
  EXPECT_THROW(ds.Open(), EInvalidOperation);
}

TEST(ClientDataSet, FieldsByNameWithoutRegardToCase) {
  TClientDataSet ds(nullptr);
  ds.SetRows(Documents(1));
  EXPECT_EQ(&ds.FieldByName("paramtext"), &ds.Fields(0));
  EXPECT_EQ(&ds.FieldByName("disp_名称"), &ds.Fields(2));
  EXPECT_EQ(ds.FindField("華"), &ds.Fields(3));
  // 萢 differs from 華 only in a trail byte that looks like a letter ('a'
  // against 'A'); they are different characters.
  EXPECT_EQ(ds.FindField("萢"), nullptr);
  EXPECT_EQ(ds.FindField("Missing"), nullptr);
  EXPECT_THAT(Message([&] { ds.FieldByName("Missing"); }), HasSubstr("Field 'Missing' not found"));
  EXPECT_THROW(ds.FieldByName("萢"), Exception);
  EXPECT_EQ(ds.Fields(4).FieldName(), "修改时间");
  EXPECT_EQ(ds.Fields(4).DataType(), FieldType::DateTime);
  EXPECT_EQ(ds.Fields(4).Index(), 4);
}

TEST(ClientDataSet, ReadingValues) {
  RowSet rows;
  rows.fields = {{"V", FieldType::Text}};
  for (Value v : std::vector<Value>{std::monostate{}, std::string(" 42 "), std::string("abc"), 2.5, -2.5,
                                    std::int64_t{5'000'000'000}, std::string("2024-02-29 13:45:10"),
                                    std::vector<std::uint8_t>{1}, DateTime{45000.25}, std::string("1e3")})
    rows.rows.push_back({v});
  TClientDataSet ds(nullptr);
  ds.SetRows(rows);
  TField& f = ds.Fields(0);

  EXPECT_TRUE(f.IsNull());  // NULL
  EXPECT_EQ(f.AsString(), "");
  EXPECT_EQ(f.AsInteger(), 0);
  EXPECT_EQ(f.AsFloat(), 0.0);
  EXPECT_EQ(f.AsDateTime(), DateTime{});
  ds.Next();  // " 42 "
  EXPECT_FALSE(f.IsNull());
  EXPECT_EQ(f.AsInteger(), 42);
  EXPECT_EQ(f.AsFloat(), 42.0);
  EXPECT_THROW(f.AsDateTime(), EConvertError);
  ds.Next();  // "abc"
  EXPECT_THAT(Message([&] { f.AsInteger(); }), HasSubstr("'abc' is not a valid integer value"));
  EXPECT_THROW(f.AsFloat(), EConvertError);
  ds.Next();  // 2.5
  EXPECT_EQ(f.AsInteger(), 3);
  EXPECT_EQ(f.AsString(), "2.5");
  ds.Next();  // -2.5
  EXPECT_EQ(f.AsInteger(), -3);
  ds.Next();  // 5e9
  EXPECT_THROW(f.AsInteger(), EConvertError);
  EXPECT_EQ(f.AsLargeInt(), 5'000'000'000);
  ds.Next();  // a date-time text
  EXPECT_EQ(ValueToText(f.AsDateTime()), "2024-02-29 13:45:10");
  ds.Next();  // a blob
  EXPECT_THROW(f.AsInteger(), EConvertError);
  EXPECT_THROW(f.AsFloat(), EConvertError);
  EXPECT_THROW(f.AsDateTime(), EConvertError);
  ds.Next();  // a date-time
  EXPECT_EQ(f.AsString(), "2023-03-15 06:00:00");
  EXPECT_EQ(f.AsFloat(), 45000.25);
  EXPECT_THROW(f.AsInteger(), EConvertError);
  ds.Next();  // "1e3"
  EXPECT_EQ(f.AsFloat(), 1000.0);
  EXPECT_THROW(f.AsInteger(), EConvertError);
}

TEST(ClientDataSet, EditingAndAppending) {
  TClientDataSet ds(nullptr);
  ds.SetRows(Documents(2));
  TField& name = ds.FieldByName("DISP_名称");
  EXPECT_THROW(name.SetAsString("x"), EInvalidOperation);  // browsing

  ds.Edit();
  EXPECT_EQ(ds.State(), TDataSetState::dsEdit);
  name.SetAsString("運\\補");
  ds.Cancel();
  EXPECT_EQ(name.AsString(), "誠實1");

  ds.Edit();
  name.SetAsString("運\\補");
  ds.FieldByName("ID").SetAsString(" 17 ");
  ds.Next();  // moving posts the change
  EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
  EXPECT_EQ(std::get<std::string>(ds.Rows().rows[0][2]), "運\\補");
  EXPECT_EQ(std::get<std::int64_t>(ds.Rows().rows[0][1]), 17);

  ds.Append();
  EXPECT_EQ(ds.State(), TDataSetState::dsInsert);
  EXPECT_EQ(ds.RecordCount(), 3);
  EXPECT_TRUE(ds.Fields(0).IsNull());
  ds.Fields(0).SetAsString("TV_ID=9");
  ds.FieldByName("ID").SetAsInteger(9);
  ds.FieldByName("Ratio").SetAsString("");
  ds.FieldByName("修改时间").SetAsString("2000-02-29");
  EXPECT_THROW(ds.FieldByName("ID").SetAsString("九"), EConvertError);
  EXPECT_THROW(ds.FieldByName("修改时间").SetAsString("2023-02-29"), EConvertError);
  ds.Post();
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_EQ(ds.FieldByName("修改时间").AsDateTime(), DateTime{36585});
  EXPECT_TRUE(ds.FieldByName("Ratio").IsNull());
  EXPECT_THROW(ds.Post(), EInvalidOperation);

  ds.Append();
  ds.Cancel();
  EXPECT_EQ(ds.RecordCount(), 3);
  EXPECT_EQ(ds.Fields(0).AsString(), "TV_ID=9");

  // A selection built by host code travels as a packet.
  TClientDataSet copy(nullptr);
  copy.SetData(ds.Data().Get());
  EXPECT_EQ(copy.Rows(), ds.Rows());

  ds.First();
  ds.Delete();
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(ds.Fields(1).AsInteger(), 2);
  ds.Last();
  ds.Delete();
  EXPECT_EQ(ds.RecNo(), 1);
  ds.Delete();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_THROW(ds.Delete(), EInvalidOperation);

  // Edit on an empty dataset appends.
  ds.Edit();
  EXPECT_EQ(ds.State(), TDataSetState::dsInsert);
  ds.Close();  // discards the pending record
  ds.Open();
  EXPECT_TRUE(ds.IsEmpty());
}

TEST(ClientDataSet, SetterConversions) {
  RowSet rows;
  rows.fields = {{"I", FieldType::Integer},
                 {"F", FieldType::Float},
                 {"T", FieldType::Text},
                 {"D", FieldType::DateTime},
                 {"B", FieldType::Blob}};
  TClientDataSet ds(nullptr);
  ds.SetRows(rows);
  ds.Append();
  ds.Fields(0).SetAsFloat(2.6);
  ds.Fields(1).SetAsInteger(3);
  ds.Fields(2).SetAsDateTime(DateTime{45000.5});
  ds.Fields(3).SetAsFloat(1.5);
  ds.Fields(4).SetAsString("誠");
  EXPECT_THROW(ds.Fields(4).SetAsInteger(1), EConvertError);
  EXPECT_THROW(ds.Fields(0).SetAsDateTime(DateTime{1}), EConvertError);
  EXPECT_THROW(ds.Fields(0).SetAsFloat(1e300), EConvertError);
  ds.Post();
  const std::vector<Value> expected = {std::int64_t{3}, 3.0, std::string("2023-03-15 12:00:00"), DateTime{1.5},
                                       std::vector<std::uint8_t>{0xD5, 0x5C}};
  EXPECT_EQ(ds.Rows().rows[0], expected);
}

TEST(ClientDataSet, ABadPacketLeavesTheDataSetAsItWas) {
  TClientDataSet ds(nullptr);
  ds.SetRows(Documents(2));
  ds.Next();
  OleVariant bad = OleVariant::FromBytes(std::vector<std::uint8_t>{'R', 'S', 'P', 'K', 1, 0});
  EXPECT_THROW(ds.SetData(bad.Get()), EPacketError);
  OleVariant number = OleVariant::FromInt32(3);
  EXPECT_THROW(ds.SetData(number.Get()), EPacketError);
  EXPECT_TRUE(ds.Active());
  EXPECT_EQ(ds.RecNo(), 2);

  RowSet ragged = Documents(1);
  ragged.rows[0].pop_back();
  EXPECT_THROW(ds.SetRows(ragged), Exception);
  EXPECT_EQ(ds.RecordCount(), 2);
}

TEST(ClientDataSet, IsARegisteredComponent) {
  TClientDataSet owner(nullptr);
  TComponent* created = CreateComponent("TClientDataSet", &owner);
  auto* ds = dynamic_cast<TClientDataSet*>(created);
  ASSERT_NE(ds, nullptr);
  EXPECT_EQ(ds->ClassName(), "TClientDataSet");
  ds->SetProperty("Name", std::string("cdsList"));
  EXPECT_EQ(owner.FindComponent("CDSLIST"), ds);
  ds->SetProperty("Active", false);
  EXPECT_THROW(ds->SetProperty("Active", true), EInvalidOperation);  // no data to open
  ds->SetRows(Documents(1));
  ds->SetProperty("active", false);
  EXPECT_FALSE(ds->Active());
  EXPECT_THROW(ds->SetProperty("ServerName", std::string("x")), Exception);
}

}  // namespace
}  // namespace rt
