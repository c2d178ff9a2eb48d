#include "console/completion.h"

#include <gtest/gtest.h>

namespace console {
namespace {

using Words = std::vector<std::string>;

TEST(CompletionTest, CompletesCommandWordsAndNodePathsOneLevelAtATime) {
  // clang-format off
  const Words paths = {u8"文档管理", u8"文档管理/文档管理明细", u8"文档管理明细", u8"文档管理/文档管理明细/2019年度",
                       u8"文档管理明细/2019年度", u8"文档管理明细/2021年度", u8"文档管理/论文", u8"论文",
                       "Reports", "Reports/2019"};
  // clang-format on
  struct Case {
    std::string line;
    std::size_t start;
    Words candidates;
    bool blank_after;
  };
  // clang-format off
  const Case cases[] = {
      {"tre", 0, {"tree"}, true},
      {"  T", 2, {"tree", "type"}, true},  // the parser takes any letter case
      {"e", 0, {"env", "exec", "expect"}, true},
      {"", 0, {"answer", "click", "close", "env", "exec", "expect", "fields", "file", "focus", "help", "key", "list",
               "menu", "open", "quit", "run", "select", "show", "sql", "tree", "type", "up"}, true},
      {"zz", 0, {}, true},
      {u8"open 文档", 5, {u8"文档管理", u8"文档管理明细"}, false},
      {u8"open  文档管理明", 6, {u8"文档管理明细"}, false},
      {u8"open 文档管理明细/", 5, {u8"文档管理明细/2019年度", u8"文档管理明细/2021年度"}, false},
      {u8"OPEN 文档管理/文档管理明细/20", 5, {u8"文档管理/文档管理明细/2019年度"}, false},
      {u8"open 论", 5, {u8"论文"}, false},
      {"open rep", 5, {"Reports"}, false},  // node names compare as the tree's do
      {"open ", 5, {"Reports", u8"文档管理", u8"文档管理明细", u8"论文"}, false},
      {u8"open \"文档", 0, {}, false},  // a quoted path is left as typed
      {u8"opened 文档", 0, {}, false},
      {u8"select 文档", 0, {}, false},  // only open's argument is a path
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const Completion completion = Complete(c.line, paths);
    EXPECT_EQ(completion.candidates, c.candidates);
    if (!c.candidates.empty()) {
      EXPECT_EQ(completion.start, c.start);
      EXPECT_EQ(completion.blank_after, c.blank_after);
    }
  }
}

TEST(CompletionTest, CommonPrefixesEndAtAWholeCharacter) {
  struct Case {
    Words texts;
    std::string prefix;
  };
  const Case cases[] = {
      {{}, ""},
      {{"exec", "expect"}, "ex"},
      {{u8"文档管理", u8"文档管理明细"}, u8"文档管理"},
      // 文 (E6 96 87) and 斉 (E6 96 89) share two bytes but no character.
      {{u8"文", u8"斉"}, ""},
      {{u8"2019年度", u8"2019年报"}, u8"2019年"},
  };
  for (const Case& c : cases) EXPECT_EQ(CommonPrefix(c.texts), c.prefix);
  EXPECT_EQ(Utf8Characters(u8"open 文档管理明细"), 11U);
}

}  // namespace
}  // namespace console
