// The store's parts on their own: digests, plain file names, the cache
// folder's check of a copy, and files that appear only whole.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "labdoc/cache_folder.h"
#include "labdoc/sha256.h"
#include "runtime/errors.h"
#include "runtime/file_lock.h"
#include "runtime/platform/ansi_test_folder.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc {
namespace {

namespace fs = std::filesystem;

std::string DigestOf(const std::string& bytes) {
  Sha256 sha;
  sha.Update(bytes.data(), bytes.size());
  return sha.HexDigest();
}

TEST(Sha256Test, KnownDigestsWholeAndInPieces) {
  Sha256 empty;
  EXPECT_EQ(empty.HexDigest(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  Sha256 whole;
  const std::string text = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  whole.Update(text.data(), text.size());
  EXPECT_EQ(whole.HexDigest(), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  Sha256 pieces;
  for (char c : text) pieces.Update(&c, 1);
  EXPECT_EQ(pieces.HexDigest(), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_THROW(pieces.HexDigest(), rt::Exception);
  EXPECT_THROW(pieces.Update("x", 1), rt::Exception);
}

TEST(Sha256Test, TheParallelDigestEqualsTheSequentialOne) {
  // Many pieces of every size through queues of every depth, as the store
  // feeds them.
  for (const std::size_t depth : {1u, 3u}) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    Sha256 sequential;
    std::string expected, got;
    {
      ParallelSha256 parallel(4096, depth);
      for (int piece = 0; piece < 300; ++piece) {
        std::uint8_t* buffer = parallel.Next();
        const std::size_t size = 1 + static_cast<std::size_t>(piece * 37) % parallel.PieceSize();
        for (std::size_t i = 0; i < size; ++i) buffer[i] = static_cast<std::uint8_t>(piece * 131 + i);
        parallel.Submit(size);
        sequential.Update(buffer, size);  // still unchanged until the next call of Next
      }
      expected = sequential.HexDigest();
      got = parallel.HexDigest();
      // The digest is finished, so hashing one more piece fails on the
      // worker; the failure reaches the caller.
      parallel.Next();
      parallel.Submit(1);
      EXPECT_THROW(parallel.HexDigest(), rt::Exception);
    }
    EXPECT_EQ(got, expected);
  }
  ParallelSha256 unfinished(4096);  // stopped with pieces in hand
  for (int piece = 0; piece < 3; ++piece) {
    unfinished.Next();
    unfinished.Submit(4096);
  }
}

TEST(CacheFolderTest, ASeparatorIsAddedUnlessThereIsOne) {
  EXPECT_EQ(CacheFolder("C:\\cache\\").PathOf("a.doc"), "C:\\cache\\a.doc");
  EXPECT_EQ(CacheFolder("/tmp/cache/").PathOf("a.doc"), "/tmp/cache/a.doc");
  // 乗 ends in the byte of '\', but it is no separator.
  const std::string dir = CacheFolder("D:\\缓存乗").Dir();
  EXPECT_EQ(dir, std::string("D:\\缓存乗") + rt::platform::kPathDelimiter);
}

class CacheFilesTest : public ::testing::Test {
 protected:
  rt::testing::AnsiTestFolder folder_;
};

TEST_F(CacheFilesTest, HoldsContentComparesSizeAndDigest) {
  folder_.Write("乗.txt", "hello");
  const std::string hello = "2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824";
  EXPECT_TRUE(HoldsContent(folder_.Ansi("乗.txt"), 5, hello));
  EXPECT_FALSE(HoldsContent(folder_.Ansi("乗.txt"), 6, hello));
  folder_.Write("乗.txt", "jello");
  EXPECT_FALSE(HoldsContent(folder_.Ansi("乗.txt"), 5, hello));
  EXPECT_FALSE(HoldsContent(folder_.Ansi("missing.txt"), 5, hello));
  fs::create_directory(folder_.Native("dir"));
  EXPECT_FALSE(HoldsContent(folder_.Ansi("dir"), 0, hello));
}

TEST_F(CacheFilesTest, AnAtomicFileAppearsOnlyWhenPutInPlace) {
  folder_.Write("目标.doc", "old");
  std::string temporary;
  {
    AtomicFile file(folder_.Ansi("目标.doc"));
    temporary = file.TemporaryPath();
    file.Write(reinterpret_cast<const std::uint8_t*>("new content"), 11);
    EXPECT_EQ(folder_.Read("目标.doc"), "old");
    file.PutInPlace(ContentSummary{11, DigestOf("new content")});
  }
  EXPECT_EQ(folder_.Read("目标.doc"), "new content");
  EXPECT_FALSE(fs::exists(rt::platform::NativePath(temporary)));
  {
    AtomicFile abandoned(folder_.Ansi("目标.doc"));
    temporary = abandoned.TemporaryPath();
    abandoned.Write(reinterpret_cast<const std::uint8_t*>("half"), 4);
    EXPECT_TRUE(IsTemporaryName(rt::ExtractFileName(temporary)));
    // Locked while it is written, so that however old it is, no sweep
    // takes it away.
    rt::FileLock probe;
    EXPECT_EQ(probe.TryTake(temporary), rt::FileLock::Outcome::Held);
    fs::last_write_time(rt::platform::NativePath(temporary), fs::file_time_type::clock::now() - std::chrono::hours(1));
    EXPECT_EQ(RemoveAbandonedTemporaryFiles(folder_.Ansi()), 0u);
    EXPECT_TRUE(fs::exists(rt::platform::NativePath(temporary)));
  }
  EXPECT_FALSE(fs::exists(rt::platform::NativePath(temporary))) << "an abandoned file is removed";
  EXPECT_EQ(folder_.Read("目标.doc"), "new content");
  // A place that cannot be taken fails and leaves nothing behind.
  fs::create_directories(folder_.Native("占用") / "inside");
  AtomicFile blocked(folder_.Ansi("占用"));
  EXPECT_THROW(blocked.PutInPlace(ContentSummary{}), rt::Exception);
}

// A second fetch of the same content while a reader holds the first one's
// copy open: where the system will not replace an open file, the copy that
// is there already is the result.
TEST_F(CacheFilesTest, AnOpenTargetThatHoldsTheContentAlreadyIsKept) {
  folder_.Write("共享.doc", "same bytes");
  std::ifstream reader(folder_.Native("共享.doc"), std::ios::binary);
  ASSERT_TRUE(reader.is_open());
  std::string temporary;
  {
    AtomicFile file(folder_.Ansi("共享.doc"));
    temporary = file.TemporaryPath();
    file.Write(reinterpret_cast<const std::uint8_t*>("same bytes"), 10);
    file.PutInPlace(ContentSummary{10, DigestOf("same bytes")});
  }
  EXPECT_EQ(folder_.Read("共享.doc"), "same bytes");
  EXPECT_FALSE(fs::exists(rt::platform::NativePath(temporary)));
}

}  // namespace
}  // namespace labdocs::labdoc
