// The document store's entry points: C functions of the document-store
// library, found by name, each returning an automation status (negative on
// failure). Texts are zero-terminated GBK; yes/no answers are single bytes.
#pragma once

#include <cstdint>

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
}

// The size of the notice buffers the caller hands to the store.
inline constexpr std::size_t kNoticeBufferSize = 512;

// The entry points' names, in the order they are resolved. The last four,
// added later than the others, are optional: without CheckLabDoc no local
// copy is offered for storing before a revision; without the three of
// revisions, workstations revising one document are not told of each other.
inline constexpr const char* kDocStoreEntryPoints[] = {
    "InitLabDoc",  "FreeLabDoc",       "GetLabDoc",       "SaveLabDoc",          "DelLabDoc", "UpdateLabDoc",
    "OpenLabDoc",  "CheckLabDoc",      "BeginReviseLabDoc", "EndReviseLabDoc", "StoredMeanwhileLabDoc"};

}  // namespace labdocs
