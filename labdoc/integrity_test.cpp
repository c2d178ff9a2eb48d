// Stored content is checked against its recorded size and SHA-256 digest on
// every fetch; content that does not match is never handed out. On SQLite's
// content file and on a server's bytea rows alike.
#include <gtest/gtest.h>

#include <fstream>

#include "labdoc/testing/store_fixture.h"
#include "runtime/ole/error_info.h"

namespace labdocs::labdoc::testing {
namespace {

namespace fs = std::filesystem;
using rt::Value;

class IntegrityTest : public StoreTest, public ::testing::WithParamInterface<rt::Engine> {
 protected:
  rt::Engine TestedEngine() const override { return GetParam(); }
  void SetUp() override {
    StoreTest::SetUp();
    content_ = Content(3 * (1 << 20) + 100, 7);
    doc_id_ = Save(WriteSource("数据.bin", content_));
    path_ = cache_ + "数据.bin";
  }

  std::vector<std::uint8_t> Chunk(std::int64_t seq) {
    const rt::RowSet rows = rt::CurrentDataSession().QueryBound(
        "SELECT DATA FROM DB_FILE_CHUNK WHERE CONTENT_ID = (SELECT CONTENT_ID FROM DB_FILE_CONTENT WHERE "
        "LABDOC_ID = ?) AND SEQ = ?",
        {std::int64_t{doc_id_}, seq});
    return std::get<std::vector<std::uint8_t>>(rows.rows.at(0).at(0));
  }
  void SetChunk(std::int64_t seq, const std::vector<std::uint8_t>& data) {
    rt::CurrentDataSession().ExecuteBound(
        "UPDATE DB_FILE_CHUNK SET DATA = ? WHERE CONTENT_ID = (SELECT CONTENT_ID FROM DB_FILE_CONTENT WHERE "
        "LABDOC_ID = ?) AND SEQ = ?",
        {data, std::int64_t{doc_id_}, seq});
  }

  // Fetching fails with a reason that says the content is damaged, and
  // leaves no file in the cache folder.
  void ExpectRefused() {
    std::uint8_t ok = 0xAA;
    std::string path;
    const HRESULT status = Get(doc_id_, ok, path);
    EXPECT_EQ(status, E_FAIL);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(path, "");
    const std::string reason = rt::TakeErrorInfo();
    EXPECT_NE(reason.find("损坏"), std::string::npos) << reason;
    EXPECT_NE(reason.find(std::to_string(doc_id_)), std::string::npos) << reason;
    EXPECT_EQ(CacheEntries(cache_), std::vector<std::string>{});
  }

  std::string content_;
  std::int32_t doc_id_ = 0;
  std::string path_;
};

TEST_P(IntegrityTest, AFlippedByteInAChunkIsDetected) {
  std::vector<std::uint8_t> chunk = Chunk(1);
  chunk[12345] ^= 0x20;
  SetChunk(1, chunk);
  ExpectRefused();
  std::uint8_t ok = 0xAA;
  EXPECT_EQ(store_.OpenLabDoc(doc_id_, &ok), E_FAIL);
  EXPECT_EQ(ok, 0);
}

TEST_P(IntegrityTest, MissingExtraAndShortenedChunksAreDetected) {
  const std::vector<std::uint8_t> second = Chunk(1);
  rt::CurrentDataSession().Execute("delete from DB_FILE_CHUNK where SEQ=1");
  ExpectRefused();
  rt::CurrentDataSession().ExecuteBound(
      "INSERT INTO DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) SELECT CONTENT_ID, 1, ? FROM DB_FILE_CONTENT", {second});
  EXPECT_EQ(ReadAnsi(Fetch(doc_id_)), content_) << "restored";
  ASSERT_TRUE(fs::remove(rt::platform::NativePath(path_)));

  rt::CurrentDataSession().ExecuteBound(
      "INSERT INTO DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) SELECT CONTENT_ID, 4, ? FROM DB_FILE_CONTENT", {second});
  ExpectRefused();
  rt::CurrentDataSession().Execute("delete from DB_FILE_CHUNK where SEQ=4");

  SetChunk(3, std::vector<std::uint8_t>(50, 0));
  ExpectRefused();
}

TEST_P(IntegrityTest, AChunkThatIsNoLongerBinaryIsDetected) {
  rt::CurrentDataSession().Execute("update DB_FILE_CHUNK set DATA = 'text' where SEQ = 2");
  ExpectRefused();
}

TEST_P(IntegrityTest, ARecordThatDoesNotMatchItsContentIsDetected) {
  rt::CurrentDataSession().ExecuteBound("UPDATE DB_FILE_CONTENT SET SHA256 = ?", {DigestOf("something else")});
  ExpectRefused();
  rt::CurrentDataSession().ExecuteBound("UPDATE DB_FILE_CONTENT SET SHA256 = ?, FILE_SIZE = FILE_SIZE + 1",
                                        {DigestOf(content_)});
  ExpectRefused();
  rt::CurrentDataSession().Execute("update DB_FILE_CONTENT set FILE_SIZE = FILE_SIZE - 1, SHA256 = NULL");
  ExpectRefused();
}

TEST_P(IntegrityTest, AnOutdatedCachedCopyIsNeitherHandedOutNorDestroyed) {
  const fs::path native = rt::platform::NativePath(path_);
  fs::create_directories(native.parent_path());
  { std::ofstream(native, std::ios::binary) << "the user's own edits"; }
  std::vector<std::uint8_t> chunk = Chunk(0);
  chunk[0] ^= 0xFF;
  SetChunk(0, chunk);
  std::uint8_t ok = 0xAA;
  std::string path;
  EXPECT_EQ(Get(doc_id_, ok, path), E_FAIL);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(ReadAnsi(path_), "the user's own edits");
  EXPECT_EQ(CacheEntries(cache_), std::vector<std::string>{native.filename().string()})
      << "a temporary file was left behind";
}

TEST_P(IntegrityTest, ACachedCopyMatchingTheRecordIsStillTheDocument) {
  // The copy in the cache has the recorded size and digest, so it is the
  // document's content even when the chunks were damaged afterwards.
  EXPECT_EQ(ReadAnsi(Fetch(doc_id_)), content_);
  std::vector<std::uint8_t> chunk = Chunk(2);
  chunk[7] ^= 0x01;
  SetChunk(2, chunk);
  EXPECT_EQ(ReadAnsi(Fetch(doc_id_)), content_);
}

INSTANTIATE_TEST_SUITE_P(Engines, IntegrityTest, ::testing::ValuesIn(TestedEngines()), EngineName);

}  // namespace
}  // namespace labdocs::labdoc::testing
