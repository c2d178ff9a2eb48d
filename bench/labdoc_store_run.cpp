// One document-store operation as a process of its own, for the whole-process
// comparison in labdoc_bench.sh: loads LAB_DOC by name, initialises it with a
// cache folder, runs one operation and prints how long the entry point took.
//
//   labdoc_store_run create <database>             a new, empty host database (a
//                                                  file, or a server's setting)
//   labdoc_store_run store  <cache> <file>         prints: <seconds> <number>
//   labdoc_store_run fetch  <cache> <number>       prints: <seconds> <path>
//   labdoc_store_run delete <cache> <number>       prints: <seconds> <yes/no>
//   labdoc_store_run grow   <cache> <documents>    stores that many new documents
//                                                  (small texts), every third one
//                                                  revised twice, for the move
//                                                  benchmark; prints: <seconds>
//                                                  <first number> <last number>
//
// Paths are native; the database is the one LABDOCS_DATABASE names (a file
// or a server, as the store reads it).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "labdoc/api.h"
#include "runtime/data/session.h"
#include "runtime/ole/error_info.h"
#include "runtime/platform/platform.h"

namespace {

int Fail(const std::string& what, HRESULT status) {
  std::fprintf(stderr, "%s failed: %08x %s\n", what.c_str(), static_cast<unsigned>(status),
               rt::TakeErrorInfo().c_str());
  return 1;
}

// Stores `documents` new small texts from a file beside the cache folder
// (a file in it would be taken for a document's copy), each third one then
// revised twice; stops at the first failure.
HRESULT Grow(const labdocs::DocStoreApi& store, const std::string& cache, int documents, std::uint8_t& ok,
             std::string& result) {
  const std::string file = cache + "../labdoc_store_run-grow.txt";
  const auto write = [&](int n, int version) {
    std::ofstream(rt::platform::ToNativePath(file), std::ios::binary | std::ios::trunc)
        << "document " << n << ", version " << version << "\n"
        << std::string(static_cast<std::size_t>(200 + n % 800), static_cast<char>('a' + n % 26));
  };
  std::int32_t first = 0, number = 0;
  for (int n = 1; n <= documents; ++n) {
    write(n, 1);
    if (HRESULT status = store.SaveLabDoc(file.c_str(), &number, &ok); status < 0 || ok == 0) return status;
    if (first == 0) first = number;
    for (int version = 2; n % 3 == 0 && version <= 3; ++version) {
      write(n, version);
      if (HRESULT status = store.UpdateLabDoc(number, file.c_str(), &ok); status < 0 || ok == 0) return status;
    }
  }
  result = std::to_string(first) + " " + std::to_string(number);
  return S_OK;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "create" && argc == 3) {
    try {
      rt::Connect(argv[2]);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "create failed: %s\n", error.what());
      return 1;
    }
    return 0;
  }
  if (argc != 4 || (command != "store" && command != "fetch" && command != "delete" && command != "grow")) {
    std::fprintf(stderr, "usage: labdoc_store_run create <db> | store <cache> <file> | fetch|delete <cache> <n> | "
                         "grow <cache> <documents>\n");
    return 2;
  }
  HMODULE library = LoadLibraryA(labdocs::kDocStoreLibrary);
  if (library == nullptr) return Fail("LoadLibraryA", 0);
  const labdocs::DocStoreApi store = labdocs::ResolveDocStoreApi(library);
  if (!store.HasRequired()) return Fail("GetProcAddress", 0);

  const std::string cache = rt::platform::FromNativePath(argv[2]) + "/";
  std::int32_t reserved = 0;
  if (HRESULT status = store.InitLabDoc(cache.c_str(), &reserved); status < 0) return Fail("InitLabDoc", status);

  std::uint8_t ok = 0;
  HRESULT status = S_OK;
  std::string result;
  const auto start = std::chrono::steady_clock::now();
  if (command == "store") {
    const std::string file = rt::platform::FromNativePath(argv[3]);
    std::int32_t number = 0;
    status = store.SaveLabDoc(file.c_str(), &number, &ok);
    result = std::to_string(number);
  } else if (command == "fetch") {
    std::vector<char> buffer(labdocs::kFilePathBufferSize, '\0');
    char* path = buffer.data();
    status = store.GetLabDoc(std::stoi(argv[3]), &path, &ok);
    result = path;
  } else if (command == "grow") {
    status = Grow(store, cache, std::stoi(argv[3]), ok, result);
  } else {
    status = store.DelLabDoc(std::stoi(argv[3]), &ok);
    result = ok != 0 ? "yes" : "no";
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (status < 0) return Fail(command, status);
  if (ok == 0) {
    std::fprintf(stderr, "%s answered no\n", command.c_str());
    return 1;
  }
  std::printf("%.6f %s\n", seconds, result.c_str());
  store.FreeLabDoc();
  FreeLibrary(library);
  return 0;
}
