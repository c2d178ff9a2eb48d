// Which commands a selection offers. BuildRightMenu has hidden every item;
// each hook makes the fitting ones visible and remembers the selection's
// directory for the calls that follow.
#include "module/documents/main_form.h"
#include "module/service_calls/result_check.h"
#include "module/service_calls/vexa_coms.h"
#include "runtime/ole/automation.h"
#include "runtime/services/basic_service.h"
#include "runtime/services/data_service.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/menus.h"

namespace labdocs {
namespace {

void SetUserParam(const std::string& name, const std::string& value) {
  const rt::OleValue index = name;
  CommonObject->SetProperty("UserParam", {&index, 1}, value);
}

// 1-based byte position of the first occurrence of needle in text, 0 when
// there is none. A match never starts inside a double-byte character.
std::int32_t Position(std::string_view needle, std::string_view text) {
  for (std::size_t i = 0; i + needle.size() <= text.size(); i += rt::gbk::CharLength(text, i))
    if (text.compare(i, needle.size(), needle) == 0) return static_cast<std::int32_t>(i + 1);
  return 0;
}

}  // namespace

void TfrmMain::PrepareMenuNoSelection() {
  TfrmClsfrmConfig::PrepareMenuNoSelection();
  miNew->SetVisible(true);
  // A new document goes into the directory the menu was opened in, never
  // into one an earlier menu named: the view's directory is remembered, or,
  // where the view names none (a category's list of directories), none.
  SetUserParam("TV_ID", GetParamValue("TV_ID"));
}

void TfrmMain::ReadSelection() {
  FDocType = GetParamValue("TV_ID");
  if (!FDocType.empty()) SetUserParam("TV_ID", FDocType);
  FIsListRow = Position("TV_ID", FViewParams);
}

void TfrmMain::PrepareMenuSingleSelection() {
  TfrmClsfrmConfig::PrepareMenuSingleSelection();
  SetUserParam("LabDoc_ID", GetParamValue("LabDoc_ID"));
  ReadSelection();
  if (FIsListRow != 0) {
    miNew->SetVisible(true);
    if (DirectoryCommandsAllowed()) {
      miDeleteList->SetVisible(true);
      miCopyList->SetVisible(true);
    }
  } else {
    for (rt::TMenuItem* item : {miProperties, miDelete, miOpenFile, miSaveAs, N2}) item->SetVisible(true);
    miVersions->SetVisible(HasHistory());
  }
}

void TfrmMain::PrepareMenuMultiSelection() {
  TfrmClsfrmConfig::PrepareMenuMultiSelection();
  ReadSelection();
  if (FIsListRow != 0) {
    if (DirectoryCommandsAllowed()) {
      miDeleteList->SetVisible(true);
      miCopyList->SetVisible(true);
    }
  } else {
    miDelete->SetVisible(true);
    // The history is one document's: offered, but not for several.
    miVersions->SetVisible(HasHistory());
    miVersions->SetEnabled(false);
  }
}

bool TfrmMain::DirectoryCommandsAllowed() {
  // Where the host has the documents detail node configured, directories
  // are managed only from the director's subsystem.
  int exists = 0;
  OleCheck(objDataCtrl->RecordExists("Pacs_MMCTreeViewConfig", "TV_Name='文档管理明细'", &exists));
  if (exists == 0) return true;
  std::string sys_code;
  OleCheck(objBaseInfo->GetSysCode(&sys_code));
  return sys_code == "LIS_DIRECTOR";
}

}  // namespace labdocs
