// What processes that ended in the middle of their work leave behind, and
// what the next start of a store removes: temporary copies in the cache
// folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "labdoc/testing/store_fixture.h"
#include "runtime/file_lock.h"

namespace labdocs::labdoc::testing {
namespace {

namespace fs = std::filesystem;
using rt::FileLock;

class LeftoversTest : public StoreTest {
 protected:
  static fs::path Native(const std::string& ansi_path) { return fs::path(rt::platform::ToNativePath(ansi_path)); }

  static void Age(const fs::path& path, int seconds) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(seconds));
  }
};

TEST_F(LeftoversTest, TemporaryFilesThatNoLiveFetchWritesGoWhenTheStoreStarts) {
  struct Case {
    const char* name;
    int age_seconds;
    bool locked;  // by a fetch that is still writing it
    bool removed;
  };
  const Case cases[] = {
      {"~labdoc-0123456789abcdef.tmp", 120, false, true},
      {"~labdoc-0123456789ABCDEF.tmp", 86400, false, true},
      {"~labdoc-1111111111111111.tmp", 5, false, false},  // its writer may not have locked it yet
      {"~labdoc-2222222222222222.tmp", 120, true, false},
      {"~labdoc-012345678.tmp", 120, false, false},
      {"~labdoc-0123456789abcdef0.tmp", 120, false, false},
      {"~labdoc-0123456789abcdeg.tmp", 120, false, false},
      {"~labdoc-0123456789abcdef.tmp.doc", 120, false, false},
      {"x~labdoc-0123456789abcdef.tmp", 120, false, false},
      {"报告.doc", 120, false, false},
  };
  std::vector<FileLock> writers;
  for (const Case& c : cases) {
    const std::string path = cache_ + c.name;
    folder_.Write(std::string("DocCache\\") + c.name, "part of a copy");
    Age(Native(path), c.age_seconds);
    if (c.locked) {
      ASSERT_EQ(writers.emplace_back().TryTake(path), FileLock::Outcome::Taken);
    }
  }
  // A folder of that name is nobody's copy.
  fs::create_directory(Native(cache_ + "~labdoc-3333333333333333.tmp"));
  Age(Native(cache_ + "~labdoc-3333333333333333.tmp"), 120);

  ASSERT_EQ(InitWith(cache_), S_OK);
  for (const Case& c : cases) EXPECT_EQ(fs::exists(Native(cache_ + c.name)), !c.removed) << c.name;
  EXPECT_TRUE(fs::is_directory(Native(cache_ + "~labdoc-3333333333333333.tmp")));
  // Once its writer has ended, a copy goes too.
  writers.clear();
  ASSERT_EQ(InitWith(cache_), S_OK);
  EXPECT_FALSE(fs::exists(Native(cache_ + "~labdoc-2222222222222222.tmp")));
}

}  // namespace
}  // namespace labdocs::labdoc::testing
