// A workstation of the failover test (tools/test-failover.sh): loads the
// store by name, as a program without a database session does, and works
// through it while the server's primary dies and its standby takes over,
// without starting again; then the test's check of what the server kept.
//
//   labdoc_failover_workstation work <cache folder> <work folder> <journal> <stop file>
//     adds documents and revises those it added, in turn, each time from a
//     file of bytes of its own, until the stop file is there. Writes each
//     operation to the journal as it begins ("begin N add|revise DOC SHA256
//     MS") and as it ends ("end N done|failed DOC MS [reason]"); MS: the
//     time in milliseconds since 1970.
//   labdoc_failover_workstation check <cache folder> <cut> <journal>...
//     the operations of the journals against the server, the cut being the
//     time (MS) the primary was killed: every operation reported done has
//     its content there, every one reported failed has not, no document
//     lacks its content nor any content its document, each document
//     fetches whole as its last revision reported done, every content's
//     chunks (replaced revisions' too) have the digest it records, and
//     nothing is left pending after a store's sweep. Prints the figures;
//     exit code 1 when anything is lost or half there.
//
// Folders and files are native paths. The database is the one that
// LABDOCS_DATABASE names.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "labdoc/api.h"
#include "labdoc/database_link.h"
#include "labdoc/local_file.h"
#include "labdoc/sha256.h"
#include "runtime/data/session.h"
#include "runtime/errors.h"
#include "runtime/ole/error_info.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/sleep.h"
#include "runtime/text/gbk.h"

namespace {

namespace fs = std::filesystem;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Bytes that no other operation of the test stores: the workstation's
// folder and the operation's number seed them; 20 to 220 KB.
std::string ContentOf(const std::string& workstation, int n) {
  // clang-format off
  std::uint64_t state = std::hash<std::string>{}(workstation) * 1000003u + static_cast<std::uint64_t>(n);
  // clang-format on
  std::string bytes = workstation + " #" + std::to_string(n) + "\n";
  bytes.resize(20'000 + state % 200'000);
  for (std::size_t i = bytes.size() / 8; i < bytes.size(); ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    bytes[i] = static_cast<char>(state >> 56);
  }
  return bytes;
}

std::string DigestOf(const std::string& bytes) {
  labdocs::labdoc::Sha256 sha;
  sha.Update(bytes.data(), bytes.size());
  return sha.HexDigest();
}

std::string DigestOfFile(const std::string& ansi_path) {
  labdocs::labdoc::InputFile file(ansi_path);
  labdocs::labdoc::Sha256 sha;
  std::vector<std::uint8_t> chunk(1 << 16);
  while (const std::size_t n = file.Read(chunk.data(), chunk.size())) sha.Update(chunk.data(), n);
  return sha.HexDigest();
}

// Why an entry point failed or answered no, on one line, in UTF-8 for the
// test's output.
std::string Reason(HRESULT status) {
  std::string reason = status < 0 ? rt::TakeErrorInfo() : std::string("answered no");
  for (char& c : reason)
    if (c == '\n' || c == '\r') c = ' ';
  try {
    return rt::gbk::ToUtf8(reason);
  } catch (const rt::EConvertError&) {
    return reason;
  }
}

int Work(const labdocs::DocStoreApi& store, const fs::path& folder, const fs::path& journal_path,
         const fs::path& stop) {
  std::ofstream journal(journal_path, std::ios::binary | std::ios::app);
  std::vector<std::int32_t> mine;  // the documents whose adding was reported done
  const std::string name = folder.filename().string();
  for (int n = 1; !fs::exists(stop); ++n) {
    const bool revise = !mine.empty() && n % 2 == 0;
    std::int32_t doc_id = revise ? mine[static_cast<std::size_t>(n / 2) % mine.size()] : 0;
    const std::string bytes = ContentOf(name, n);
    const fs::path file = folder / ("op" + std::to_string(n) + ".bin");
    std::ofstream(file, std::ios::binary) << bytes;
    journal << "begin " << n << (revise ? " revise " : " add ") << doc_id << ' ' << DigestOf(bytes) << ' ' << NowMs()
            << std::endl;
    const std::string ansi_file = rt::platform::FromNativePath(file.string());
    std::uint8_t ok = 0;
    const HRESULT status = revise ? store.UpdateLabDoc(doc_id, ansi_file.c_str(), &ok)
                                  : store.SaveLabDoc(ansi_file.c_str(), &doc_id, &ok);
    const bool done = status >= 0 && ok != 0;
    journal << "end " << n << (done ? " done " : " failed ") << doc_id << ' ' << NowMs()
            << (done ? std::string() : ' ' + Reason(status)) << std::endl;
    if (done && !revise) mine.push_back(doc_id);
    fs::remove(file);
    // A workstation whose server is away tries again a moment later.
    if (!done) rt::platform::SleepFor(std::chrono::milliseconds(200));
  }
  return 0;
}

struct Operation {
  std::string workstation;
  int n = 0;
  bool revise = false;
  std::int64_t doc_id = 0;
  std::string digest;
  std::int64_t began = 0, ended = -1;
  bool done = false;
  std::string reason;
};

std::vector<Operation> ReadJournal(const std::string& path) {
  std::vector<Operation> operations;
  std::map<int, std::size_t> by_number;
  std::ifstream journal(path, std::ios::binary);
  const std::string workstation = fs::path(path).stem().string();
  for (std::string line; std::getline(journal, line);) {
    std::istringstream words(line);
    std::string word, kind;
    int n = 0;
    words >> word >> n;
    if (word == "begin") {
      Operation operation;
      operation.workstation = workstation;
      operation.n = n;
      words >> kind >> operation.doc_id >> operation.digest >> operation.began;
      operation.revise = kind == "revise";
      by_number[n] = operations.size();
      operations.push_back(operation);
    } else if (word == "end" && by_number.count(n) != 0) {
      Operation& operation = operations[by_number[n]];
      words >> kind >> operation.doc_id >> operation.ended;
      operation.done = kind == "done";
      std::getline(words, operation.reason);
    }
  }
  return operations;
}

std::int64_t Integer(const rt::Value& value) {
  const auto* integer = std::get_if<std::int64_t>(&value);
  return integer != nullptr ? *integer : 0;
}

std::string Text(const rt::Value& value) {
  const auto* text = std::get_if<std::string>(&value);
  return text != nullptr ? *text : std::string();
}

int Check(const labdocs::DocStoreApi& store, const fs::path& cache, std::int64_t cut,
          const std::vector<std::string>& journals) {
  // A store that starts to add sweeps what ended workstations left
  // pending; a file that is not there is then answered no.
  const std::string missing = rt::platform::FromNativePath((cache / "missing.bin").string());
  std::int32_t none = 0;
  std::uint8_t ok = 0;
  store.SaveLabDoc(missing.c_str(), &none, &ok);

  std::vector<Operation> operations;
  for (const std::string& journal : journals)
    for (Operation& operation : ReadJournal(journal)) operations.push_back(std::move(operation));

  const std::unique_ptr<rt::DataSession> db = rt::Connect(labdocs::labdoc::LocateDatabase(),
                                                          rt::OpenMode::OpenExisting);
  std::set<std::pair<std::int64_t, std::string>> contents;  // each finished content's document and digest
  std::set<std::string> digests;
  std::set<std::int64_t> documents, with_current;
  for (const auto& row :
       db->QueryBound("SELECT LABDOC_ID, SHA256, REPLACEDTIME IS NULL FROM DB_FILE_CONTENT WHERE PENDING = 0", {})
           .rows) {
    contents.emplace(Integer(row[0]), Text(row[1]));
    digests.insert(Text(row[1]));
    if (Integer(row[2]) != 0) with_current.insert(Integer(row[0]));
  }
  for (const auto& row : db->QueryBound("SELECT LABDOC_ID FROM DB_FILE_STORAGE", {}).rows)
    documents.insert(Integer(row[0]));
  const std::int64_t pending =
      Integer(db->QueryBound("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1", {}).rows.at(0).at(0));
  // Every finished content, the revisions replaced since among them, is
  // whole: its chunks' bytes have the digest it records.
  const std::int64_t broken =
      Integer(db->QueryBound("SELECT count(*) FROM DB_FILE_CONTENT c WHERE PENDING = 0 AND SHA256 IS DISTINCT FROM"
                             " (SELECT encode(sha256(string_agg(k.DATA, ''::bytea ORDER BY k.SEQ)), 'hex')"
                             " FROM DB_FILE_CHUNK k WHERE k.CONTENT_ID = c.CONTENT_ID)",
                             {})
                  .rows.at(0)
                  .at(0));

  int before = 0, after = 0, in_flight = 0, in_flight_done = 0, failed_after = 0, failed_before = 0;
  int unfinished = 0, found = 0, lost = 0, failed_present = 0;
  std::map<std::int64_t, std::string> last;  // each document's last content reported done
  std::set<std::string> known;
  for (const Operation& operation : operations) {
    known.insert(operation.digest);
    const std::string what = operation.workstation + " #" + std::to_string(operation.n) +
                             (operation.revise ? " revise " : " add ") + std::to_string(operation.doc_id);
    if (operation.ended < 0) {
      ++unfinished;
      std::printf("failover: %s began and never ended\n", what.c_str());
      continue;
    }
    const bool at_cut = operation.began < cut && operation.ended >= cut;
    if (at_cut) {
      ++in_flight;
      in_flight_done += operation.done ? 1 : 0;
    } else if (operation.done) {
      ++(operation.ended < cut ? before : after);
    } else {
      ++(operation.began >= cut ? failed_after : failed_before);
    }
    if (operation.done) {
      const bool there = contents.count({operation.doc_id, operation.digest}) != 0;
      ++(there ? found : lost);
      last[operation.doc_id] = operation.digest;
      if (!there) std::printf("failover: LOST: %s, reported done\n", what.c_str());
    } else if (digests.count(operation.digest) != 0) {
      ++failed_present;
      std::printf("failover: PRESENT THOUGH FAILED: %s:%s\n", what.c_str(), operation.reason.c_str());
    }
    if (at_cut)
      std::printf("failover: in flight at the cut: %s: %s%s\n", what.c_str(),
                  operation.done ? "done" : "failed:", operation.reason.c_str());
  }
  // Half there: a document without its content, a content without its
  // document, or a content that no operation stored.
  int half = 0, strangers = 0;
  for (const std::int64_t doc_id : documents) half += with_current.count(doc_id) == 0 ? 1 : 0;
  for (const auto& [doc_id, digest] : contents) {
    half += documents.count(doc_id) == 0 ? 1 : 0;
    strangers += known.count(digest) == 0 ? 1 : 0;
  }
  // Each document fetches whole, as its last revision reported done.
  int whole = 0, damaged = 0;
  std::vector<char> buffer(labdocs::kFilePathBufferSize, '\0');
  for (const auto& [doc_id, digest] : last) {
    char* path = buffer.data();
    const HRESULT status = store.GetLabDoc(static_cast<std::int32_t>(doc_id), &path, &ok);
    const bool same = status >= 0 && ok != 0 && DigestOfFile(path) == digest;
    ++(same ? whole : damaged);
    if (!same)
      std::printf("failover: document %lld does not fetch as its last revision\n", static_cast<long long>(doc_id));
  }

  std::printf("failover: operations done before the cut: %d\n", before);
  std::printf("failover: in flight at the cut: %d (reported done %d, failed %d)\n", in_flight, in_flight_done,
              in_flight - in_flight_done);
  std::printf("failover: done after the cut: %d; failed after the cut, before the standby took over: %d\n", after,
              failed_after);
  std::printf("failover: failed before the cut: %d; never ended: %d\n", failed_before, unfinished);
  std::printf("failover: found %d of %d reported done; lost: %d; failed but present: %d\n", found, found + lost, lost,
              failed_present);
  std::printf("failover: documents %zu, fetched whole %d, not as last revised %d; contents %zu, their chunks not as "
              "recorded %lld; half there %d, unknown contents %d, pending after the sweep %lld\n",
              documents.size(), whole, damaged, contents.size(), static_cast<long long>(broken), half, strangers,
              static_cast<long long>(pending));
  const bool sound = lost == 0 && failed_present == 0 && half == 0 && strangers == 0 && damaged == 0 && broken == 0 &&
                     unfinished == 0 && pending == 0 && before > 0 && after > 0;
  return sound ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string action = argc > 1 ? argv[1] : "";
  if (!(action == "work" && argc == 6) && !(action == "check" && argc >= 5)) {
    std::fprintf(stderr, "usage: labdoc_failover_workstation work <cache> <work folder> <journal> <stop file>\n"
                         "       labdoc_failover_workstation check <cache> <cut> <journal>...\n");
    return 2;
  }
  HMODULE library = LoadLibraryA(labdocs::kDocStoreLibrary);
  if (library == nullptr) return 3;
  const labdocs::DocStoreApi store = labdocs::ResolveDocStoreApi(library);
  if (!store.HasRequired()) return 4;
  const std::string cache = rt::platform::FromNativePath(argv[2]);
  std::int32_t reserved = 0;
  if (store.InitLabDoc(cache.c_str(), &reserved) < 0) return 5;
  int result = 0;
  try {
    if (action == "work") {
      result = Work(store, argv[3], argv[4], argv[5]);
    } else {
      result = Check(store, argv[2], std::stoll(argv[3]), std::vector<std::string>(argv + 4, argv + argc));
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "labdoc_failover_workstation: %s\n", error.what());
    result = 1;
  }
  store.FreeLabDoc();
  FreeLibrary(library);
  return result;
}
