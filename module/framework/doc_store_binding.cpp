// Binding the document store: each record form loads the store library when
// it is created and releases and unloads it when it is destroyed, so no
// library stays loaded between calls and a laboratory can replace it while
// the host runs. (The store's start-up is kept cheap for this: it does
// nothing that a call does not need.) A form whose store is not ready works
// for everything that does not touch documents.
#include <array>
#include <cstring>

#include "module/framework/record_form.h"
#include "module/service_calls/result_check.h"
#include "runtime/sysutils.h"

namespace labdocs {

void TfrmClsfrmConfig::FormCreate(rt::TObject*) {
  FDocLibReady = false;
  FDocLib = LoadLibraryA(kDocStoreLibrary);
  if (!FDocLib) return;
  const DocStoreApi api = ResolveDocStoreApi(FDocLib);
  FInitLabDoc = api.InitLabDoc;
  FFreeLabDoc = api.FreeLabDoc;
  FGetLabDoc = api.GetLabDoc;
  FSaveLabDoc = api.SaveLabDoc;
  FDelLabDoc = api.DelLabDoc;
  FUpdateLabDoc = api.UpdateLabDoc;
  FOpenLabDoc = api.OpenLabDoc;
  FCheckLabDoc = api.CheckLabDoc;
  FBeginReviseLabDoc = api.BeginReviseLabDoc;
  FEndReviseLabDoc = api.EndReviseLabDoc;
  FUpdateExpectingLabDoc = api.UpdateExpectingLabDoc;
  FListVersionsLabDoc = api.ListVersionsLabDoc;
  FGetVersionLabDoc = api.GetVersionLabDoc;
  FRestoreVersionLabDoc = api.RestoreVersionLabDoc;
  if (!api.HasRequired()) return;

  const std::string cache_dir = CacheFolder();
  // The folder must fit the store's buffer whole; a shortened path would
  // name another folder.
  if (cache_dir.size() >= kCacheDirBufferSize) return;
  if (!rt::ForceDirectories(cache_dir)) return;

  std::array<char, kCacheDirBufferSize> buffer{};
  std::memcpy(buffer.data(), cache_dir.data(), cache_dir.size());
  std::int32_t reserved = 0;
  OleCheck(FInitLabDoc(buffer.data(), &reserved));
  FDocLibReady = true;
}

void TfrmClsfrmConfig::FormDestroy(rt::TObject*) {
  if (!FDocLib) return;
  if (FDocLibReady) {
    // A failing release leaves the library loaded: its code may still run.
    OleCheck(FFreeLabDoc());
    FDocLibReady = false;
  }
  // A library that never became ready is unloaded without being released.
  FreeLibrary(FDocLib);
  FDocLib = nullptr;
}

}  // namespace labdocs
