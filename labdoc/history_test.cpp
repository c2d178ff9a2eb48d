// A document's history through the store's entry points, on SQLite and on
// the server: every kept content listed newest first with who stored it,
// fetched as a copy of its own that is never taken for the document's
// copy, and made current again with the replaced one kept.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "labdoc/retention.h"
#include "labdoc/testing/store_fixture.h"
#include "labdoc/version_list.h"
#include "runtime/services/environment.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc::testing {
namespace {

class HistoryTest : public StoreTest, public ::testing::WithParamInterface<rt::Engine> {
 protected:
  rt::Engine TestedEngine() const override { return GetParam(); }

  void SetUp() override {
    StoreTest::SetUp();
    mine_ = rt::Environment();
    mine_.computer_name = "PC-A";
    mine_.user_name = "张三";
    rt::SetEnvironment(mine_);
  }
  void TearDown() override {
    rt::SetEnvironment(mine_);
    StoreTest::TearDown();
  }

  // Stores as a workstation and its user.
  void As(const char* computer, const char* user) {
    rt::HostEnvironment other = mine_;
    other.computer_name = computer;
    other.user_name = user;
    rt::SetEnvironment(other);
  }

  // Stores the bytes as the document's new content, from a file of the
  // document's name outside the cache.
  void Revise(std::int32_t doc_id, const std::string& bytes) {
    std::uint8_t ok = 0;
    const std::string path = WriteSource("改稿\\规程.doc", bytes);
    EXPECT_EQ(store_.UpdateLabDoc(doc_id, path.c_str(), &ok), S_OK);
    EXPECT_EQ(ok, 1);
  }

  // The list, read as a caller reads it: first into a buffer too small,
  // then into one of the size the store asked for.
  VersionList Versions(std::int32_t doc_id) {
    char small[8];
    std::int32_t needed = -1;
    std::uint8_t ok = 0xAA;
    EXPECT_EQ(store_.ListVersionsLabDoc(doc_id, small, sizeof small, &needed, &ok), S_OK);
    EXPECT_EQ(ok, 0);
    EXPECT_GT(needed, static_cast<std::int32_t>(sizeof small));
    std::vector<char> buffer(static_cast<std::size_t>(needed), 'x');
    const HRESULT status = store_.ListVersionsLabDoc(doc_id, buffer.data(), needed, &needed, &ok);
    EXPECT_EQ(status, S_OK) << Described(status);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(buffer.back(), '\0');
    return ParseVersionList(buffer.data());
  }

  // Fetches a version; the copy's path.
  std::string GetVersion(std::int32_t doc_id, std::int64_t content_id) {
    char path[kFilePathBufferSize];
    std::uint8_t ok = 0;
    const HRESULT status = store_.GetVersionLabDoc(doc_id, content_id, path, sizeof path, &ok);
    EXPECT_EQ(status, S_OK) << Described(status);
    EXPECT_EQ(ok, 1);
    return ok == 1 ? std::string(path) : std::string();
  }

  bool Newer(std::int32_t doc_id, const std::string& path) {
    std::uint8_t newer = 0xAA;
    EXPECT_EQ(store_.CheckLabDoc(doc_id, path.c_str(), &newer), S_OK);
    return newer != 0;
  }

  rt::HostEnvironment mine_;
};

// The original and three revisions, by two workstations in turn.
const std::vector<std::string> kContents = {"原稿", "第二稿, 李四改", "第三稿, 张三改", "第四稿, 李四又改"};

TEST_P(HistoryTest, EveryContentIsListedNewestFirstWithWhoStoredIt) {
  const std::int32_t doc_id = Save(WriteSource("规程.doc", kContents[0]));
  for (std::size_t i = 1; i < kContents.size(); ++i) {
    if (i % 2 == 1) As("PC-B", "李四");
    Revise(doc_id, kContents[i]);
    rt::SetEnvironment(mine_);
  }

  // The list tells what the laboratory keeps: everything, until its
  // retention says otherwise.
  EXPECT_EQ(Versions(doc_id).kept, kKeptEverything);
  WriteRetention(test_database_->Owner(), {Retention::Kind::KeepDays, 3650});
  const VersionList list = Versions(doc_id);
  EXPECT_EQ(list.kept, "保留 3650 天内的版本");
  ASSERT_EQ(list.versions.size(), kContents.size());
  for (std::size_t i = 0; i < list.versions.size(); ++i) {
    const DocVersion& v = list.versions[i];
    const std::size_t stored = kContents.size() - 1 - i;  // newest first
    SCOPED_TRACE("version " + std::to_string(v.number));
    EXPECT_EQ(v.number, static_cast<std::int32_t>(stored + 1));
    EXPECT_EQ(v.host, stored % 2 == 1 ? "PC-B" : "PC-A");
    EXPECT_EQ(v.user, stored % 2 == 1 ? "李四" : "张三");
    EXPECT_EQ(v.size, kContents[stored].size());
    EXPECT_EQ(v.sha256, DigestOf(kContents[stored]));
    EXPECT_EQ(v.current, i == 0);
    EXPECT_EQ(v.stored_at.size(), 19u) << v.stored_at;
    if (i > 0) {
      EXPECT_LE(v.stored_at, list.versions[i - 1].stored_at);
      EXPECT_LT(v.content_id, list.versions[i - 1].content_id);
    }
  }
}

TEST_P(HistoryTest, AnOldVersionIsFetchedAsACopyOfItsOwnThatIsNeverOfferedAsEdits) {
  const std::int32_t doc_id = Save(WriteSource("规程.doc", kContents[0]));
  Revise(doc_id, kContents[1]);
  const std::string current = Fetch(doc_id);
  const VersionList list = Versions(doc_id);
  ASSERT_EQ(list.versions.size(), 2u);
  const DocVersion& first = list.versions[1];

  const std::string copy = GetVersion(doc_id, first.content_id);
  EXPECT_EQ(ReadAnsi(copy), kContents[0]);
  EXPECT_EQ(rt::ExtractFilePath(copy), cache_ + "历史版本\\");
  EXPECT_EQ(rt::ExtractFileName(copy), "规程 (版本 1, " + first.stored_at.substr(0, 10) + " " +
                                           first.stored_at.substr(11, 2) + "-" + first.stored_at.substr(14, 2) +
                                           ").doc");
  EXPECT_EQ(ReadAnsi(current), kContents[1]) << "the document's own copy stays as it was";
  EXPECT_EQ(GetVersion(doc_id, first.content_id), copy) << "a copy that holds the version is handed out again";

  // Neither the copy as fetched nor edited is the document's copy with
  // edits: it holds an old version, not what the user revises.
  EXPECT_FALSE(Newer(doc_id, copy));
  WriteSource("DocCache\\历史版本\\" + rt::ExtractFileName(copy), "在旧版本上改");
  EXPECT_FALSE(Newer(doc_id, copy));
  char notice[kNoticeBufferSize];
  std::uint8_t stored = 0xAA;
  EXPECT_EQ(store_.StoredMeanwhileLabDoc(doc_id, copy.c_str(), notice, &stored), S_OK);
  EXPECT_EQ(stored, 0);
  // The edits there are not thrown away by fetching the version again.
  char path[kFilePathBufferSize];
  std::uint8_t ok = 0xAA;
  EXPECT_EQ(store_.GetVersionLabDoc(doc_id, first.content_id, path, sizeof path, &ok), E_FAIL);
  EXPECT_EQ(ReadAnsi(copy), "在旧版本上改");
  EXPECT_FALSE(Newer(doc_id, current));
}

TEST_P(HistoryTest, ARestoredVersionIsStoredAnewAndTheReplacedOneIsKept) {
  const std::int32_t doc_id = Save(WriteSource("规程.doc", kContents[0]));
  As("PC-B", "李四");
  Revise(doc_id, kContents[1]);
  rt::SetEnvironment(mine_);
  const VersionList before = Versions(doc_id);
  ASSERT_EQ(before.versions.size(), 2u);

  As("PC-C", "王五");
  std::uint8_t ok = 0xAA;
  const HRESULT status = store_.RestoreVersionLabDoc(doc_id, before.versions[1].content_id, &ok);
  rt::SetEnvironment(mine_);
  ASSERT_EQ(status, S_OK) << Described(status);
  EXPECT_EQ(ok, 1);

  const VersionList after = Versions(doc_id);
  ASSERT_EQ(after.versions.size(), 3u);
  const DocVersion& restored = after.versions[0];
  EXPECT_TRUE(restored.current);
  EXPECT_EQ(restored.number, 3);
  EXPECT_EQ(restored.sha256, DigestOf(kContents[0]));
  EXPECT_EQ(restored.host, "PC-C");
  EXPECT_EQ(restored.user, "王五");
  EXPECT_FALSE(after.versions[1].current) << "the replaced content is kept as a revision";
  EXPECT_EQ(after.versions[1].sha256, DigestOf(kContents[1]));
  EXPECT_EQ(after.versions[1].content_id, before.versions[0].content_id);
  EXPECT_EQ(ReadAnsi(Fetch(doc_id)), kContents[0]);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_STORAGE WHERE SHA256 = '" + DigestOf(kContents[0]) + "'"), 1);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1"), 0);
  EXPECT_EQ(CacheEntries(cache_), std::vector<std::string>{u8"规程.doc"}) << "no temporary file is left";

  // The current content restored is no change.
  EXPECT_EQ(store_.RestoreVersionLabDoc(doc_id, restored.content_id, &ok), S_OK);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Versions(doc_id).versions.size(), 3u);
}

TEST_P(HistoryTest, WhatIsNoDocumentsContentAnswersNo) {
  const std::int32_t doc_id = Save(WriteSource("规程.doc", kContents[0]));
  const std::int32_t other = Save(WriteSource("另一份.doc", kContents[1]));
  const std::int64_t others_content = Versions(other).versions.at(0).content_id;
  const std::int64_t own = Versions(doc_id).versions.at(0).content_id;
  struct Case {
    const char* what;
    std::int32_t doc_id;
    std::int64_t content_id;
    std::int32_t path_size;
  };
  for (const Case& c : {Case{"no such document", doc_id + 100, own, 250},
                        Case{"another document's content", doc_id, others_content, 250},
                        Case{"no such content", doc_id, own + 1000, 250},
                        Case{"a path that does not fit", doc_id, own, static_cast<std::int32_t>(cache_.size())}}) {
    SCOPED_TRACE(c.what);
    std::vector<char> path(static_cast<std::size_t>(c.path_size), 'x');
    std::uint8_t ok = 0xAA;
    EXPECT_EQ(store_.GetVersionLabDoc(c.doc_id, c.content_id, path.data(), c.path_size, &ok), S_OK);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(path.front(), 'x') << "the buffer is written only on yes";
    if (c.path_size == 250) {
      ok = 0xAA;
      EXPECT_EQ(store_.RestoreVersionLabDoc(c.doc_id, c.content_id, &ok), S_OK);
      EXPECT_EQ(ok, 0);
    }
  }
  char buffer[64];
  std::int32_t needed = -1;
  std::uint8_t ok = 0xAA;
  EXPECT_EQ(store_.ListVersionsLabDoc(doc_id + 100, buffer, sizeof buffer, &needed, &ok), S_OK);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(needed, 0);
  EXPECT_EQ(store_.ListVersionsLabDoc(doc_id, buffer, sizeof buffer, nullptr, &ok), E_POINTER);
  EXPECT_EQ(store_.ListVersionsLabDoc(doc_id, nullptr, sizeof buffer, &needed, &ok), E_POINTER);
  EXPECT_EQ(store_.GetVersionLabDoc(doc_id, own, nullptr, 250, &ok), E_POINTER);
  EXPECT_EQ(store_.RestoreVersionLabDoc(doc_id, own, nullptr), E_POINTER);
  EXPECT_EQ(Versions(doc_id).versions.size(), 1u) << "nothing was stored";
}

TEST(VersionListText, ReadsWhatItWritesAndSkipsWhatItDoesNotKnow) {
  VersionList list;
  list.kept = "保留最近 5 个版本";
  list.versions = {{2, 17, "2026-12-08 10:15:00", "PC\tB", "李四\n", 1234, std::string(64, 'a'), true},
                   {1, 3, "2026-12-07 09:00:00", "PC-A", "张三", 0, std::string(64, 'b'), false}};
  const std::string text = FormatVersionList(list);
  const VersionList read = ParseVersionList(text + "later\tsomething\nversion\tx\t1\t\t\t\t0\t\t0\n");
  EXPECT_EQ(read.kept, list.kept);
  ASSERT_EQ(read.versions.size(), 2u) << "a record of another kind, and one whose numbers do not read, are skipped";
  EXPECT_EQ(read.versions[0].host, "PC B") << "a tab in a field becomes a blank";
  EXPECT_EQ(read.versions[0].user, "李四 ");
  EXPECT_EQ(read.versions[0].size, 1234u);
  EXPECT_TRUE(read.versions[0].current);
  EXPECT_EQ(read.versions[1].content_id, 3);
  EXPECT_FALSE(read.versions[1].current);
  EXPECT_EQ(ParseVersionList("version\t1\t2\tt\th\tu\t3\td\t0\n").kept, kKeptEverything)
      << "a list without its kept line keeps everything";
}

INSTANTIATE_TEST_SUITE_P(Engines, HistoryTest, ::testing::ValuesIn(TestedEngines()), EngineName);

}  // namespace
}  // namespace labdocs::labdoc::testing
