#include "console/verbs.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "console/completion.h"

namespace console {
namespace {

// Well-formed arguments of each kind.
std::string WellFormed(Arguments arguments) {
  switch (arguments) {
    case Arguments::None: return "";
    case Arguments::Text:
    case Arguments::Control:
    case Arguments::ControlAndText:
    case Arguments::File: return " x";
    case Arguments::Rows: return " all";
    case Arguments::Key: return " enter";
    case Arguments::Answer: return " yes";
    case Arguments::Expectation: return " failed";
  }
  return "";
}

std::string ErrorOf(const std::string& line) {
  try {
    ParseCommand(line, 1);
  } catch (const ScriptError& error) {
    return error.Message();
  }
  return "no error";
}

std::vector<std::string> Words(std::string_view list) {
  std::vector<std::string> words;
  for (std::size_t start = 0; start < list.size();) {
    const std::size_t end = std::min(list.find(' ', start), list.size());
    words.emplace_back(list.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

// The parser, help and the completion take the verbs from the table: each
// verb is read from each of its words in any letter case, names its missing
// arguments as its row says, completes from its word, and has its lines in
// help in the table's order; every line of help but the headings belongs
// to a verb.
TEST(VerbsTest, EveryVerbIsReadFromItsWordsCompletedAndListedInHelp) {
  const std::vector<std::string> help = HelpLines();
  std::size_t verb_lines = 0;
  std::ptrdiff_t last_line = -1;
  for (const VerbRow& row : VerbTable::kRows) {
    const std::string word(row.word);
    SCOPED_TRACE(word);
    std::vector<std::string> lines = Words(row.aliases);
    lines.push_back(word);
    std::string upper = word;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return static_cast<char>(c - 'a' + 'A'); });
    lines.push_back(upper);
    for (std::string& line : lines) line += WellFormed(row.arguments);
    for (const std::string& shorthand : Words(row.shorthands)) lines.push_back(shorthand);
    for (const std::string& line : lines) {
      const std::optional<Command> command = ParseCommand(line, 1);
      ASSERT_TRUE(command) << line;
      EXPECT_EQ(command->verb, row.verb) << line;
    }
    if (row.arguments == Arguments::None)
      EXPECT_EQ(ErrorOf(word + " x"), "'" + word + "' takes no further argument: x");
    else EXPECT_EQ(ErrorOf(word), "missing " + std::string(row.argument));

    const std::vector<std::string> completed = Complete(word.substr(0, 1), {}).candidates;
    EXPECT_NE(std::find(completed.begin(), completed.end(), word), completed.end());

    const auto first = std::find_if(help.begin(), help.end(),
                                    [&](const std::string& line) { return line.rfind("  " + word + " ", 0) == 0; });
    if (row.synopsis.empty()) {
      EXPECT_EQ(first, help.end());
      continue;
    }
    ASSERT_NE(first, help.end());
    // In the order of the table.
    EXPECT_GT(first - help.begin(), last_line);
    last_line = first - help.begin();
    verb_lines += static_cast<std::size_t>(std::count(row.synopsis.begin(), row.synopsis.end(), '\n')) + 1;
  }
  const auto headings = std::count_if(help.begin(), help.end(),
                                      [](const std::string& line) { return line.rfind("  ", 0) != 0; });
  EXPECT_EQ(help.size(), verb_lines + static_cast<std::size_t>(headings));
}

}  // namespace
}  // namespace console
