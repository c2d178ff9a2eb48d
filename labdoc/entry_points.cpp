// The entry points of the document-store library: C functions with the
// standard calling convention, found by name. Each answers a status, negative
// on failure with the reason left by rt::SetErrorInfo, and, where it has one,
// a yes/no byte that is set to "no" before anything else happens. A "no" is
// not a failure: a missing document or file answers no with status S_OK.
// Every pointer argument must be valid (null answers E_POINTER). No
// exception ever leaves an entry point. Calls are served one at a time.
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <type_traits>

#include "labdoc/api.h"
#include "labdoc/content_chunks.h"
#include "labdoc/document_store.h"
#include "runtime/ole/error_info.h"
#include "runtime/text/gbk.h"

#ifndef LABDOC_EXPORT
#define LABDOC_EXPORT
#endif

namespace labdocs::labdoc {
namespace {

// A pointer argument that is null.
class ENullArgument : public rt::Exception {
 public:
  using rt::Exception::Exception;
};

// An entry point called before InitLabDoc (or after FreeLabDoc).
class ENotInitialised : public rt::Exception {
 public:
  using rt::Exception::Exception;
};

struct Library {
  std::mutex mutex;
  DatabaseLink link;
  std::unique_ptr<DocumentStore> store;
};

Library& TheLibrary() {
  static Library library;
  return library;
}

template <class T>
T& Required(T* pointer, const char* name) {
  if (pointer == nullptr) throw ENullArgument(std::string("参数 ") + name + " 是空指针");
  return *pointer;
}

DocumentStore& Store(Library& library) {
  if (!library.store) throw ENotInitialised("文档库尚未初始化(没有调用 InitLabDoc)");
  return *library.store;
}

void LeaveReason(const char* reason) noexcept {
  try {
    rt::SetErrorInfo(reason);
  } catch (...) {
  }
}

// Runs an entry point's body under the library's lock and turns whatever it
// raises into a status.
template <class Body>
HRESULT Run(Body&& body) noexcept {
  try {
    Library& library = TheLibrary();
    std::lock_guard lock(library.mutex);
    body(library);
    return S_OK;
  } catch (const ENullArgument& error) {
    LeaveReason(error.what());
    return E_POINTER;
  } catch (const ENotInitialised& error) {
    LeaveReason(error.what());
    return E_UNEXPECTED;
  } catch (const std::bad_alloc&) {
    LeaveReason("内存不足");
    return E_OUTOFMEMORY;
  } catch (const std::exception& error) {
    LeaveReason(error.what());
    return E_FAIL;
  } catch (...) {
    LeaveReason("文档库发生未知错误");
    return E_UNEXPECTED;
  }
}

// Puts a notice into the caller's buffer of kNoticeBufferSize bytes: cut at
// a whole character when it is longer, always with its terminating zero.
void PutNotice(char* buffer, const std::string& notice) {
  std::size_t length = 0;
  while (length < notice.size()) {
    const std::size_t next = length + rt::gbk::CharLength(notice, length);
    if (next > labdocs::kNoticeBufferSize - 1) break;
    length = next;
  }
  std::memcpy(buffer, notice.data(), length);
  buffer[length] = '\0';
}

// The yes/no byte, set to "no" at once.
std::uint8_t& Answer(std::uint8_t* ok) {
  std::uint8_t& answer = Required(ok, "ok");
  answer = 0;
  return answer;
}

}  // namespace
}  // namespace labdocs::labdoc

using labdocs::labdoc::Answer;
using labdocs::labdoc::Library;
using labdocs::labdoc::PutNotice;
using labdocs::labdoc::Required;
using labdocs::labdoc::Run;
using labdocs::labdoc::Store;

extern "C" {

LABDOC_EXPORT HRESULT WINAPI InitLabDoc(const char* cache_dir, std::int32_t* reserved) {
  return Run([&](Library& library) {
    // Each initialisation starts afresh; one that fails leaves the store
    // uninitialised.
    library.store.reset();
    library.link.Disconnect();
    std::int32_t& done = Required(reserved, "reserved");
    done = 0;
    Required(cache_dir, "cache_dir");
    library.store = std::make_unique<labdocs::labdoc::DocumentStore>(cache_dir, library.link);
    done = 1;
  });
}

LABDOC_EXPORT HRESULT WINAPI FreeLabDoc() {
  return Run([&](Library& library) {
    library.store.reset();
    library.link.Disconnect();
  });
}

LABDOC_EXPORT HRESULT WINAPI GetLabDoc(std::int32_t doc_id, char** path, std::uint8_t* ok) {
  return Run([&](Library& library) {
    std::uint8_t& answer = Answer(ok);
    char* buffer = Required(path, "path");
    Required(buffer, "*path");
    // The caller's buffer is not smaller than this; the path and its
    // terminating zero must fit in it.
    const std::optional<std::string> fetched = Store(library).Fetch(doc_id, labdocs::kFilePathBufferSize - 1);
    if (!fetched) return;
    std::memcpy(buffer, fetched->c_str(), fetched->size() + 1);
    answer = 1;
  });
}

LABDOC_EXPORT HRESULT WINAPI SaveLabDoc(const char* file_name, std::int32_t* doc_id, std::uint8_t* ok) {
  return Run([&](Library& library) {
    std::uint8_t& answer = Answer(ok);
    std::int32_t& number = Required(doc_id, "doc_id");
    number = 0;
    Required(file_name, "file_name");
    const std::optional<std::int32_t> stored = Store(library).Save(file_name);
    if (!stored) return;
    number = *stored;
    answer = 1;
  });
}

LABDOC_EXPORT HRESULT WINAPI DelLabDoc(std::int32_t doc_id, std::uint8_t* ok) {
  return Run([&](Library& library) {
    std::uint8_t& answer = Answer(ok);
    answer = Store(library).Delete(doc_id) ? 1 : 0;
  });
}

LABDOC_EXPORT HRESULT WINAPI UpdateLabDoc(std::int32_t doc_id, const char* file_name, std::uint8_t* ok) {
  return Run([&](Library& library) {
    std::uint8_t& answer = Answer(ok);
    Required(file_name, "file_name");
    answer = Store(library).Update(doc_id, file_name) ? 1 : 0;
  });
}

LABDOC_EXPORT HRESULT WINAPI OpenLabDoc(std::int32_t doc_id, std::uint8_t* ok) {
  return Run([&](Library& library) {
    std::uint8_t& answer = Answer(ok);
    // No caller's buffer receives this path, so no length limit but the
    // system's applies.
    const std::optional<std::string> fetched = Store(library).Fetch(doc_id, std::numeric_limits<std::size_t>::max());
    if (!fetched) return;
    // Above 32: the associated program was started; otherwise there is none
    // (or it could not start), which is a "no".
    const HINSTANCE started = ShellExecuteA(nullptr, "open", fetched->c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    answer = reinterpret_cast<std::intptr_t>(started) > 32 ? 1 : 0;
  });
}

LABDOC_EXPORT HRESULT WINAPI CheckLabDoc(std::int32_t doc_id, const char* path, std::uint8_t* newer) {
  return Run([&](Library& library) {
    std::uint8_t& answer = Answer(newer);
    Required(path, "path");
    answer = Store(library).HoldsUnstoredEdits(doc_id, path) ? 1 : 0;
  });
}

LABDOC_EXPORT HRESULT WINAPI BeginReviseLabDoc(std::int32_t doc_id, char* notice, std::uint8_t* others) {
  return Run([&](Library& library) {
    std::uint8_t& answer = Answer(others);
    char& text = Required(notice, "notice");
    text = '\0';
    const std::string revising = Store(library).BeginRevision(doc_id);
    PutNotice(notice, revising);
    answer = revising.empty() ? 0 : 1;
  });
}

LABDOC_EXPORT HRESULT WINAPI EndReviseLabDoc(std::int32_t doc_id) {
  return Run([&](Library& library) { Store(library).EndRevision(doc_id); });
}

LABDOC_EXPORT HRESULT WINAPI StoredMeanwhileLabDoc(std::int32_t doc_id, const char* path, char* notice,
                                                   std::uint8_t* stored) {
  return Run([&](Library& library) {
    std::uint8_t& answer = Answer(stored);
    char& text = Required(notice, "notice");
    text = '\0';
    Required(path, "path");
    const std::optional<std::string> meanwhile = Store(library).StoredMeanwhile(doc_id, path);
    if (!meanwhile) return;
    PutNotice(notice, *meanwhile);
    answer = 1;
  });
}

LABDOC_EXPORT HRESULT WINAPI UpdateExpectingLabDoc(std::int32_t doc_id, const char* file_name, std::int64_t* expected,
                                                   char* notice, std::uint8_t* ok) {
  return Run([&](Library& library) {
    std::uint8_t& answer = Answer(ok);
    std::int64_t& replacing = Required(expected, "expected");
    char& text = Required(notice, "notice");
    text = '\0';
    Required(file_name, "file_name");
    const std::int64_t asked = replacing;
    replacing = 0;
    const auto outcome = Store(library).UpdateExpecting(doc_id, file_name, asked);
    replacing = outcome.current;
    PutNotice(notice, outcome.notice);
    answer = outcome.stored ? 1 : 0;
  });
}

LABDOC_EXPORT HRESULT WINAPI ListVersionsLabDoc(std::int32_t doc_id, char* buffer, std::int32_t buffer_size,
                                                std::int32_t* needed, std::uint8_t* ok) {
  return Run([&](Library& library) {
    std::uint8_t& answer = Answer(ok);
    std::int32_t& size_needed = Required(needed, "needed");
    size_needed = 0;
    Required(buffer, "buffer");
    const std::optional<labdocs::VersionList> versions = Store(library).Versions(doc_id);
    if (!versions) return;
    const std::string text = labdocs::FormatVersionList(*versions);
    if (text.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
      throw rt::Exception("文档的版本列表过长");
    size_needed = static_cast<std::int32_t>(text.size() + 1);
    if (buffer_size < size_needed) return;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    answer = 1;
  });
}

LABDOC_EXPORT HRESULT WINAPI GetVersionLabDoc(std::int32_t doc_id, std::int64_t content_id, char* path,
                                              std::int32_t path_size, std::uint8_t* ok) {
  return Run([&](Library& library) {
    std::uint8_t& answer = Answer(ok);
    Required(path, "path");
    if (path_size < 1) return;
    // The path and its terminating zero must fit in the caller's buffer.
    const std::optional<std::string> fetched = Store(library).FetchVersion(doc_id, content_id,
                                                                           static_cast<std::size_t>(path_size) - 1);
    if (!fetched) return;
    std::memcpy(path, fetched->c_str(), fetched->size() + 1);
    answer = 1;
  });
}

LABDOC_EXPORT HRESULT WINAPI RestoreVersionLabDoc(std::int32_t doc_id, std::int64_t content_id, std::uint8_t* ok) {
  return Run([&](Library& library) {
    std::uint8_t& answer = Answer(ok);
    answer = Store(library).Restore(doc_id, content_id) ? 1 : 0;
  });
}

}  // extern "C"

// The definitions have exactly the types the callers resolve them as.
static_assert(std::is_same_v<decltype(&InitLabDoc), labdocs::TInitLabDoc>);
static_assert(std::is_same_v<decltype(&FreeLabDoc), labdocs::TFreeLabDoc>);
static_assert(std::is_same_v<decltype(&GetLabDoc), labdocs::TGetLabDoc>);
static_assert(std::is_same_v<decltype(&SaveLabDoc), labdocs::TSaveLabDoc>);
static_assert(std::is_same_v<decltype(&DelLabDoc), labdocs::TDelLabDoc>);
static_assert(std::is_same_v<decltype(&UpdateLabDoc), labdocs::TUpdateLabDoc>);
static_assert(std::is_same_v<decltype(&OpenLabDoc), labdocs::TOpenLabDoc>);
static_assert(std::is_same_v<decltype(&CheckLabDoc), labdocs::TCheckLabDoc>);
static_assert(std::is_same_v<decltype(&BeginReviseLabDoc), labdocs::TBeginReviseLabDoc>);
static_assert(std::is_same_v<decltype(&EndReviseLabDoc), labdocs::TEndReviseLabDoc>);
static_assert(std::is_same_v<decltype(&StoredMeanwhileLabDoc), labdocs::TStoredMeanwhileLabDoc>);
static_assert(std::is_same_v<decltype(&UpdateExpectingLabDoc), labdocs::TUpdateExpectingLabDoc>);
static_assert(std::is_same_v<decltype(&ListVersionsLabDoc), labdocs::TListVersionsLabDoc>);
static_assert(std::is_same_v<decltype(&GetVersionLabDoc), labdocs::TGetVersionLabDoc>);
static_assert(std::is_same_v<decltype(&RestoreVersionLabDoc), labdocs::TRestoreVersionLabDoc>);
