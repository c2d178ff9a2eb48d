// A second process for the store's tests: loads the store by name, as a
// program without a database session does, waits until the test lets it go,
// fetches one document and reports what it got.
//
//   labdoc_fetch_helper <cache folder> <document number> <ready file> <go file> <report file>
//
// Folders and files are native paths. The database is the one that
// LABDOCS_DATABASE names. The report is one line: the status in hex, the
// yes/no answer, the size and SHA-256 digest of the file at the fetched
// path as read right after the fetch, and the fetched path (GBK).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "labdoc/local_file.h"
#include "labdoc/sha256.h"
#include "module/host/doc_store.h"
#include "runtime/platform/platform.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: labdoc_fetch_helper <cache> <number> <ready> <go> <report>\n");
    return 2;
  }
  HMODULE library = LoadLibraryA(labdocs::kDocStoreLibrary);
  if (library == nullptr) return 3;
  auto init = rt::platform::ProcAs<labdocs::TInitLabDoc>(GetProcAddress(library, "InitLabDoc"));
  auto get = rt::platform::ProcAs<labdocs::TGetLabDoc>(GetProcAddress(library, "GetLabDoc"));
  auto free_store = rt::platform::ProcAs<labdocs::TFreeLabDoc>(GetProcAddress(library, "FreeLabDoc"));
  if (init == nullptr || get == nullptr || free_store == nullptr) return 4;

  const std::string cache = rt::platform::FromNativePath(argv[1]);
  std::int32_t reserved = 0;
  if (init(cache.c_str(), &reserved) < 0) return 5;

  std::ofstream(argv[3]).put('1');
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!std::filesystem::exists(argv[4])) {
    if (std::chrono::steady_clock::now() > deadline) return 6;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  std::vector<char> buffer(labdocs::kFilePathBufferSize, '\0');
  char* path = buffer.data();
  std::uint8_t ok = 0;
  const HRESULT status = get(std::stoi(argv[2]), &path, &ok);
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
  free_store();
  FreeLibrary(library);
  return 0;
}
