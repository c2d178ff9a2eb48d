// The console's verbs, one row each: the words a line names it by, how its
// arguments are read, its line in help, what it acts on, and the functions
// that carry it out in the tree and the list (the session) and on a shown
// form (the terminal presenter). The parser, help, the session, the
// presenter and the completion all read this table: a new verb is a row
// here, its name in Verb (script.h) and its handler.
//
// The parser reads the table only while it compiles (its words and
// argument kinds become its own constants), so that it does not link the
// session: the script reader's fuzzer builds it alone.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "console/command_session.h"
#include "console/script.h"
#include "console/terminal_presenter.h"

namespace console {

// How the parser reads a verb's arguments.
enum class Arguments {
  None,            // nothing follows the word
  Text,            // TEXT, not empty: text
  Control,         // one word, the control: name
  ControlAndText,  // a word, the control, then TEXT (may be empty): name, text
  Rows,            // select's: all, none or 1,3-5
  Key,             // key's: a key word with shift+, ctrl+, alt+
  Answer,          // yes or no
  File,            // a file's path, or cancel
  Expectation,     // what to expect and its arguments
};

// What a verb acts on; help lists the verbs under these headings.
enum class Acts {
  OnList,        // the tree, the list and the menu: the session
  OnForm,        // the shown form: the presenter
  OnQuestion,    // the question that waits
  OnFileDialog,  // the file dialog that waits
  Checks,        // an expectation, anywhere
};

struct VerbRow {
  Verb verb = Verb::Help;
  // The command word, in scripts in any letter case; completed at the prompt.
  std::string_view word = {};
  // Other words for the verb, blank-separated ("exit" for quit).
  std::string_view aliases = {};
  // Words that stand alone for the verb with themselves as its argument,
  // blank-separated: "yes" is "answer yes".
  std::string_view shorthands = {};
  Arguments arguments = Arguments::None;
  // The arguments as a message names them when they are missing (UTF-8).
  std::string_view argument = {};
  Acts acts = Acts::OnList;
  // Its line in help (GBK): the synopsis, padded, and the text; a synopsis
  // without a text may run over several lines ('\n'). No synopsis: no line.
  std::string_view synopsis = {};
  std::string_view help = {};
  // It runs while a form, a question or a file dialog waits (the presenter
  // hands it to the session).
  bool anywhere = false;
  // An open context menu stays open for it (it chooses from the menu or
  // checks it); any other verb closes the menu first.
  bool keeps_menu = false;
  // What it does in the tree and the list; nullptr: it acts on something
  // that waits, and there is none.
  void (CommandSession::*run)(const Command&) = nullptr;
  // What it does on a shown form (TerminalPresenter::FormAction); nullptr:
  // it does not act on a form.
  TerminalPresenter::FormAction (TerminalPresenter::*on_form)(rt::TForm&, const Command&) = nullptr;
};

struct VerbTable {
  // clang-format off
  static constexpr std::array kRows = {
      // The tree and the list.
      VerbRow{.verb = Verb::Tree, .word = "tree", .synopsis = "tree", .help = "show the view tree",
              .run = &CommandSession::ShowTree},
      VerbRow{.verb = Verb::Open, .word = "open", .arguments = Arguments::Text,
              .argument = u8"the node's path, such as 文档管理明细/2019年度", .synopsis = "open PATH",
              .help = "open a node: open 文档管理明细/2019年度 (a name may be #n, the n-th child)",
              .run = &CommandSession::OpenPath},
      VerbRow{.verb = Verb::Up, .word = "up", .synopsis = "up", .help = "open the node above", .run = &CommandSession::Up},
      VerbRow{.verb = Verb::List, .word = "list", .synopsis = "list", .help = "read the open node's rows again",
              .run = &CommandSession::List},
      VerbRow{.verb = Verb::Fields, .word = "fields", .synopsis = "fields",
              .help = "show the open node's rows with every field, also those the list hides",
              .run = &CommandSession::ShowFields},
      VerbRow{.verb = Verb::Select, .word = "select", .arguments = Arguments::Rows,
              .argument = "the rows to select (all, none, or numbers such as 1,3-5)",
              .synopsis = "select all|none|1,3-4", .help = "select rows by their numbers", .run = &CommandSession::Select,
              .on_form = &TerminalPresenter::SelectRow},
      VerbRow{.verb = Verb::Menu, .word = "menu", .synopsis = "menu",
              .help = "open the context menu for the selection (no row, one row, several rows)",
              .run = &CommandSession::ShowMenu},
      VerbRow{.verb = Verb::Run, .word = "run", .arguments = Arguments::Text,
              .argument = "the menu item (its name, caption or number)", .synopsis = "run ITEM",
              .help = "choose a menu item by name, caption or number (opens the menu when none is open)",
              .keeps_menu = true, .run = &CommandSession::RunItem},
      VerbRow{.verb = Verb::Exec, .word = "exec", .arguments = Arguments::Text, .argument = "the command name",
              .synopsis = "exec NAME", .help = "run a command by name, without the menu", .run = &CommandSession::Exec},
      VerbRow{.verb = Verb::Sql, .word = "sql", .arguments = Arguments::Text, .argument = "the query",
              .synopsis = "sql QUERY",
              .help = "show the rows of a query (read-only unless started with --allow-sql-writes)",
              .run = &CommandSession::Sql},
      VerbRow{.verb = Verb::Env, .word = "env", .synopsis = "env", .help = "show the environment the plug-in sees",
              .anywhere = true, .run = &CommandSession::ShowEnvironment},
      // README.md says what help does; help lists the others.
      VerbRow{.verb = Verb::Help, .word = "help", .anywhere = true, .keeps_menu = true, .run = &CommandSession::ShowHelp},
      VerbRow{.verb = Verb::Quit, .word = "quit", .aliases = "exit", .synopsis = "quit",
              .help = "leave (closes what is open)", .anywhere = true, .run = &CommandSession::Quit},
      // A form that is shown.
      VerbRow{.verb = Verb::Type, .word = "type", .arguments = Arguments::ControlAndText,
              .argument = "the control to type into", .acts = Acts::OnForm, .synopsis = "type CONTROL TEXT",
              .help = "type into an edit, memo or combo box (TEXT as written, or \"quoted\\n\")",
              .on_form = &TerminalPresenter::TypeInto},
      VerbRow{.verb = Verb::Key, .word = "key", .arguments = Arguments::Key,
              .argument = "a key (enter, escape, tab, space, a letter; shift+, ctrl+, alt+)", .acts = Acts::OnForm,
              .synopsis = "key KEY", .help = "enter, escape, tab, space, a letter; with shift+, ctrl+, alt+",
              .on_form = &TerminalPresenter::PressKey},
      VerbRow{.verb = Verb::Click, .word = "click", .arguments = Arguments::Control, .argument = "the control",
              .acts = Acts::OnForm, .synopsis = "click CONTROL", .help = "click a button or control",
              .on_form = &TerminalPresenter::Click},
      VerbRow{.verb = Verb::Focus, .word = "focus", .arguments = Arguments::Control, .argument = "the control",
              .acts = Acts::OnForm, .synopsis = "focus CONTROL", .help = "move the focus",
              .on_form = &TerminalPresenter::Focus},
      VerbRow{.verb = Verb::Close, .word = "close", .acts = Acts::OnForm, .synopsis = "close",
              .help = "the title bar's close button", .on_form = &TerminalPresenter::Close},
      VerbRow{.verb = Verb::Show, .word = "show", .acts = Acts::OnForm, .synopsis = "show",
              .help = "show the form again", .on_form = &TerminalPresenter::ShowForm},
      // A question or a file dialog that waits: each reads its own.
      VerbRow{.verb = Verb::Answer, .word = "answer", .shorthands = "yes no y n", .arguments = Arguments::Answer,
              .argument = "the answer (yes or no)", .acts = Acts::OnQuestion, .synopsis = "answer yes|no",
              .help = "(or yes, no)"},
      VerbRow{.verb = Verb::File, .word = "file", .shorthands = "cancel", .arguments = Arguments::File,
              .argument = "the file's path, or cancel", .acts = Acts::OnFileDialog, .synopsis = "file PATH",
              .help = "choose a file; file cancel (or cancel) cancels"},
      // Checks, anywhere (expectations.h).
      VerbRow{.verb = Verb::Expect, .word = "expect", .arguments = Arguments::Expectation,
              .argument = "what to expect", .acts = Acts::Checks,
              .synopsis = "expect rows N | status N | failed | menu A,B|none | default NAME|none | cell ROW COLUMN TEXT\n"
                          "expect node PATH | message TEXT | title TEXT | focus CONTROL | text CONTROL TEXT\n"
                          "expect visible|hidden|enabled|disabled CONTROL | filename TEXT",
              .anywhere = true, .keeps_menu = true, .run = &CommandSession::Expect,
              .on_form = &TerminalPresenter::ExpectOnForm},
  };
  // clang-format on
};

// The rows stand in the order of Verb, one each, so that a verb finds its
// row by its value.
consteval bool InVerbOrder() {
  for (std::size_t i = 0; i < VerbTable::kRows.size(); ++i)
    if (static_cast<std::size_t>(VerbTable::kRows[i].verb) != i) return false;
  return VerbTable::kRows.size() == static_cast<std::size_t>(Verb::Expect) + 1;
}
static_assert(InVerbOrder(), "the verb table has a row for each Verb, in its order");

inline const VerbRow& RowOf(Verb verb) { return VerbTable::kRows[static_cast<std::size_t>(verb)]; }

// The lines of help (GBK): each verb's under the heading of what it acts on.
std::vector<std::string> HelpLines();

// The error of a verb when the form, question or file dialog that it acts
// on is not there (GBK).
std::string NothingWaits(const VerbRow& row);

}  // namespace console
