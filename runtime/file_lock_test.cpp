#include "runtime/file_lock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "runtime/platform/ansi_test_folder.h"

namespace {

using rt::FileLock;
using rt::testing::AnsiTestFolder;
using Outcome = rt::FileLock::Outcome;
namespace fs = std::filesystem;

TEST(FileLockTest, OneHolderAtATime) {
  AnsiTestFolder folder;
  const std::string path = folder.Ansi("乗.lock");
  FileLock owner;
  EXPECT_EQ(owner.TryTake(path), Outcome::Missing);
  EXPECT_EQ(owner.TryTake(folder.Ansi("无\\乗.lock")), Outcome::Missing);
  ASSERT_EQ(owner.Create(path), Outcome::Taken);
  EXPECT_TRUE(owner.Holds());

  FileLock other;
  EXPECT_EQ(other.Create(path), Outcome::Failed) << "the file exists";
  EXPECT_EQ(other.TryTake(path), Outcome::Held);
  EXPECT_FALSE(other.Holds());
  EXPECT_FALSE(other.RemoveFile()) << "only the holder removes the file";
  EXPECT_TRUE(fs::exists(folder.Native("乗.lock")));

  // Moving passes the lock on.
  FileLock moved = std::move(owner);
  EXPECT_FALSE(owner.Holds());
  EXPECT_EQ(other.TryTake(path), Outcome::Held);
  moved.Release();
  EXPECT_EQ(other.TryTake(path), Outcome::Taken);
  EXPECT_TRUE(other.RemoveFile());
  other.Release();  // Windows removes the name with the last handle
  EXPECT_FALSE(fs::exists(folder.Native("乗.lock")));
}

TEST(FileLockTest, TheContentStaysReadableAndWritableThroughOtherHandles) {
  AnsiTestFolder folder;
  FileLock writer;
  ASSERT_EQ(writer.Create(folder.Ansi("copy.tmp")), Outcome::Taken);
  {
    std::ofstream out(folder.Native("copy.tmp"), std::ios::binary | std::ios::trunc);
    out << "whole content";
  }
  EXPECT_EQ(folder.Read("copy.tmp"), "whole content");
  EXPECT_EQ(fs::file_size(folder.Native("copy.tmp")), 13u);
  // Renamed while held, it is still the holder's.
  fs::rename(folder.Native("copy.tmp"), folder.Native("final.dat"));
  FileLock other;
  EXPECT_EQ(other.TryTake(folder.Ansi("final.dat")), Outcome::Held);
}

}  // namespace
