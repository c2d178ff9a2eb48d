// The record form's yes/no operations on the document store, and the two
// commands that use the store directly: Open and Save as.
#include <array>
#include <cstring>
#include <vector>

#include "module/framework/record_form.h"
#include "module/service_calls/result_check.h"
#include "runtime/services/basic_service.h"
#include "runtime/services/common_service.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/sysutils.h"
#include "runtime/text/file_name.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/dialogs.h"

namespace labdocs {
namespace {

// The length of the zero-terminated text in a buffer the store filled,
// never reading past its size.
std::string BufferText(const char* buffer, std::size_t size) { return std::string(buffer, strnlen(buffer, size)); }

// The text after the last backslash that is not part of a double-byte
// character.
std::string AfterLastBackslash(const std::string& text) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); i += rt::gbk::CharLength(text, i))
    if (text[i] == '\\') start = i + 1;
  return text.substr(start);
}

}  // namespace

std::string TfrmClsfrmConfig::CacheFolder() {
  std::string base_dir;
  OleCheck(objBaseInfo->GetCurDir(&base_dir));
  return base_dir + "DocCache\\";
}

void TfrmClsfrmConfig::TellPathTooLong(const std::string& file_name) {
  if (!FDocLibReady || file_name.empty()) return;
  const std::string path = CacheFolder() + rt::SafeFileName(file_name);
  if (path.size() < kFilePathBufferSize) return;
  OleCheck(objCommon->Alert("文件 " + file_name + " 在文档缓存中的路径长 " + std::to_string(path.size()) +
                            " 字节，超过了 249 字节，无法取出。请缩短文件名或把程序放到路径较短的目录中！"));
}

bool TfrmClsfrmConfig::StoreDocument(const std::string& path, std::int32_t& doc_id) {
  if (!FDocLibReady) return false;
  // A path that does not fit the store's buffer whole is refused, never cut.
  if (path.size() >= kFilePathBufferSize || path.find('\0') != std::string::npos) return false;
  std::array<char, kFilePathBufferSize> buffer{};
  std::memcpy(buffer.data(), path.data(), path.size());
  std::uint8_t ok = 0;
  OleCheck(FSaveLabDoc(buffer.data(), &doc_id, &ok));
  return ok != 0;
}

bool TfrmClsfrmConfig::FetchDocument(std::int32_t doc_id, char*& buffer) {
  if (!FDocLibReady) return false;
  std::uint8_t ok = 0;
  OleCheck(FGetLabDoc(doc_id, &buffer, &ok));
  return ok != 0;
}

bool TfrmClsfrmConfig::UpdateDocument(std::int32_t doc_id, const char* path) {
  if (!FDocLibReady) return false;
  std::uint8_t ok = 0;
  OleCheck(FUpdateLabDoc(doc_id, path, &ok));
  return ok != 0;
}

bool TfrmClsfrmConfig::DeleteDocument(std::int32_t doc_id) {
  if (!FDocLibReady) return false;
  std::uint8_t ok = 0;
  OleCheck(FDelLabDoc(doc_id, &ok));
  return ok != 0;
}

bool TfrmClsfrmConfig::LocalCopyHoldsEdits(std::int32_t doc_id, const std::string& path) {
  if (!FDocLibReady || !FCheckLabDoc) return false;
  std::uint8_t newer = 0;
  OleCheck(FCheckLabDoc(doc_id, path.c_str(), &newer));
  return newer != 0;
}

std::string TfrmClsfrmConfig::BeginRevision(std::int32_t doc_id) {
  if (!FDocLibReady || !FBeginReviseLabDoc) return {};
  std::array<char, kNoticeBufferSize> notice{};
  std::uint8_t others = 0;
  OleCheck(FBeginReviseLabDoc(doc_id, notice.data(), &others));
  return others != 0 ? std::string(notice.data(), strnlen(notice.data(), notice.size())) : std::string();
}

void TfrmClsfrmConfig::EndRevision(std::int32_t doc_id) {
  if (FDocLibReady && FEndReviseLabDoc) OleCheck(FEndReviseLabDoc(doc_id));
}

bool TfrmClsfrmConfig::UpdateDocumentExpecting(std::int32_t doc_id, const std::string& path, std::int64_t& expected,
                                               std::string& meanwhile) {
  meanwhile.clear();
  if (!FDocLibReady || !FUpdateExpectingLabDoc) {
    expected = 0;
    return UpdateDocument(doc_id, path.c_str());
  }
  std::array<char, kNoticeBufferSize> notice{};
  std::uint8_t ok = 0;
  OleCheck(FUpdateExpectingLabDoc(doc_id, path.c_str(), &expected, notice.data(), &ok));
  if (expected != 0) meanwhile = BufferText(notice.data(), notice.size());
  return ok != 0;
}

void TfrmClsfrmConfig::OpenDocument(std::int32_t doc_id) {
  if (!FDocLibReady) return;
  std::uint8_t ok = 0;
  OleCheck(FOpenLabDoc(doc_id, &ok));
  if (!ok) OleCheck(objCommon->Alert("文件打开失败,可能是下载失败或没有安装相应的打开程序！"));
}

void TfrmClsfrmConfig::acOpenFileExecute(rt::TObject*) {
  std::string id = GetRowParam(*cdsParams, "LabDoc_ID");
  if (id.empty()) return;
  OpenDocument(rt::StrToIntDef(id, -1));
}

void TfrmClsfrmConfig::acSaveAsExecute(rt::TObject*) {
  std::string id = GetRowParam(*cdsParams, "LabDoc_ID");
  if (id.empty()) return;
  std::array<char, kFilePathBufferSize> buffer{};
  char* path_buffer = buffer.data();
  if (!FetchDocument(rt::StrToIntDef(id, -1), path_buffer)) {
    TellPathTooLong(GetRowParam(*cdsParams, "Disp_名称"));
    return;
  }
  const std::string fetched = BufferText(buffer.data(), buffer.size());

  std::string proposed = GetRowParam(*cdsParams, "Disp_名称");
  if (proposed.empty()) proposed = rt::ExtractFileName(AfterLastBackslash(GetRowParam(*cdsParams, "Disp_文件来源")));
  SaveCopyAs(fetched, proposed);
}

void TfrmClsfrmConfig::SaveCopyAs(const std::string& fetched, const std::string& proposed) {
  const std::string ext = rt::ExtractFileExt(fetched);
  SaveDialog->Filter = "文档类型(*" + ext + ")|*" + ext;
  SaveDialog->DefaultExt = ext;
  SaveDialog->FileName = proposed;
  if (!SaveDialog->Execute()) return;

  const std::string chosen = SaveDialog->FileName;
  if (CopyFileA(fetched.c_str(), chosen.c_str(), FALSE)) OleCheck(objCommon->Prompt("文件：" + chosen + " 保存成功！"));
}

std::optional<VersionList> TfrmClsfrmConfig::ListVersions(std::int32_t doc_id) {
  if (!HasHistory()) return std::nullopt;
  // A first guess, then the size the store asks for: the list may grow
  // between two calls, so it is asked again until it fits.
  std::vector<char> buffer(4096);
  for (;;) {
    std::int32_t needed = 0;
    std::uint8_t ok = 0;
    OleCheck(FListVersionsLabDoc(doc_id, buffer.data(), static_cast<std::int32_t>(buffer.size()), &needed, &ok));
    if (ok != 0) return ParseVersionList(BufferText(buffer.data(), buffer.size()));
    if (needed <= static_cast<std::int32_t>(buffer.size())) return std::nullopt;
    buffer.assign(static_cast<std::size_t>(needed), '\0');
  }
}

std::string TfrmClsfrmConfig::FetchVersion(std::int32_t doc_id, std::int64_t content_id) {
  if (!HasHistory()) return {};
  std::array<char, kRevisionPathBufferSize> buffer{};
  std::uint8_t ok = 0;
  OleCheck(FGetVersionLabDoc(doc_id, content_id, buffer.data(), static_cast<std::int32_t>(buffer.size()), &ok));
  return ok != 0 ? BufferText(buffer.data(), buffer.size()) : std::string();
}

bool TfrmClsfrmConfig::RestoreVersion(std::int32_t doc_id, std::int64_t content_id) {
  if (!HasHistory()) return false;
  std::uint8_t ok = 0;
  OleCheck(FRestoreVersionLabDoc(doc_id, content_id, &ok));
  return ok != 0;
}

}  // namespace labdocs
