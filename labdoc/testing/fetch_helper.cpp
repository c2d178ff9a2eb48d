// A second process for the store's tests: loads the store by name, as a
// program without a database session does.
//
//   labdoc_fetch_helper <cache folder> <document number> <ready file> <go file> <report file>
//     waits until the test lets it go, fetches one document and reports what
//     it got: one line with the status in hex, the yes/no answer, the size
//     and SHA-256 digest of the file at the fetched path as read right after
//     the fetch, and the fetched path (GBK).
//   labdoc_fetch_helper churn <cache folder> <document number> <file A> <file B> <ready file>
//     stores and fetches until it is killed: makes A and B the document's
//     content in turn, fetching it after each update, and stores A as a new
//     document, fetches it and deletes it. Ends with a message on the error
//     stream and exit code 7 when an entry point fails.
//   labdoc_fetch_helper update <cache folder> <document number> <file> <barrier folder>
//     another workstation (PC-B, where 李四 works) that stores the file as
//     the document's content while an upload of the test's is held at the
//     barrier (LABDOCS_TEST_UPLOAD_BARRIER, labdoc/pending_content.cpp):
//     waits until that upload has reached it, stores, and lets it go on.
//     Exit code 7, with a message on the error stream, when the store
//     fails or answers no.
//
// Folders and files are native paths. The database is the one that
// LABDOCS_DATABASE names.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "labdoc/api.h"
#include "labdoc/local_file.h"
#include "labdoc/sha256.h"
#include "runtime/ole/error_info.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/sleep.h"
#include "runtime/services/environment.h"

namespace {

// Ends the process when an entry point failed or answered no.
void Require(const char* what, HRESULT status, const std::uint8_t& ok) {
  if (status >= 0 && ok != 0) return;
  std::fprintf(stderr, "%s: status %08x, answer %d: %s\n", what, static_cast<unsigned>(status), int{ok},
               rt::TakeErrorInfo().c_str());
  std::exit(7);
}

[[noreturn]] void Churn(const labdocs::DocStoreApi& store, std::int32_t doc_id, const std::string& file_a,
                        const std::string& file_b) {
  std::vector<char> buffer(labdocs::kFilePathBufferSize, '\0');
  std::uint8_t ok = 0;  // read by Require after each call
  for (bool a = false;; a = !a) {
    Require("UpdateLabDoc", store.UpdateLabDoc(doc_id, (a ? file_a : file_b).c_str(), &ok), ok);
    char* path = buffer.data();
    Require("GetLabDoc", store.GetLabDoc(doc_id, &path, &ok), ok);
    std::int32_t added = 0;
    Require("SaveLabDoc", store.SaveLabDoc(file_a.c_str(), &added, &ok), ok);
    Require("GetLabDoc", store.GetLabDoc(added, &path, &ok), ok);
    Require("DelLabDoc", store.DelLabDoc(added, &ok), ok);
  }
}

int FetchOnce(const labdocs::DocStoreApi& store, char** argv) {
  std::ofstream(argv[3]).put('1');
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!std::filesystem::exists(argv[4])) {
    if (std::chrono::steady_clock::now() > deadline) return 6;
    rt::platform::SleepFor(std::chrono::milliseconds(1));
  }

  std::vector<char> buffer(labdocs::kFilePathBufferSize, '\0');
  char* path = buffer.data();
  std::uint8_t ok = 0;
  const HRESULT status = store.GetLabDoc(std::stoi(argv[2]), &path, &ok);
  if (status < 0) std::fprintf(stderr, "GetLabDoc: %s\n", rt::TakeErrorInfo().c_str());
  std::string digest = "-";
  std::uint64_t size = 0;
  if (status >= 0 && ok != 0) {
    labdocs::labdoc::InputFile file(path);
    labdocs::labdoc::Sha256 sha;
    std::vector<std::uint8_t> chunk(1 << 20);
    while (std::size_t n = file.Read(chunk.data(), chunk.size())) {
      sha.Update(chunk.data(), n);
      size += n;
    }
    digest = sha.HexDigest();
  }
  std::ofstream report(argv[5], std::ios::binary);
  char status_text[16];
  std::snprintf(status_text, sizeof status_text, "%08x", static_cast<unsigned>(status));
  report << status_text << ' ' << int{ok} << ' ' << size << ' ' << digest << ' ' << path << '\n';
  return 0;
}

int UpdateAtBarrier(const labdocs::DocStoreApi& store, char** argv) {
  rt::HostEnvironment environment = rt::Environment();
  environment.computer_name = "PC-B";
  environment.user_name = "李四";
  rt::SetEnvironment(environment);
  const std::filesystem::path barrier(argv[5]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!std::filesystem::exists(barrier / "reached")) {
    if (std::chrono::steady_clock::now() > deadline) return 6;
    rt::platform::SleepFor(std::chrono::milliseconds(1));
  }
  std::uint8_t ok = 0;
  const HRESULT status = store.UpdateLabDoc(std::stoi(argv[3]), rt::platform::FromNativePath(argv[4]).c_str(), &ok);
  if (status < 0 || ok == 0)
    std::fprintf(stderr, "UpdateLabDoc: status %08x, answer %d: %s\n", static_cast<unsigned>(status), int{ok},
                 rt::TakeErrorInfo().c_str());
  std::ofstream(barrier / "go").put('1');
  return status >= 0 && ok != 0 ? 0 : 7;
}

}  // namespace

int main(int argc, char** argv) {
  const bool churn = argc == 7 && std::string(argv[1]) == "churn";
  const bool update = argc == 6 && std::string(argv[1]) == "update";
  if (argc != 6 && !churn) {
    std::fprintf(stderr, "usage: labdoc_fetch_helper <cache> <number> <ready> <go> <report>\n"
                         "       labdoc_fetch_helper churn <cache> <number> <file A> <file B> <ready>\n"
                         "       labdoc_fetch_helper update <cache> <number> <file> <barrier>\n");
    return 2;
  }
  HMODULE library = LoadLibraryA(labdocs::kDocStoreLibrary);
  if (library == nullptr) return 3;
  const labdocs::DocStoreApi store = labdocs::ResolveDocStoreApi(library);
  if (!store.HasRequired()) return 4;

  char** args = churn || update ? argv + 1 : argv;
  const std::string cache = rt::platform::FromNativePath(args[1]);
  std::int32_t reserved = 0;
  if (store.InitLabDoc(cache.c_str(), &reserved) < 0) return 5;
  if (churn) {
    std::ofstream(argv[6]).put('1');
    Churn(store, std::stoi(argv[3]), rt::platform::FromNativePath(argv[4]), rt::platform::FromNativePath(argv[5]));
  }
  const int result = update ? UpdateAtBarrier(store, argv) : FetchOnce(store, argv);
  store.FreeLabDoc();
  FreeLibrary(library);
  return result;
}
