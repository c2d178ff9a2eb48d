// Streams for writing: a new file is made, one with bytes in it is emptied
// first, an empty one is written as it is; what was written is what the file
// holds, under a GBK name whose second byte is a backslash.
#include "runtime/platform/stream.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>

#include "runtime/platform/ansi_test_folder.h"
#include "runtime/platform/platform.h"

namespace rt::platform {
namespace {

TEST(StreamTest, WritingMakesOrEmptiesTheFileAndLeavesWhatWasWritten) {
  struct Case {
    const char* what;
    std::optional<std::string> before;  // the file's bytes before; none: no file
  };
  const Case cases[] = {
      {"a new file", std::nullopt},
      {"an empty file", std::string()},
      {"a longer file", std::string(100000, 'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const rt::testing::AnsiTestFolder folder;
    const std::string name = "副本淺.bin";  // 淺 is 9C 5C
    if (c.before) folder.Write(name, *c.before);
    std::FILE* stream = OpenStream(ToNativePath(folder.Ansi(name)), true);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(std::fwrite("new", 1, 3, stream), 3u);
    ASSERT_EQ(std::fclose(stream), 0);
    EXPECT_EQ(folder.Read(name), "new");
  }
  // A folder that is not there: no stream, and errno says why.
  const rt::testing::AnsiTestFolder folder;
  errno = 0;
  EXPECT_EQ(OpenStream(ToNativePath(folder.Ansi("没有\\x.bin")), true), nullptr);
  EXPECT_NE(errno, 0);
}

}  // namespace
}  // namespace rt::platform
