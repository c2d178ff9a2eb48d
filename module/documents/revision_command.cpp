// Revising a document ("修改文档"): the stored file is fetched into the local
// cache, opened with its own program, and stored back as the document's new
// content once the user confirms that it was saved and closed there. A copy
// left in the cache by an earlier revision with edits that were never stored
// is offered for storing first.
#include <cstdint>
#include <cstring>
#include <memory>

#include "labdoc/api.h"
#include "module/documents/main_form.h"
#include "module/documents/save_file_form.h"
#include "module/service_calls/result_check.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/services/common_service.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/sysutils.h"
#include "runtime/text/file_name.h"
#include "runtime/text/gbk.h"

namespace labdocs {
namespace {

// The first and the last instant a DOS file date can hold, 1980-01-01
// 00:00:00 and 2107-12-31 23:59:58, as DOS date and time words.
constexpr WORD kFirstDosDate = (0 << 9) | (1 << 5) | 1;
constexpr WORD kFirstDosTime = 0;
constexpr WORD kLastDosDate = (127 << 9) | (12 << 5) | 31;
constexpr WORD kLastDosTime = (23 << 11) | (59 << 5) | 29;
// 1980-01-01 00:00:00 and 2108-01-01 00:00:00 as file times: 100-nanosecond
// ticks since 1601-01-01.
constexpr std::uint64_t kFirstDosFileTime = 138426ull * 86400ull * 10000000ull;
constexpr std::uint64_t kPastLastDosFileTime = 185177ull * 86400ull * 10000000ull;

std::uint64_t FileTimeTicks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

// The local copy's last-access time, in local time, at the two-second
// resolution of a DOS file date. A time outside the DOS range counts as the
// range's nearer end: a copy dated before 1980 is older than any stored
// content, one dated after 2107 newer than any.
rt::DateTime TfrmMain::GetLocalFileTime(const std::string& path) {
  WIN32_FIND_DATAA find_data{};
  HANDLE search = FindFirstFileA(path.c_str(), &find_data);
  if (search == INVALID_HANDLE_VALUE) throw rt::Exception("读取不到本地文件的时间: " + path);
  FindClose(search);

  FILETIME local{};
  if (!FileTimeToLocalFileTime(&find_data.ftLastAccessTime, &local))
    throw rt::Exception("本地文件的时间无法换算为本地时间: " + path);
  // The range is judged here: not every system's conversion refuses a time
  // outside it.
  WORD dos_date = kFirstDosDate;
  WORD dos_time = kFirstDosTime;
  if (FileTimeTicks(local) >= kPastLastDosFileTime) {
    dos_date = kLastDosDate;
    dos_time = kLastDosTime;
  } else if (FileTimeTicks(local) >= kFirstDosFileTime && !FileTimeToDosDateTime(&local, &dos_date, &dos_time)) {
    throw rt::Exception("本地文件的时间无法换算为 DOS 时间: " + path);
  }
  return rt::FileDateToDateTime(static_cast<std::int32_t>((static_cast<std::uint32_t>(dos_date) << 16) | dos_time));
}

void TfrmMain::ActUpdateFileExecute(rt::TObject*) {
  // The fetch buffer lives until the command ends, whichever way it ends.
  std::unique_ptr<char[]> buffer;
  try {
    if (!FDocLibReady) {
      OleCheck(objCommon->Alert("文档库不可用，无法修改文档！"));
      return;
    }
    const std::int32_t doc_id = rt::StrToIntDef(rt::gbk::Trim(GetRowParam(*cdsParams, "LabDoc_ID")), -1);
    const std::string file_name = GetRowParam(*cdsParams, "DISP_名称");

    // A copy left by an earlier revision whose edits were never stored is
    // offered for storing first. Only the store can tell such a copy: one it
    // fetched for this document and that changed since.
    if (!file_name.empty()) {
      // A name that is no plain file name could lead out of the cache.
      if (!rt::IsSafeFileName(file_name)) {
        OleCheck(objCommon->Alert("文档的文件名 " + file_name + " 不能用作文档缓存中的文件名，无法修改此文档！"));
        return;
      }
      const std::string local_copy = CacheFolder() + file_name;
      if (rt::FileExists(local_copy) && LocalCopyHoldsEdits(doc_id, local_copy)) {
        int answer = 0;
        OleCheck(objCommon->Confirm("发现本地文件较新,可能上次修改未保存至服务器\n\r是否保存?", 1, &answer));
        if (answer == 1) StoreRevision(doc_id, local_copy);
      }
    }

    buffer = std::make_unique<char[]>(kRevisionPathBufferSize);
    char* path_buffer = buffer.get();
    if (!FetchDocument(doc_id, path_buffer)) return;
    const std::string fetched(buffer.get(), strnlen(buffer.get(), kRevisionPathBufferSize));

    // Others who revise the document now are named, and the user decides
    // whether to go on. This workstation's revision is known to others until
    // the command ends, whichever way it ends.
    const std::string others = BeginRevision(doc_id);
    struct EndOfRevision {
      TfrmMain& form;
      std::int32_t doc_id;
      ~EndOfRevision() {
        try {
          form.EndRevision(doc_id);
        } catch (const rt::Exception&) {
          // The store removes a revision whose owner has ended.
        }
      }
    } end_of_revision{*this, doc_id};
    if (!others.empty()) {
      int answer = 0;
      OleCheck(objCommon->Confirm(others + "同时修改时，后保存的一方会得到提示。\n\r是否继续修改?", 1, &answer));
      if (answer != 1) return;
    }

    const HINSTANCE started = ShellExecuteA(nullptr, "open", fetched.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
    if (reinterpret_cast<std::intptr_t>(started) <= 32) {
      // Nothing to edit it with: asking whether it was saved would mislead.
      OleCheck(objCommon->Alert("没有与文件 " + fetched + " 关联的打开程序，无法打开它进行修改！"));
      return;
    }
    if (ConfirmSaveToServer()) StoreRevision(doc_id, fetched);
  } catch (const rt::Exception& error) {
    buffer.reset();
    OleCheck(
        objCommon->Prompt(std::string("修改文档操作失败,最可能的原因是:\r\n") + error.what() + "\r\n本地文件未关闭"));
  }
}

void TfrmMain::StoreRevision(std::int32_t doc_id, const std::string& local_copy) {
  // The copy replaces the content it was fetched as, and no other unless
  // the user agrees: the store compares as it makes the copy current, so a
  // content another workstation stores meanwhile, even while this upload
  // runs, is never replaced unasked. Each content stored over the one the
  // user agreed to replace is asked about anew.
  std::int64_t expected = 0;
  for (;;) {
    std::string meanwhile;
    if (UpdateDocumentExpecting(doc_id, local_copy, expected, meanwhile)) return;
    if (meanwhile.empty()) {
      TellNotStored(local_copy);
      return;
    }
    int answer = 0;
    OleCheck(objCommon->Confirm(meanwhile + "\n\r是否仍把您的修改存为最新内容?(对方存入的内容会保留为上一版本)", 1,
                                &answer));
    if (answer != 1) {
      OleCheck(objCommon->Alert("您的修改没有保存到服务器，修改过的文件仍在 " + local_copy + "。"));
      return;
    }
  }
}

void TfrmMain::TellNotStored(const std::string& local_copy) {
  OleCheck(objCommon->Alert("文档没有保存到服务器(文档可能已被删除，或文档库不可用)。修改过的文件仍在 " + local_copy +
                            "，下次修改此文档时会提示保存。"));
}

}  // namespace labdocs
