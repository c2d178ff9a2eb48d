#include "console/script.h"

#include <gtest/gtest.h>

#include "console/verbs.h"

namespace console {
namespace {

Command Parse(std::string_view line) {
  std::optional<Command> command = ParseCommand(line, 1);
  if (!command) throw std::runtime_error("no command");
  return *command;
}

// The message of the error that a malformed line raises.
std::string ErrorOf(std::string_view line, int line_number = 7) {
  try {
    ParseCommand(line, line_number);
  } catch (const ScriptError& error) {
    EXPECT_EQ(error.Line(), line_number);
    return error.what();
  }
  return "no error";
}

TEST(ScriptTest, BlankLinesAndCommentsAreNoCommands) {
  EXPECT_FALSE(ParseCommand("", 1));
  EXPECT_FALSE(ParseCommand("   \t\r", 1));
  EXPECT_FALSE(ParseCommand("  # open 文档管理明细", 1));
}

TEST(ScriptTest, PathsItemsAndTextsBecomeGbk) {
  Command open = Parse(u8"  OPEN 文档管理明细/2019年度 \r");
  EXPECT_EQ(open.verb, Verb::Open);
  EXPECT_EQ(open.text, "文档管理明细/2019年度");
  EXPECT_EQ(open.source, u8"OPEN 文档管理明细/2019年度");

  EXPECT_EQ(Parse(u8"open 文档管理明细/2021年度 \"内审\" 资料; 待归档").text,
            "文档管理明细/2021年度 \"内审\" 资料; 待归档");
  EXPECT_EQ(Parse(u8"run 新增文档...").text, "新增文档...");
  EXPECT_EQ(Parse("exec miOpenFile").verb, Verb::Exec);
  EXPECT_EQ(Parse("sql select * from Lab_List").text, "select * from Lab_List");

  Command type = Parse(u8"type edFileName 实验 报告.doc");
  EXPECT_EQ(type.verb, Verb::Type);
  EXPECT_EQ(type.name, "edFileName");
  EXPECT_EQ(type.text, "实验 报告.doc");
  EXPECT_EQ(Parse(u8"type mmComment \"  第一行\\n\\\"第二行\\\"\\t\\\\ \"").text, "  第一行\n\"第二行\"\t\\ ");
  EXPECT_EQ(Parse("type edFileName").text, "");
  EXPECT_EQ(Parse("type edFileName \"\"").text, "");
}

TEST(ScriptTest, SelectionsKeysAnswersAndFiles) {
  Command select = Parse("select 1, 3-5,2");
  EXPECT_EQ(select.ranges, (std::vector<std::pair<int, int>>{{1, 1}, {3, 5}, {2, 2}}));
  EXPECT_TRUE(Parse("select ALL").all);
  EXPECT_TRUE(Parse("select none").none);

  Command enter = Parse("key enter");
  EXPECT_EQ(enter.key, VK_RETURN);
  EXPECT_EQ(enter.shift, 0u);
  Command back = Parse("key Shift+Tab");
  EXPECT_EQ(back.key, VK_TAB);
  EXPECT_EQ(back.shift, static_cast<rt::TShiftState>(rt::ssShift));
  EXPECT_EQ(Parse("key esc").key, VK_ESCAPE);
  Command letter = Parse("key ctrl+alt+s");
  EXPECT_EQ(letter.key, 'S');
  EXPECT_EQ(letter.shift, static_cast<rt::TShiftState>(rt::ssCtrl | rt::ssAlt));

  EXPECT_TRUE(Parse("answer yes").yes);
  EXPECT_FALSE(Parse("answer no").yes);
  EXPECT_EQ(Parse("y").verb, Verb::Answer);
  EXPECT_TRUE(Parse("YES").yes);

  EXPECT_TRUE(Parse("file cancel").cancel);
  EXPECT_TRUE(Parse("cancel").cancel);
  Command quoted = Parse("file \"cancel\"");
  EXPECT_FALSE(quoted.cancel);  // a file named cancel
  EXPECT_EQ(quoted.text, "cancel");
  EXPECT_EQ(Parse(u8"file /tmp/报告 1.txt").text, "/tmp/报告 1.txt");
  EXPECT_EQ(Parse("exit").verb, Verb::Quit);
  EXPECT_EQ(RowOf(Parse("click btnSave").verb).acts, Acts::OnForm);
  EXPECT_EQ(RowOf(Parse("menu").verb).acts, Acts::OnList);
}

TEST(ScriptTest, Expectations) {
  Command rows = Parse("expect rows 0");
  EXPECT_EQ(rows.expect, ExpectWhat::Rows);
  EXPECT_EQ(rows.number, 0);
  EXPECT_EQ(Parse("expect status 3").number, 3);
  EXPECT_EQ(Parse("expect failed").expect, ExpectWhat::Failed);
  EXPECT_EQ(Parse("expect menu miNew, miDeleteList,miCopyList").names,
            (std::vector<std::string>{"miNew", "miDeleteList", "miCopyList"}));
  EXPECT_TRUE(Parse("expect menu none").names.empty());
  Command cell = Parse(u8"expect cell 2 名称 仪器 校准 记录.csv");
  EXPECT_EQ(cell.number, 2);
  EXPECT_EQ(cell.name, "名称");
  EXPECT_EQ(cell.text, "仪器 校准 记录.csv");
  EXPECT_EQ(Parse(u8"expect cell 1 描述").text, "");
  EXPECT_EQ(Parse(u8"expect message 复制成功！").text, "复制成功！");
  EXPECT_EQ(Parse("expect text edFileName \"\"").name, "edFileName");
  EXPECT_EQ(Parse("expect hidden edFstAuthor").expect, ExpectWhat::Hidden);
  EXPECT_EQ(Parse(u8"expect filename 报告.txt").expect, ExpectWhat::FileName);
}

TEST(ScriptTest, MalformedLinesNameTheirLine) {
  EXPECT_EQ(ErrorOf("frobnicate now"), "line 7: unknown command 'frobnicate' (help lists the commands)");
  // Messages are UTF-8, as the line they quote.
  EXPECT_EQ(ErrorOf("open", 12), u8"line 12: missing the node's path, such as 文档管理明细/2019年度");
  EXPECT_EQ(ErrorOf(u8"type edX \"第一\\行\""), u8"line 7: unknown escape \\行 in a quoted text");
  EXPECT_EQ(ErrorOf(u8"key 键"), u8"line 7: unknown key '键' (enter, escape, tab, space, a letter or a digit)");
  EXPECT_EQ(ErrorOf("tree now"), "line 7: 'tree' takes no further argument: now");
  EXPECT_EQ(ErrorOf("select 0"), "line 7: a row number must be a whole number of 1 or more, not '0'");
  EXPECT_EQ(ErrorOf("select 4-2"), "line 7: the range 4-2 runs backwards");
  EXPECT_EQ(ErrorOf("select 1,,2"), "line 7: an empty row number in '1,,2'");
  EXPECT_EQ(ErrorOf("key hyper+x"), "line 7: unknown modifier 'hyper' (shift, ctrl, alt)");
  EXPECT_EQ(ErrorOf("key f13"), "line 7: unknown key 'f13' (enter, escape, tab, space, a letter or a digit)");
  EXPECT_EQ(ErrorOf("answer maybe"), "line 7: the answer must be yes or no, not 'maybe'");
  EXPECT_EQ(ErrorOf("type edX \"open"), "line 7: a quoted text has no closing quote");
  EXPECT_EQ(ErrorOf("type edX \"a\" b"), "line 7: unexpected text after the closing quote");
  EXPECT_EQ(ErrorOf("type edX \"\\q\""), "line 7: unknown escape \\q in a quoted text");
  EXPECT_EQ(ErrorOf("expect rows many"), "line 7: the number of rows must be a whole number, not 'many'");
  EXPECT_EQ(ErrorOf("expect weather sunny").rfind("line 7: unknown expectation 'weather'", 0), 0u);
  EXPECT_EQ(ErrorOf("open \xFF\xFE"), "line 7: the line is not valid UTF-8");
}

}  // namespace
}  // namespace console
