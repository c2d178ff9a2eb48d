// TfrmMain: the documents view. The record form for laboratory documents
// (rows of RIS_DOC, each pointing to a file in the document store): the
// source of a directory's list of documents, the rules that decide which
// commands a selection offers, and, shown modally, the editor of one
// document.
#pragma once

#include <functional>
#include <string>

#include "module/framework/record_form.h"
#include "runtime/data/value.h"

namespace rt {
class TVexaEdit20;
class TVexaMemo20;
class TVexaLabel20;
class TVexaField20;
class TMenuItem;
}  // namespace rt

namespace labdocs {

class TfrmMain : public TfrmClsfrmConfig {
 public:
  RT_COMPONENT_CLASS(TfrmMain)
  explicit TfrmMain(rt::TComponent* owner);

  void Create(const std::string& param_text);

  void FormShow(rt::TObject* sender);
  // Saving a document: the stored file and its audit row before the record.
  void btnSaveClick(rt::TObject* sender);
  void btnOpenFileClick(rt::TObject* sender);
  void acPropertiesExecute(rt::TObject* sender);
  // "删除目录": deletes each selected directory with its documents.
  void miDeleteListClick(rt::TObject* sender);
  // "复制目录": copies the selected directories into another category.
  void acCopyListExecute(rt::TObject* sender);
  // "修改文档": fetch, open and store back the selected document's file.
  void ActUpdateFileExecute(rt::TObject* sender);
  // "版本历史...": the selected document's versions (version_history_form.h).
  void acVersionsExecute(rt::TObject* sender);
  // Stamps the document's audit row (DB_FILE_RECORD) with this workstation,
  // user and time, as saving an edited document does: its content changed.
  void StampAudit(std::int32_t doc_id);
  // A file's last-access time in local time, at two-second resolution. Not
  // what decides whether a local copy is newer: any read moves it.
  rt::DateTime GetLocalFileTime(const std::string& path);

  // Components of its own.
  rt::TVexaEdit20* edFstAuthor = nullptr;
  rt::TVexaEdit20* edAuthors = nullptr;
  rt::TVexaEdit20* edFileName = nullptr;
  rt::TsuiButton* btnOpenFile = nullptr;
  rt::TVexaMemo20* mmComment = nullptr;
  rt::TVexaLabel20* VexaLabel201 = nullptr;
  rt::TVexaLabel20* VexaLabel202 = nullptr;
  rt::TVexaLabel20* lbFstAuthor = nullptr;
  rt::TVexaLabel20* lbAuthors = nullptr;
  rt::TVexaField20* tfInterField = nullptr;
  rt::TVexaClientDataSet20* cdsTmp = nullptr;
  rt::TMenuItem* miNew = nullptr;
  rt::TMenuItem* miDelete = nullptr;
  rt::TMenuItem* miOpenFile = nullptr;
  rt::TMenuItem* miSaveAs = nullptr;
  rt::TMenuItem* N1 = nullptr;
  rt::TMenuItem* miProperties = nullptr;
  rt::TMenuItem* miDeleteList = nullptr;
  rt::TMenuItem* miCopyList = nullptr;
  rt::TMenuItem* N2 = nullptr;
  rt::TMenuItem* miVersions = nullptr;
  rt::TAction* acCopyList = nullptr;
  rt::TAction* acVersions = nullptr;

  // The directory the form works in: a new document's DocType.
  std::string FDocType;
  // The parameter text exactly as the host passed it.
  std::string FViewParams;
  // 1-based position of "TV_ID" in FViewParams (0: none): a directory, not a
  // document, is selected.
  std::int32_t FIsListRow = 0;

 protected:
  std::int32_t GetViewData(VARIANT* data) override;
  void PrepareMenuNoSelection() override;
  void PrepareMenuSingleSelection() override;
  void PrepareMenuMultiSelection() override;
  rt::Layout ClassLayout() const override;
  const rt::Layout& LoadedLayout() override;

 private:
  // Stores a new document's file, then writes its audit row and record.
  void SaveNewDocument(rt::TObject* sender, const std::string& file_name);
  // Runs before_save and the base save in one database transaction, which
  // is committed when the record was saved; otherwise (a veto, a refused or
  // failing write, an error) it is rolled back, the form stays open, and
  // undo runs. Errors are passed on.
  void SaveInOneTransaction(rt::TObject* sender, const std::function<void()>& before_save,
                            const std::function<void()>& undo = {});
  // Tells the user that a revision was not stored and where the file is.
  void TellNotStored(const std::string& local_copy);
  // Stores a revised copy back as the document's content. When another
  // workstation stored a content after this copy was fetched (before the
  // store-back or while it ran), the user is told who and when, and asked:
  // yes keeps both (this copy becomes the current content, the other one a
  // kept revision), no stores nothing and leaves the copy where it is.
  void StoreRevision(std::int32_t doc_id, const std::string& local_copy);
  // Reads the selection's directory and stores it for the next calls.
  void ReadSelection();
  // Whether the directory commands may be offered here.
  bool DirectoryCommandsAllowed();
};

// The form of the exported call in progress; nil between calls.
extern TfrmMain* frmMain;

// The copy dialog of the current copy command completed a copy.
extern bool CopyDone;
// The name of the directory being copied; the last one copied afterwards.
extern std::string CopyListName;

}  // namespace labdocs
