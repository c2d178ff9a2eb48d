// TfrmClsfrmConfig: the generic record form. A modal dialog that edits one
// record of one table, and the holder of the commands the host offers in the
// context menu of a tree node. A subclass fills the table, key and caption
// fields, adds its own controls and menu items in its layout, and overrides
// the virtual hooks.
//
// One instance lives for one exported call: it is built from the host's
// parameter text, asked one thing and freed.
//
// Where its parts live (module/framework/):
//   record_form.cpp        construction, parameter lookups, the form's own
//                          keys and buttons (Cancel, Show, data changed)
//   record_form_layout.cpp the layout: frame, buttons, page, datasets, the
//                          command menu, services, actions, file dialogs
//   menu_dispatch.cpp      the context menu: hiding, the hooks, copying into
//                          the host's menu, running an item by name
//   record_editing.cpp     New, Properties, OK (btnSave) and Delete
//   doc_store_binding.cpp  the document store bound in FormCreate (FDocLib
//                          and the entry points, through labdoc/api.h) and
//                          released in FormDestroy
//   document_commands.cpp  the store as yes/no operations (StoreDocument ...
//                          OpenDocument), Open and Save as
//   param_text.cpp, row_param.cpp  the parameter texts' syntax
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "labdoc/api.h"
#include "labdoc/version_list.h"
#include "runtime/ole/variant.h"
#include "runtime/ui/form.h"

namespace rt {
class TsuiForm;
class TsuiButton;
class TsuiPageControl;
class TsuiTabSheet;
class TsuiPopupMenu;
class TVexaClientDataSet20;
class TClientDataSet;
class TCommonService20;
class TBasicService20;
class TDataService20;
class TSettingsService20;
class TActionList;
class TAction;
class TBevel;
class TImage;
class TOpenDialog;
class TSaveDialog;
class TMenuItem;
}  // namespace rt

namespace labdocs {

// The record form's edit modes.
enum EditMode : std::int32_t { kEditNew = 0, kEditExisting = 1, kEditIdle = 2 };
// FSaveResult from the start of a save or delete until it succeeds.
inline constexpr std::int32_t kSaving = -9999;

class TfrmClsfrmConfig : public rt::TForm {
 public:
  RT_COMPONENT_CLASS(TfrmClsfrmConfig)
  explicit TfrmClsfrmConfig(rt::TComponent* owner);
  ~TfrmClsfrmConfig() override;

  // Construction with the host's parameter text (run through CreateForm).
  void Create(const std::string& param_text);

  // The call's data for the host: the non-virtual entry that InitViewData
  // reaches, passing the host's variant on to the GetViewData hook.
  std::int32_t InitViewData(VARIANT* data) { return GetViewData(data); }

  // The context menu for the host: hides every command, lets the hook of the
  // menu kind (0 no row, 1 one row, 2 several rows) show the fitting ones and
  // appends copies of all of them to the host's menu. 0 when the menu was
  // filled, 1 when an error stopped it (silently; copies made stay).
  std::int32_t BuildRightMenu(std::int32_t menu_kind, rt::TsuiPopupMenu* host_menu);
  // Runs the command of the menu item of that name (without regard to case
  // and surrounding blanks) and tells what changed: 4 a directory copied,
  // 3 a directory deleted, 2 records changed, 0 nothing; 1 when no item has
  // that name. Errors of the command are passed on.
  std::int32_t ExecuteMenuItem(std::string_view name);

  static void HideMenuItems(rt::TMenuItem* parent);
  static void CopyMenuItems(rt::TMenuItem* destination, rt::TMenuItem* source);
  static void CopyMenuItem(rt::TMenuItem* destination, rt::TMenuItem* source);
  // Depth first in item order; items with sub-items never match themselves.
  static rt::TMenuItem* FindMenuItem(rt::TMenuItem* parent, std::string_view name);

  // Lookups; they never fail and give the empty text for anything missing.
  // An empty source text means the form's own parameter text.
  std::string GetParamValue(std::string_view key, std::string_view source = {}) const;
  std::string GetRowParamText(rt::TClientDataSet& dataset) const;
  std::string GetRowParam(rt::TClientDataSet& dataset, std::string_view key) const;

  // The document store, as yes/no operations; each answers false (and does
  // nothing) while the store is not ready. A negative status of the store is
  // raised as an error.
  // Stores a local file as a new document; doc_id receives its number.
  bool StoreDocument(const std::string& path, std::int32_t& doc_id);
  // Fetches a document into the cache; on true the caller's buffer (at
  // least 250 bytes, lent through buffer) holds the local copy's path.
  bool FetchDocument(std::int32_t doc_id, char*& buffer);
  bool UpdateDocument(std::int32_t doc_id, const char* path);
  bool DeleteDocument(std::int32_t doc_id);
  // Whether the file at the path is the document's copy in the cache with
  // edits that were not stored yet; false also when the store cannot tell.
  bool LocalCopyHoldsEdits(std::int32_t doc_id, const std::string& path);
  // Revisions by several workstations, where the store tells of them (an
  // empty text: nothing to tell, or a store that cannot). BeginRevision
  // records that this workstation revises the document and describes the
  // others who revise it now; EndRevision ends this workstation's.
  std::string BeginRevision(std::int32_t doc_id);
  void EndRevision(std::int32_t doc_id);
  // Stores the copy at the path as the document's new content in place of
  // the content `expected` names (0: the one the copy was fetched as) and
  // of no other. When another one is current, nothing is stored: `expected`
  // becomes that content's number and `meanwhile` says who stored it and
  // when; else `expected` becomes 0 and `meanwhile` empty. A store that
  // cannot compare (without the entry points of revisions) stores as
  // UpdateDocument does.
  bool UpdateDocumentExpecting(std::int32_t doc_id, const std::string& path, std::int64_t& expected,
                               std::string& meanwhile);
  // Has the store open the document; tells the user when it could not.
  void OpenDocument(std::int32_t doc_id);
  // A document's history, where the store keeps one (the three entry
  // points of the history): its kept contents, newest first, and what the
  // store keeps; nothing when there is no such document or no history.
  bool HasHistory() const { return FDocLibReady && FListVersionsLabDoc != nullptr; }
  std::optional<VersionList> ListVersions(std::int32_t doc_id);
  // Fetches one of them into the cache's folder of versions; the copy's
  // path, empty when the store answered no.
  std::string FetchVersion(std::int32_t doc_id, std::int64_t content_id);
  // Makes one of them the current content again, the replaced one kept.
  bool RestoreVersion(std::int32_t doc_id, std::int64_t content_id);
  // Offers the save dialog for a copy fetched from the store, proposing a
  // name, and copies it where the user chose; says so when it was saved.
  void SaveCopyAs(const std::string& fetched, const std::string& proposed);

  // Handlers bound by the layout.
  void acNewExecute(rt::TObject* sender);
  void acPropertiesExecute(rt::TObject* sender);
  void btnSaveClick(rt::TObject* sender);
  void acDeleteExecute(rt::TObject* sender);
  void acOpenFileExecute(rt::TObject* sender);
  void acSaveAsExecute(rt::TObject* sender);
  void FormKeyDown(rt::TObject* sender, rt::Word& key, rt::TShiftState shift);
  void btnCancelClick(rt::TObject* sender);
  void FormShow(rt::TObject* sender);
  void FormCreate(rt::TObject* sender);
  void FormDestroy(rt::TObject* sender);
  void DataChanged(rt::TObject* sender);

  // Published components, in declaration order.
  rt::TsuiForm* sfrmClsfrmConfig = nullptr;
  rt::TsuiButton* btnSave = nullptr;
  rt::TsuiButton* btnCancel = nullptr;
  rt::TVexaClientDataSet20* cdsParams = nullptr;
  rt::TsuiPopupMenu* pmMenu = nullptr;
  rt::TCommonService20* objCommon = nullptr;
  rt::TBasicService20* objBaseInfo = nullptr;
  rt::TDataService20* objDataCtrl = nullptr;
  rt::TActionList* acMain = nullptr;
  rt::TAction* acNew = nullptr;
  rt::TAction* acProperties = nullptr;
  rt::TAction* acDelete = nullptr;
  rt::TsuiPageControl* pcMain = nullptr;
  rt::TsuiTabSheet* tsNormal = nullptr;
  rt::TBevel* Bevel1 = nullptr;
  rt::TImage* Image1 = nullptr;
  rt::TSettingsService20* objSettings = nullptr;
  rt::TOpenDialog* OpenDialog = nullptr;
  rt::TAction* acOpenFile = nullptr;
  rt::TAction* acSaveAs = nullptr;
  rt::TSaveDialog* SaveDialog = nullptr;
  rt::TAction* actUpdateFile = nullptr;

  // Fields, in declaration order.
  std::string FParamText;
  std::string FItemCaption;
  std::string FTableName;
  std::string FSelectSQL;
  std::string FInsertSQL;
  std::string FUpdateSQL;
  std::string FDeleteSQL;
  std::string FKeyFields;
  std::string FKeyValues;
  bool FResizable = false;
  bool FDataChanged = false;
  std::int32_t FEditMode = 0;
  std::int32_t FSaveResult = 0;
  rt::TWinControl* FFocusEdit = nullptr;
  bool FModified = false;
  HMODULE FDocLib = nullptr;
  rt::Layout FLayout;  // the layout built by LoadedLayout()
  bool FDocLibReady = false;
  TInitLabDoc FInitLabDoc = nullptr;
  TFreeLabDoc FFreeLabDoc = nullptr;
  TGetLabDoc FGetLabDoc = nullptr;
  TSaveLabDoc FSaveLabDoc = nullptr;
  TDelLabDoc FDelLabDoc = nullptr;
  TUpdateLabDoc FUpdateLabDoc = nullptr;
  TOpenLabDoc FOpenLabDoc = nullptr;
  TCheckLabDoc FCheckLabDoc = nullptr;  // optional: a store without it never reports local edits
  // Optional, all of them or none (ResolveDocStoreApi): a store without
  // them tells no workstation of another's revisions, and a copy stored
  // back replaces whatever content is current.
  TBeginReviseLabDoc FBeginReviseLabDoc = nullptr;
  TEndReviseLabDoc FEndReviseLabDoc = nullptr;
  TUpdateExpectingLabDoc FUpdateExpectingLabDoc = nullptr;
  // Optional, all of them or none: a store without them keeps no history
  // that the view could show.
  TListVersionsLabDoc FListVersionsLabDoc = nullptr;
  TGetVersionLabDoc FGetVersionLabDoc = nullptr;
  TRestoreVersionLabDoc FRestoreVersionLabDoc = nullptr;
  bool FListDeleted = false;
  bool FListCopied = false;

 protected:
  // The six hooks, in slot order.
  virtual std::int32_t GetViewData(VARIANT* data);
  virtual void PrepareMenuNoSelection() {}
  virtual void PrepareMenuSingleSelection() {}
  virtual void PrepareMenuMultiSelection() {}
  virtual void AfterRecordLoaded() {}
  virtual std::int32_t CheckBeforeSave() { return 0; }

  // The class's layout: the base layout, which a subclass extends.
  virtual rt::Layout ClassLayout() const;
  // The layout the form is loaded from. A class whose layout depends on the
  // class alone returns one built once, so that a form made for every call
  // does not rebuild it; by default the layout is built anew.
  virtual const rt::Layout& LoadedLayout();

  // The key column names of FKeyFields, in their written order.
  std::vector<std::string> KeyColumns() const;
  // Gives FFocusEdit the focus when it can take it.
  void Refocus();
  // The document cache: the host's base directory followed directly by
  // "DocCache\", the folder the store is initialised with.
  std::string CacheFolder();
  // After a fetch that answered no: tells the user when the reason is that
  // the document's path in the cache would not fit the store's 250 bytes.
  void TellPathTooLong(const std::string& file_name);

 private:
  void WMGetMinMaxInfo(rt::TMessage& message);
};

}  // namespace labdocs
