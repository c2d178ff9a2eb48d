#include "module/documents/main_form.h"

#include "module/service_calls/vexa_coms.h"
#include "runtime/ole/automation.h"
#include "runtime/services/sui_controls.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/ui/actions.h"
#include "runtime/ui/menus.h"

namespace labdocs {

TfrmMain* frmMain = nullptr;

namespace {
// The node names of thesis directories, whose documents carry authors.
constexpr std::string_view kThesisNodes[] = {"论文管理明细", "论文文档管理明细"};
}  // namespace

TfrmMain::TfrmMain(rt::TComponent* owner) : TfrmClsfrmConfig(owner) {
  PublishField("edFstAuthor", edFstAuthor);
  PublishField("edAuthors", edAuthors);
  PublishField("edFileName", edFileName);
  PublishField("btnOpenFile", btnOpenFile);
  PublishField("mmComment", mmComment);
  PublishField("VexaLabel201", VexaLabel201);
  PublishField("VexaLabel202", VexaLabel202);
  PublishField("lbFstAuthor", lbFstAuthor);
  PublishField("lbAuthors", lbAuthors);
  PublishField("tfInterField", tfInterField);
  PublishField("cdsTmp", cdsTmp);
  PublishField("miNew", miNew);
  PublishField("miDelete", miDelete);
  PublishField("miOpenFile", miOpenFile);
  PublishField("miSaveAs", miSaveAs);
  PublishField("N1", N1);
  PublishField("miProperties", miProperties);
  PublishField("miDeleteList", miDeleteList);
  PublishField("miCopyList", miCopyList);
  PublishField("N2", N2);
  PublishField("miVersions", miVersions);
  PublishField("acCopyList", acCopyList);
  PublishField("acVersions", acVersions);
  PublishMethod("FormShow", [this](rt::TObject* sender) { FormShow(sender); });
  PublishMethod("btnSaveClick", [this](rt::TObject* sender) { btnSaveClick(sender); });
  PublishMethod("btnOpenFileClick", [this](rt::TObject* sender) { btnOpenFileClick(sender); });
  PublishMethod("acPropertiesExecute", [this](rt::TObject* sender) { acPropertiesExecute(sender); });
  PublishMethod("miDeleteListClick", [this](rt::TObject* sender) { miDeleteListClick(sender); });
  PublishMethod("acCopyListExecute", [this](rt::TObject* sender) { acCopyListExecute(sender); });
  PublishMethod("ActUpdateFileExecute", [this](rt::TObject* sender) { ActUpdateFileExecute(sender); });
  PublishMethod("acVersionsExecute", [this](rt::TObject* sender) { acVersionsExecute(sender); });
}

void TfrmMain::Create(const std::string& param_text) {
  TfrmClsfrmConfig::Create(param_text);
  CommonObject = rt::CreateOleObject("Vexa.Common");
  FViewParams = param_text;
  const rt::OleValue name = std::string("TV_ID");
  FDocType = rt::OleValueToText(CommonObject->GetProperty("UserParam", {&name, 1}));
  FTableName = "RIS_DOC";
  mmComment->SetFieldName("DESCS");
  const std::string node = GetParamValue("TV_Name");
  for (std::string_view thesis : kThesisNodes) {
    if (node != thesis) continue;
    lbFstAuthor->SetVisible(true);
    lbAuthors->SetVisible(true);
    edFstAuthor->SetVisible(true);
    edAuthors->SetVisible(true);
    edFstAuthor->SetTableName(FTableName);
    edFstAuthor->SetFieldName("FstAuthor");
    edAuthors->SetTableName(FTableName);
    edAuthors->SetFieldName("Authors");
    break;
  }
  mmComment->SetTableName(FTableName);
  tfInterField->SetTableName(FTableName);
  FKeyFields = "ID";
  FItemCaption = "实验文件";
  FFocusEdit = edFileName;
}

void TfrmMain::FormShow(rt::TObject* sender) {
  TfrmClsfrmConfig::FormShow(sender);
  // A new document lands in the form's directory.
  if (FEditMode == kEditNew && FTableName == "RIS_DOC") {
    tfInterField->GetFFieldName().Add("DocType");
    tfInterField->SetValues(tfInterField->GetFFieldName().IndexOf("DocType"), FDocType);
  }
}

}  // namespace labdocs
