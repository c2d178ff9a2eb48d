#include "module/documents/version_history_form.h"

#include "module/documents/main_form.h"
#include "module/service_calls/result_check.h"
#include "runtime/platform/platform.h"
#include "runtime/services/common_service.h"
#include "runtime/services/sui_controls.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/stdctrls.h"

namespace labdocs {

std::vector<std::string> VersionColumns() { return {"版本", "存入时间", "存入者", "大小", "SHA-256", "当前"}; }

std::vector<std::string> VersionCells(const DocVersion& version) {
  std::string who = version.user.empty() ? std::string("(未知用户)") : version.user;
  if (!version.host.empty()) who += "(" + version.host + ")";
  return {std::to_string(version.number), version.stored_at,          who, std::to_string(version.size),
          version.sha256.substr(0, 12),   version.current ? "是" : ""};
}

TfrmVersions::TfrmVersions(rt::TComponent* owner) : rt::TForm(owner) {
  PublishField("sfrmVersions", sfrmVersions);
  PublishField("lbDocument", lbDocument);
  PublishField("lbKept", lbKept);
  PublishField("lvVersions", lvVersions);
  PublishField("btnOpen", btnOpen);
  PublishField("btnSaveAs", btnSaveAs);
  PublishField("btnRestore", btnRestore);
  PublishField("btnClose", btnClose);
  PublishMethod("FormShow", [this](rt::TObject* s) { FormShow(s); });
  PublishMethod("btnOpenClick", [this](rt::TObject* s) { btnOpenClick(s); });
  PublishMethod("btnSaveAsClick", [this](rt::TObject* s) { btnSaveAsClick(s); });
  PublishMethod("btnRestoreClick", [this](rt::TObject* s) { btnRestoreClick(s); });
  PublishMethod("btnCloseClick", [this](rt::TObject* s) { btnCloseClick(s); });
}

void TfrmVersions::Create() { LoadLayout(ClassLayout()); }

void TfrmVersions::ShowDocument(TfrmMain& view, std::int32_t doc_id, const std::string& file_name) {
  view_ = &view;
  doc_id_ = doc_id;
  file_name_ = file_name;
  sfrmVersions->SetCaption("版本历史 - " + (file_name.empty() ? "文档 " + std::to_string(doc_id) : file_name));
  lbDocument->SetCaption("文档 " + std::to_string(doc_id) + (file_name.empty() ? "" : ": " + file_name));
}

void TfrmVersions::FormShow(rt::TObject*) { Refresh(); }

void TfrmVersions::Refresh() {
  const std::optional<DocVersion> was =
      lvVersions->ItemIndex() >= 0 ? std::optional(versions_.at(static_cast<std::size_t>(lvVersions->ItemIndex())))
                                   : std::nullopt;
  const std::optional<VersionList> list = view_->ListVersions(doc_id_);
  versions_ = list ? list->versions : std::vector<DocVersion>{};
  lbKept->SetCaption(list ? list->kept : std::string("文档已不存在"));

  rt::RowSet rows;
  for (const std::string& column : VersionColumns()) rows.fields.push_back({column, rt::FieldType::Text});
  int select = versions_.empty() ? -1 : 0;
  for (std::size_t i = 0; i < versions_.size(); ++i) {
    std::vector<rt::Value> row;
    for (std::string& cell : VersionCells(versions_[i])) row.emplace_back(std::move(cell));
    rows.rows.push_back(std::move(row));
    if (was && versions_[i].content_id == was->content_id) select = static_cast<int>(i);
  }
  lvVersions->SetRows(std::move(rows));
  lvVersions->SetItemIndex(select);
}

std::optional<DocVersion> TfrmVersions::Selected() {
  const int index = lvVersions->ItemIndex();
  if (index < 0) {
    OleCheck(view_->objCommon->Alert("请先在列表中选择一个版本！"));
    return std::nullopt;
  }
  return versions_.at(static_cast<std::size_t>(index));
}

std::string TfrmVersions::Fetched(const DocVersion& version) {
  std::string path = view_->FetchVersion(doc_id_, version.content_id);
  if (path.empty())
    OleCheck(view_->objCommon->Alert("版本 " + std::to_string(version.number) +
                                     " 没有取出: 它已不在文档库中, 或它在文档缓存中的路径太长。"));
  return path;
}

void TfrmVersions::btnOpenClick(rt::TObject*) {
  const std::optional<DocVersion> version = Selected();
  if (!version) return;
  const std::string path = Fetched(*version);
  if (path.empty()) return;
  // As the store opens a document: with the program associated with its type.
  const HINSTANCE started = ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (reinterpret_cast<std::intptr_t>(started) <= 32)
    OleCheck(view_->objCommon->Alert("文件打开失败,可能是下载失败或没有安装相应的打开程序！"));
}

void TfrmVersions::btnSaveAsClick(rt::TObject*) {
  const std::optional<DocVersion> version = Selected();
  if (!version) return;
  const std::string path = Fetched(*version);
  if (!path.empty()) view_->SaveCopyAs(path, rt::ExtractFileName(path));
}

void TfrmVersions::btnRestoreClick(rt::TObject*) {
  const std::optional<DocVersion> version = Selected();
  if (!version) return;
  const std::string number = std::to_string(version->number);
  if (version->current) {
    OleCheck(view_->objCommon->Prompt("版本 " + number + " 就是当前内容，不必恢复。"));
    return;
  }
  int answer = 0;
  OleCheck(
      view_->objCommon->Confirm("是否把版本 " + number + " 恢复为当前内容?(当前内容会保留为上一版本)", 1, &answer));
  if (answer != 1) return;
  if (!view_->RestoreVersion(doc_id_, version->content_id)) {
    OleCheck(view_->objCommon->Alert("版本 " + number + " 没有恢复: 文档或此版本已不在文档库中。"));
    Refresh();
    return;
  }
  view_->StampAudit(doc_id_);
  restored_ = true;
  Refresh();
  OleCheck(view_->objCommon->Prompt("已把版本 " + number + " 恢复为当前内容。"));
}

void TfrmVersions::btnCloseClick(rt::TObject*) { Close(); }

void TfrmMain::acVersionsExecute(rt::TObject*) {
  const std::int32_t doc_id = rt::StrToIntDef(rt::gbk::Trim(GetRowParam(*cdsParams, "LabDoc_ID")), -1);
  if (doc_id < 1 || !HasHistory()) return;
  // The view form owns the form; it goes with the view form.
  auto* versions = rt::CreateForm<TfrmVersions>(this);
  versions->ShowDocument(*this, doc_id, GetRowParam(*cdsParams, "DISP_名称"));
  versions->ShowModal();
  // A version restored changed the document: the host reads the list again.
  if (versions->Restored()) FDataChanged = true;
  versions->Free();
}

}  // namespace labdocs
