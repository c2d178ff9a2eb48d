// TfrmCopyList: the copy-directory dialog. The user picks another document
// category; each selected directory (the rows handed over in cdsTemp1) is
// entered again in Lab_List under a new key and the same name in that
// category. Only the directory row is copied, never its documents.
//
// The dialog runs modally. A close request (BtnCancelClick, the title-bar
// close button, the copy itself) only marks the dialog to close; it closes
// once the running handler has returned.
#pragma once

#include <string>
#include <string_view>

#include "runtime/ui/form.h"

namespace rt {
class TsuiForm;
class TsuiButton;
class TVexaLabel20;
class TVexaComboBox20;
class TVexaField20;
class TVexaClientDataSet20;
class TClientDataSet;
class TDataService20;
class TCommonService20;
class TBasicService20;
}  // namespace rt

namespace labdocs {

class TfrmCopyList : public rt::TForm {
 public:
  RT_COMPONENT_CLASS(TfrmCopyList)
  explicit TfrmCopyList(rt::TComponent* owner);
  ~TfrmCopyList() override;

  // Construction (run through CreateForm): builds the form from its layout.
  void Create();

  // Handlers bound by the layout.
  // Fills the category list and applies the host's display style.
  void FormShow(rt::TObject* sender);
  // Checks the chosen category and copies the directories into it.
  void BtnSaveClick(rt::TObject* sender);
  // Requests the dialog to close.
  void BtnCancelClick(rt::TObject* sender);
  // Enter runs BtnSaveClick; no key is consumed.
  void cbCopyListKeyDown(rt::TObject* sender, rt::Word& key, rt::TShiftState shift);

  // Lookups as the record form's, except that an empty source text gives
  // the empty text: the dialog has no parameter text of its own.
  std::string GetParamValue(std::string_view key, std::string_view source) const;
  std::string GetRowParamText(rt::TClientDataSet& dataset) const;
  std::string GetRowParam(rt::TClientDataSet& dataset, std::string_view key) const;

  // Published components.
  rt::TsuiForm* sfrmCopyList = nullptr;
  rt::TVexaLabel20* lb1 = nullptr;
  rt::TVexaComboBox20* cbCopyList = nullptr;
  rt::TVexaField20* tfdInterField = nullptr;
  rt::TsuiButton* BtnSave = nullptr;
  rt::TsuiButton* BtnCancel = nullptr;
  rt::TDataService20* objDataCtrl = nullptr;
  rt::TCommonService20* Comcommon = nullptr;
  rt::TBasicService20* objBaseInfo = nullptr;
  rt::TVexaClientDataSet20* cdsTemp = nullptr;
  rt::TVexaClientDataSet20* cdsTemp1 = nullptr;

 protected:
  virtual rt::Layout ClassLayout() const;

 private:
  // The combo box's current value without surrounding blanks.
  std::string ChosenCategory() const;
  void SetField(const std::string& name, std::string value);
};

// The dialog most recently made by the copy command: a plain reference,
// not an owner (the view form owns the dialog).
extern TfrmCopyList* frmCopyList;

}  // namespace labdocs
