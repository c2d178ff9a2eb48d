// TfrmVersions: a document's version history ("版本历史"). Lists the
// contents the store keeps of the document, newest first (version number,
// when and by whom each was stored, its size, the start of its digest, the
// current one marked), says what the store keeps, and acts on the selected
// version: open it, save it as a file, or make it the current content
// again. The record form that shows it lends its store and its services.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "labdoc/version_list.h"
#include "runtime/ui/form.h"

namespace rt {
class TsuiForm;
class TsuiButton;
class TVexaLabel20;
class TListView;
}  // namespace rt

namespace labdocs {

class TfrmMain;

class TfrmVersions : public rt::TForm {
 public:
  RT_COMPONENT_CLASS(TfrmVersions)
  explicit TfrmVersions(rt::TComponent* owner);

  // Construction (run through CreateForm): builds the form from its layout.
  void Create();

  // The document shown and the view form whose store and services it uses.
  void ShowDocument(TfrmMain& view, std::int32_t doc_id, const std::string& file_name);

  // Handlers bound by the layout.
  void FormShow(rt::TObject* sender);
  void btnOpenClick(rt::TObject* sender);
  void btnSaveAsClick(rt::TObject* sender);
  void btnRestoreClick(rt::TObject* sender);
  void btnCloseClick(rt::TObject* sender);

  // Whether a version was made current while the form was shown.
  bool Restored() const { return restored_; }

  // Reads the list again, keeping the selected version selected (else the
  // newest).
  void Refresh();

  // Published components.
  rt::TsuiForm* sfrmVersions = nullptr;
  rt::TVexaLabel20* lbDocument = nullptr;
  rt::TVexaLabel20* lbKept = nullptr;
  rt::TListView* lvVersions = nullptr;
  rt::TsuiButton* btnOpen = nullptr;
  rt::TsuiButton* btnSaveAs = nullptr;
  rt::TsuiButton* btnRestore = nullptr;
  rt::TsuiButton* btnClose = nullptr;

 protected:
  virtual rt::Layout ClassLayout() const;

 private:
  // The selected version; tells the user and gives nothing when none is.
  std::optional<DocVersion> Selected();
  // Fetches the version; tells the user and gives the empty text when the
  // store answered no.
  std::string Fetched(const DocVersion& version);

  TfrmMain* view_ = nullptr;
  std::int32_t doc_id_ = 0;
  std::string file_name_;
  std::vector<DocVersion> versions_;  // as listed, newest first
  bool restored_ = false;
};

// The list's columns, and a version's cells in them (GBK): "版本", "存入时间",
// "存入者" (user and workstation), "大小" (bytes), "SHA-256" (its first 12
// digits), "当前" ("是" for the current content).
std::vector<std::string> VersionColumns();
std::vector<std::string> VersionCells(const DocVersion& version);

}  // namespace labdocs
