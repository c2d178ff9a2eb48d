// The host's data service: statements and queries on the process's database
// session, and the work with data-aware controls (preparing them, checking
// required ones, inserting and updating a row from them, showing a row in
// them). Every operation returns an automation status; a failing one leaves
// its reason in the error info (error_info.h).
//
// A statement that the database rejects fails the operation (a negative
// status) rather than answering a negative number, so that the caller's
// result check reports the database's own reason and no failure can pass for
// success.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "runtime/ole/variant.h"
#include "runtime/ui/component.h"

namespace rt {

class AutomationObject;
class TClientDataSet;
class Transaction;
class TWinControl;

// The host's statement monitor: called with every text that a data service
// is asked to run (for RecordExists, the query it makes of the table and
// condition). Empty to stop monitoring.
using StatementMonitor = std::function<void(const std::string& sql)>;
void SetStatementMonitor(StatementMonitor monitor);

class TDataService20 : public TComponent {
 public:
  RT_COMPONENT_CLASS(TDataService20)
  explicit TDataService20(TComponent* owner);
  ~TDataService20() override;

  // One transaction around several calls: what the calls between BeginTrans
  // and CommitTrans write takes effect together, or after RollbackTrans (or
  // when the component goes) not at all. It holds the database's write lock
  // from its start, so a key read inside it (GetMaxID) cannot be taken by
  // another writer before it is used. BeginTrans fails while one is open;
  // CommitTrans and RollbackTrans fail when none is.
  HRESULT BeginTrans();
  HRESULT CommitTrans();
  HRESULT RollbackTrans();

  // Runs a statement (or a batch) as one transaction; result: rows changed.
  HRESULT ExecSQL(const std::string& sql, int* result);
  // Runs a query; data receives its rows as a data packet.
  HRESULT OpenSQL(const std::string& sql, VARIANT* data);
  // Runs a query returning one number; id receives it.
  HRESULT GetMaxID(const std::string& sql, int* id);
  // exists: 1 when a row of the table meets the condition, else 0.
  HRESULT RecordExists(const std::string& table, const std::string& condition, int* exists);
  // Fills the combo boxes in the container from their queries; result: how
  // many were filled.
  HRESULT InitControls(TWinControl* container, int* result);
  // result: non-zero when a control that must not be empty is empty; the
  // user is told which.
  HRESULT NullControlExists(TWinControl* container, int* result);
  // Inserts one row of the table from the container's saved controls;
  // result: 1 when a row was inserted.
  HRESULT SaveInsertListData(TWinControl* container, const std::string& table, const std::string& reserved1,
                             const std::string& reserved2, int* result);
  // Updates the row whose key fields ("A||B") hold the key values
  // ("'1'||'x'"); result: 1 when that row was updated.
  HRESULT SaveUpdateListData(TWinControl* container, const std::string& table, const std::string& key_fields,
                             const std::string& key_values, const std::string& old_key_values, int* result);
  // Shows the dataset's current row in the controls bound to the table.
  HRESULT ListDataSetToControls(TClientDataSet* dataset, TWinControl* container, const std::string& table, int mode,
                                int show, int* result);

  // The automation object behind the component ("Vexa.DataCtrl"), whose
  // late-bound GetDateFieldValue(field, query, var date) reads a date-time.
  std::shared_ptr<AutomationObject> AutoObject();

 private:
  std::shared_ptr<AutomationObject> auto_object_;
  std::unique_ptr<Transaction> transaction_;
};

}  // namespace rt
