// A document's history: the contents it has had that the store keeps,
// listed, fetched as copies of their own, and made current again.
#include <algorithm>

#include "labdoc/content_rows.h"
#include "labdoc/content_storage.h"
#include "labdoc/document_store.h"
#include "labdoc/local_file.h"
#include "labdoc/pending_content.h"
#include "labdoc/retention.h"
#include "runtime/sysutils.h"
#include "runtime/text/file_name.h"

namespace labdocs::labdoc {
namespace {

std::string TextOf(const rt::Value& value) {
  const auto* text = std::get_if<std::string>(&value);
  return text != nullptr ? *text : std::string();
}

// What the store keeps of every document's contents, as the history tells
// it: the laboratory's retention of revisions.
std::string KeptText(rt::DataSession& db) { return DescribeRetention(db); }

// "<stem> (版本 <n>, YYYY-MM-DD HH-MM)<ext>" of the document's file name:
// a name no current copy has, that tells a person which version it holds.
std::string VersionFileName(const std::string& file_name, std::size_t number, const rt::Value& stored_time) {
  const std::string safe = rt::SafeFileName(file_name);
  const std::string ext = rt::ExtractFileExt(safe);
  std::string minute = When(stored_time).substr(0, 16);
  std::replace(minute.begin(), minute.end(), ':', '-');
  return rt::SafeFileName(safe.substr(0, safe.size() - ext.size()) + " (版本 " + std::to_string(number) + ", " +
                          minute + ")" + ext);
}

}  // namespace

std::optional<VersionList> DocumentStore::Versions(std::int32_t doc_id) {
  rt::DataSession& db = link_.Get().Session();
  rt::Transaction snapshot(db, rt::Transaction::Kind::Deferred);
  if (!DocumentExists(db, doc_id)) return std::nullopt;
  const std::vector<StoredContent> contents = ListContents(db, doc_id);
  VersionList list;
  list.kept = KeptText(db);
  snapshot.Commit();
  for (std::size_t i = contents.size(); i-- > 0;) {
    const StoredContent& c = contents[i];
    list.versions.push_back({static_cast<std::int32_t>(i + 1), c.content_id, When(c.stored_time), TextOf(c.stored_host),
                             TextOf(c.stored_user), c.summary.size, c.summary.sha256, c.current});
  }
  return list;
}

std::optional<std::string> DocumentStore::FetchVersion(std::int32_t doc_id, std::int64_t content_id,
                                                       std::size_t max_path_length) {
  ContentStorage& storage = link_.Get();
  rt::DataSession& db = storage.Session();
  rt::Transaction snapshot(db, rt::Transaction::Kind::Deferred);
  storage.BeginContentRead();
  const std::vector<StoredContent> contents = ListContents(db, doc_id);
  const auto it = std::find_if(contents.begin(), contents.end(),
                               [&](const StoredContent& c) { return c.content_id == content_id; });
  if (it == contents.end()) return std::nullopt;
  const std::string name = std::string(kVersionsFolder) +
                           VersionFileName(it->file_name, static_cast<std::size_t>(it - contents.begin()) + 1,
                                           it->stored_time);
  if (cache_.PathOf(name).size() > max_path_length) return std::nullopt;
  return PlaceCopy(storage, snapshot, doc_id, *it, name);
}

bool DocumentStore::Restore(std::int32_t doc_id, std::int64_t content_id) {
  ContentStorage& storage = link_.Get();
  rt::DataSession& db = storage.Session();
  std::optional<StoredContent> restored;
  std::optional<AtomicFile> bytes;
  {
    rt::Transaction snapshot(db, rt::Transaction::Kind::Deferred);
    storage.BeginContentRead();
    for (StoredContent& c : ListContents(db, doc_id))
      if (c.content_id == content_id) restored = std::move(c);
    if (!restored) return false;
    if (restored->current) {
      snapshot.Commit();
      return true;
    }
    // The bytes go through a temporary file of the cache folder: they are
    // read in this snapshot, and stored in transactions of their own.
    if (!rt::ForceDirectories(cache_.Dir())) throw rt::Exception("无法创建文档缓存目录 " + cache_.Dir());
    bytes.emplace(cache_.PathOf("restore"));
    storage.ReadChunks(restored->content_id, restored->summary, Document(doc_id),
                       [&](const std::uint8_t* data, std::size_t size) { bytes->Write(data, size); });
    snapshot.Commit();
  }
  InputFile source(bytes->CloseToReadBack());
  SweepBeforeStoring(storage);
  PendingContent content(storage, doc_id, restored->source_name);
  content.Write(source);
  rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
  if (!DocumentExists(db, doc_id)) return false;  // deleted meanwhile: the content goes
  // Whichever content is current now is replaced, and kept: nothing is lost.
  content.Finish(doc_id, transaction);
  return true;
}

}  // namespace labdocs::labdoc
