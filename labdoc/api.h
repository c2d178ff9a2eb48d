// The document store's public interface: the library's name, its entry
// points (C functions found by name, each returning an automation status,
// negative on failure) and the one resolver of them that every caller uses.
// Texts are zero-terminated GBK; yes/no answers are single bytes. What each
// entry point does and leaves behind: labdoc/entry_points.cpp.
#pragma once

#include <cstdint>
#include <type_traits>

#include "runtime/ole/variant.h"
#include "runtime/platform/platform.h"

namespace labdocs {

// The library, loaded by this name through the system's search order.
inline constexpr const char* kDocStoreLibrary = "LAB_DOC.dll";

// Sizes of the path buffers handed to the store.
inline constexpr std::size_t kCacheDirBufferSize = 200;
inline constexpr std::size_t kFilePathBufferSize = 250;
inline constexpr std::size_t kRevisionPathBufferSize = 1000;

extern "C" {
// The store uses the cache directory given; the 32-bit value is not read.
using TInitLabDoc = HRESULT(WINAPI*)(const char* cache_dir, std::int32_t* reserved);
// Releases what InitLabDoc took; called once before the library is unloaded.
using TFreeLabDoc = HRESULT(WINAPI*)();
// Fetches a document into the cache; on yes *path's buffer holds its full path.
using TGetLabDoc = HRESULT(WINAPI*)(std::int32_t doc_id, char** path, std::uint8_t* ok);
// Stores a file as a new document whose number (1 or more) goes to *doc_id.
using TSaveLabDoc = HRESULT(WINAPI*)(const char* file_name, std::int32_t* doc_id, std::uint8_t* ok);
// Removes a stored document.
using TDelLabDoc = HRESULT(WINAPI*)(std::int32_t doc_id, std::uint8_t* ok);
// Replaces the stored content of a document by a file.
using TUpdateLabDoc = HRESULT(WINAPI*)(std::int32_t doc_id, const char* file_name, std::uint8_t* ok);
// Fetches a document and opens it with the program associated with its type.
using TOpenLabDoc = HRESULT(WINAPI*)(std::int32_t doc_id, std::uint8_t* ok);
// Whether the file at the path is the document's copy in the cache with
// edits that were not stored yet (*newer 1): the store fetched it for this
// document and it has changed since.
using TCheckLabDoc = HRESULT(WINAPI*)(std::int32_t doc_id, const char* path, std::uint8_t* newer);
// Marks the document as revised by this workstation until EndReviseLabDoc
// (or this process's end). *others 1 when other workstations revise it now,
// described in `notice` (who, where, since when; GBK, zero-terminated, at
// most kNoticeBufferSize bytes with the zero).
using TBeginReviseLabDoc = HRESULT(WINAPI*)(std::int32_t doc_id, char* notice, std::uint8_t* others);
using TEndReviseLabDoc = HRESULT(WINAPI*)(std::int32_t doc_id);
// Whether storing the copy at the path as the document's content would
// replace a content that another workstation stored after the copy was
// fetched (*stored 1); `notice` then says who stored it, where and when.
using TStoredMeanwhileLabDoc = HRESULT(WINAPI*)(std::int32_t doc_id, const char* path, char* notice,
                                                std::uint8_t* stored);
// As TUpdateLabDoc, but replaces only the content *expected names (0: the
// one the copy at the path was fetched as), compared in the transaction
// that makes the file's content current. When another content is current,
// nothing is stored: *expected receives that content's number and `notice`
// says who stored it, where and when (as TStoredMeanwhileLabDoc); the
// caller may ask the user and call again with that number. Otherwise
// *expected receives 0.
using TUpdateExpectingLabDoc = HRESULT(WINAPI*)(std::int32_t doc_id, const char* file_name, std::int64_t* expected,
                                                char* notice, std::uint8_t* ok);
// The document's kept contents, newest first, as a version list
// (labdoc/version_list.h) written into the caller's buffer of buffer_size
// bytes with its terminating zero. *needed receives the bytes the list
// takes with its zero (0 when there is no such document); the buffer is
// written only when it fits (*ok 1), else a caller calls again with a
// buffer of *needed bytes.
using TListVersionsLabDoc = HRESULT(WINAPI*)(std::int32_t doc_id, char* buffer, std::int32_t buffer_size,
                                             std::int32_t* needed, std::uint8_t* ok);
// Fetches one content of the document (a number the list gave) into the
// cache folder's subfolder of versions, under a name that says which
// version it is, and writes its full path, zero-terminated, into the
// caller's buffer of path_size bytes (*ok 0 when it would not fit, or there
// is no such content of the document). The copy is never taken for the
// document's copy: it is no candidate for storing back.
using TGetVersionLabDoc = HRESULT(WINAPI*)(std::int32_t doc_id, std::int64_t content_id, char* path,
                                           std::int32_t path_size, std::uint8_t* ok);
// Makes a kept content of the document current again: stored anew, as a
// file is, stamped with this workstation, user and time, and the content it
// replaces kept as a revision. *ok 0 when there is no such content of the
// document; 1 also when it is current already (nothing is stored then).
using TRestoreVersionLabDoc = HRESULT(WINAPI*)(std::int32_t doc_id, std::int64_t content_id, std::uint8_t* ok);
}

// The size of the notice buffers the caller hands to the store.
inline constexpr std::size_t kNoticeBufferSize = 512;

// A store library's entry points. The last eight, added later than the
// others, are optional: without CheckLabDoc no local copy is offered for
// storing before a revision; without the four of revisions, workstations
// revising one document are not told of each other, and a copy stored
// back replaces whatever content is current; without the three of the
// history, a document's kept contents cannot be listed, fetched or
// restored.
struct DocStoreApi {
  TInitLabDoc InitLabDoc = nullptr;
  TFreeLabDoc FreeLabDoc = nullptr;
  TGetLabDoc GetLabDoc = nullptr;
  TSaveLabDoc SaveLabDoc = nullptr;
  TDelLabDoc DelLabDoc = nullptr;
  TUpdateLabDoc UpdateLabDoc = nullptr;
  TOpenLabDoc OpenLabDoc = nullptr;
  TCheckLabDoc CheckLabDoc = nullptr;
  TBeginReviseLabDoc BeginReviseLabDoc = nullptr;
  TEndReviseLabDoc EndReviseLabDoc = nullptr;
  TStoredMeanwhileLabDoc StoredMeanwhileLabDoc = nullptr;
  TUpdateExpectingLabDoc UpdateExpectingLabDoc = nullptr;
  TListVersionsLabDoc ListVersionsLabDoc = nullptr;
  TGetVersionLabDoc GetVersionLabDoc = nullptr;
  TRestoreVersionLabDoc RestoreVersionLabDoc = nullptr;

  // Whether the seven entry points that every store has are there.
  bool HasRequired() const {
    return InitLabDoc && FreeLabDoc && GetLabDoc && SaveLabDoc && DelLabDoc && UpdateLabDoc && OpenLabDoc;
  }
  // Whether the optional ones are there too.
  bool HasAll() const { return HasRequired() && CheckLabDoc && BeginReviseLabDoc && ListVersionsLabDoc; }
  // Whether the three of the history are there.
  bool HasHistory() const { return ListVersionsLabDoc != nullptr; }
};

// The entry points of a loaded library (null: none), each found by its name.
// The four of revisions work together, and so do the three of the history:
// a library that lacks one of a set has none of it.
inline DocStoreApi ResolveDocStoreApi(HMODULE library) {
  DocStoreApi api;
  if (library == nullptr) return api;
  auto resolve = [library](auto& entry, const char* name) {
    entry = rt::platform::ProcAs<std::remove_reference_t<decltype(entry)>>(GetProcAddress(library, name));
  };
  resolve(api.InitLabDoc, "InitLabDoc");
  resolve(api.FreeLabDoc, "FreeLabDoc");
  resolve(api.GetLabDoc, "GetLabDoc");
  resolve(api.SaveLabDoc, "SaveLabDoc");
  resolve(api.DelLabDoc, "DelLabDoc");
  resolve(api.UpdateLabDoc, "UpdateLabDoc");
  resolve(api.OpenLabDoc, "OpenLabDoc");
  resolve(api.CheckLabDoc, "CheckLabDoc");
  resolve(api.BeginReviseLabDoc, "BeginReviseLabDoc");
  resolve(api.EndReviseLabDoc, "EndReviseLabDoc");
  resolve(api.StoredMeanwhileLabDoc, "StoredMeanwhileLabDoc");
  resolve(api.UpdateExpectingLabDoc, "UpdateExpectingLabDoc");
  if (!api.BeginReviseLabDoc || !api.EndReviseLabDoc || !api.StoredMeanwhileLabDoc || !api.UpdateExpectingLabDoc) {
    api.BeginReviseLabDoc = nullptr;
    api.EndReviseLabDoc = nullptr;
    api.StoredMeanwhileLabDoc = nullptr;
    api.UpdateExpectingLabDoc = nullptr;
  }
  resolve(api.ListVersionsLabDoc, "ListVersionsLabDoc");
  resolve(api.GetVersionLabDoc, "GetVersionLabDoc");
  resolve(api.RestoreVersionLabDoc, "RestoreVersionLabDoc");
  if (!api.ListVersionsLabDoc || !api.GetVersionLabDoc || !api.RestoreVersionLabDoc) {
    api.ListVersionsLabDoc = nullptr;
    api.GetVersionLabDoc = nullptr;
    api.RestoreVersionLabDoc = nullptr;
  }
  return api;
}

}  // namespace labdocs
