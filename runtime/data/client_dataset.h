// The client dataset: an in-memory table that is filled from a data packet
// (or from a row set), walked with a cursor and read field by field.
//
// Model:
//  - The dataset holds one row set. SetData and SetRows replace it and open
//    the dataset on its first record; SetData with VT_EMPTY or VT_NULL drops
//    the data and closes the dataset. Close keeps the data, Open shows it
//    again on the first record; Open without data is an error.
//  - The cursor follows the usual rules: after Open or First, Bof is true;
//    Next on the last record sets Eof and stays there; Prior on the first
//    record sets Bof and stays there; an empty dataset is Bof and Eof at once.
//  - On a closed dataset Eof, Bof and IsEmpty are true and RecordCount and
//    RecNo are 0; moving the cursor or reading a field raises
//    rt::EInvalidOperation, as does reading a field of an empty dataset.
//  - Edit, Append, Post, Cancel and Delete change the rows. Field values can
//    be set only in the edit or insert state; moving the cursor posts a
//    pending change, Close discards it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/value.h"
#include "runtime/ole/variant.h"
#include "runtime/ui/component.h"

namespace rt {

class TClientDataSet;

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// One field of a client dataset, reading and writing the current record.
// Field objects belong to the dataset and are replaced when its fields change
// (SetData, SetRows).
class TField {
 public:
  TField(TClientDataSet* dataset, int index) : dataset_(dataset), index_(index) {}
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  const std::string& FieldName() const;
  FieldType DataType() const;
  int Index() const { return index_; }
  TClientDataSet& DataSet() const { return *dataset_; }

  // Reading. Each raises rt::EInvalidOperation when the dataset is closed or
  // has no current record.
  const rt::Value& Value() const;
  bool IsNull() const;
  // rt::ValueToText of the value.
  std::string AsString() const;
  // NULL gives 0; a float is rounded to the nearest integer; a text must be
  // a decimal integer (blanks around it allowed). Anything else, or a value
  // out of range, raises rt::EConvertError.
  int AsInteger() const;
  std::int64_t AsLargeInt() const;
  // NULL gives 0; integers and date-times (their day count) convert; a text
  // must be a number. Blobs raise rt::EConvertError.
  double AsFloat() const;
  // NULL gives the origin 1899-12-30; numbers are day counts; a text must be
  // "YYYY-MM-DD" (or with "/"), optionally followed by " HH:MM", ":SS" and
  // ".fff". Blobs raise rt::EConvertError.
  DateTime AsDateTime() const;

  // Writing, in the edit or insert state only (else rt::EInvalidOperation).
  // SetValue stores the value as given; the others convert to the field's
  // type, raising rt::EConvertError when they cannot (an empty text stores
  // NULL in a field that is not Text or Blob).
  void SetValue(rt::Value value);
  void SetAsString(std::string_view text);
  void SetAsInteger(std::int64_t value);
  void SetAsFloat(double value);
  void SetAsDateTime(DateTime value);
  void Clear();

 private:
  TClientDataSet* dataset_;
  int index_;
};

class TClientDataSet : public TComponent {
 public:
  RT_COMPONENT_CLASS(TClientDataSet)
  explicit TClientDataSet(TComponent* owner);
  ~TClientDataSet() override;

  // Properties set by layouts: Active (flag).
  void SetProperty(std::string_view name, const PropValue& value) override;

  bool Active() const { return state_ != TDataSetState::dsInactive; }
  void SetActive(bool active);
  void Open();
  void Close();
  TDataSetState State() const { return state_; }

  // The content as a data packet; VT_EMPTY when the dataset holds no data.
  OleVariant Data() const;
  // Loads a data packet and opens the dataset on its first record. A packet
  // that cannot be read raises rt::EPacketError and leaves the dataset as it
  // was.
  void SetData(const VARIANT& data);
  const RowSet& Rows() const { return rows_; }
  // Every row must have one value per field (else rt::Exception).
  void SetRows(RowSet rows);

  // Cursor.
  void First();
  void Last();
  void Next();
  void Prior();
  // Moves by distance records (negative: backwards) as far as there are
  // records; returns the number of records moved, with its sign.
  int MoveBy(int distance);
  bool Eof() const { return !Active() || eof_; }
  bool Bof() const { return !Active() || bof_; }
  bool IsEmpty() const { return !Active() || rows_.rows.empty(); }
  int RecordCount() const;
  // 1-based number of the current record; 0 when there is none.
  int RecNo() const;
  void SetRecNo(int rec_no);

  // Fields.
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& Fields(int index) const;
  // Without regard to case; raises rt::Exception "Field 'X' not found".
  TField& FieldByName(std::string_view name) const;
  TField* FindField(std::string_view name) const;

  // Changing rows.
  void Edit();
  void Append();
  void Post();
  void Cancel();
  void Delete();

 private:
  friend class TField;

  [[noreturn]] void Fail(const std::string& message) const;
  void CheckActive() const;
  void CheckBrowseMode();
  void RebuildFields();
  const rt::Value& CellForRead(const TField& field) const;
  rt::Value& CellForWrite(const TField& field);

  RowSet rows_;
  bool has_data_ = false;
  TDataSetState state_ = TDataSetState::dsInactive;
  std::size_t current_ = 0;
  bool bof_ = true;
  bool eof_ = true;
  std::vector<std::unique_ptr<TField>> fields_;
  std::vector<rt::Value> saved_row_;  // the row as it was before Edit
};

}  // namespace rt
