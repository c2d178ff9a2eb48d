#include "admin/options.h"

#include <charconv>
#include <string_view>

namespace admin {
namespace {

// A positive whole number given for `what`.
std::int64_t PositiveNumber(const std::string& text, const char* what) {
  std::int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || number <= 0)
    throw UsageError(std::string(what) + " must be a positive whole number, not '" + text + "'");
  return number;
}

}  // namespace

const char* UsageText() {
  return u8R"(Usage: labdocs-admin [options] check
       labdocs-admin [options] file RECORD_ID DIRECTORY_ID
       labdocs-admin [--home DIR | --database SERVER] backup DEST
       labdocs-admin [--home DIR | --database SERVER] restore BACKUP
       labdocs-admin --home DIR move-to-server SERVER
       labdocs-admin --database SERVER move-to-home DIR
       labdocs-admin [options] retention [keep-all | last N | days N]
       labdocs-admin [options] prune

Administration of the laboratory documents' database (docs/administration.md).

Commands:
  check                    reads every stored content, kept revisions too, and
                           verifies its size and SHA-256; checks that documents,
                           contents and records name each other, that nothing
                           pending was left by a store that ended, and that
                           every document is in a list; names each fault with
                           the document's directory and file name
  file RECORD_ID DIRECTORY_ID
                           files a document that no list shows (its RIS_DOC
                           record, as check names it) into a directory (its
                           Lab_List TV_ID) and stamps its audit row
  backup DEST              copies the database, as one snapshot while people
                           go on working, into the new folder DEST (a home
                           folder of its own: a home's two files, or a
                           server's database as a home's), and checks the copy
                           before it counts as made
  restore BACKUP           checks a folder made by backup and copies it into
                           the home folder, which must not hold a database
                           yet, or into the server's database (--database),
                           whose tables must be empty
  move-to-server SERVER    copies the home's whole database (documents with
                           every kept revision, directories, audit rows; keys
                           kept) into the server's empty database, and checks
                           it there; the home is left as it was
  move-to-home DIR         copies the server's whole database into a new home
                           folder DIR, and checks it there
  retention                shows how long the laboratory keeps the revisions
                           of its documents, and how many kept now it gives up
  retention keep-all | last N | days N
                           sets it: every revision (the default), the last N
                           revisions of each document, or the revisions
                           replaced in the last N days; each store then
                           applies it to its document as it replaces the
                           content (on a server only the laboratory's owner
                           may set it)
  prune                    removes the revisions that the setting gives up,
                           of every document, and gives their space back;
                           never a current content, nor the revisions of a
                           document that someone is revising

Options:
  --home DIR               the console's home folder, whose labdocs.db is
                           checked (default: the current folder; on Windows
                           the user's %LOCALAPPDATA%\labdocs); nothing is
                           made when it has none
  --database SERVER        a laboratory's PostgreSQL database instead: a
                           connection string, as the console takes it
  --progress               show check's progress on standard error even when
                           it is no terminal (on a terminal it is shown anyway)
  --user-id ID             who files: the user's id (default admin)
  --user-name NAME         the user's name (default 系统管理员)
  --computer NAME          the workstation's name (default: this machine's)
  --version                show the program's version
  -h, --help               show this text

Exit codes:
  0 all is well (check), the document was filed (file), done (the others)
  1 an unexpected error
  2 a bad command line
  3 the database could not be opened, read or written
  4 check found faults
  5 refused: file (no such record or directory, or the document is listed),
    backup, restore or a move (a folder or database in use, or a copy that
    does not pass the check), retention or prune (a login that may not)
  6 a Windows workstation whose ANSI code page is not 936
)";
}

Options ParseOptions(const std::vector<std::string>& arguments) {
  Options options;
  std::vector<std::string> words;
  hostcore::ArgumentReader argument(arguments);
  while (argument.Next()) {
    const std::string_view name = argument.Name();
    if (name == "-h" || name == "--help" || name == "--version") {
      argument.NoValue();
      Options asked;
      asked.command = name == "--version" ? Command::Version : Command::Help;
      return asked;
    } else if (name == "--progress") {
      argument.NoValue();
      options.progress = true;
    } else if (name == "--home") {
      options.home = argument.Value();
    } else if (name == "--database") {
      options.database = hostcore::ServerSetting(argument.Value());
    } else if (options.workstation.Read(argument)) {
    } else if (name.rfind("-", 0) == 0 && name.size() > 1) {
      argument.Unknown();
    } else {
      words.emplace_back(name);
    }
  }
  if (words.empty())
    throw UsageError("a command is needed: check, file, backup, restore, move-to-server, move-to-home, retention "
                     "or prune (--help)");
  if (words[0] == "check") {
    if (words.size() != 1) throw UsageError("check takes no arguments");
    options.command = Command::Check;
  } else if (words[0] == "file") {
    if (words.size() != 3)
      throw UsageError("file takes a record's ID and a directory's ID: file RECORD_ID DIRECTORY_ID");
    options.command = Command::File;
    options.record_id = PositiveNumber(words[1], "RECORD_ID");
    options.directory_id = PositiveNumber(words[2], "DIRECTORY_ID");
  } else if (words[0] == "backup" || words[0] == "restore" || words[0] == "move-to-home") {
    if (words.size() != 2 || words[1].empty())
      throw UsageError(words[0] == "backup"    ? "backup takes the new folder to copy into: backup DEST"
                       : words[0] == "restore" ? "restore takes a backup's folder: restore BACKUP"
                                               : "move-to-home takes the new home folder: move-to-home DIR");
    options.command = words[0] == "backup"    ? Command::Backup
                      : words[0] == "restore" ? Command::Restore
                                              : Command::MoveToHome;
    if (options.command == Command::MoveToHome && options.database.empty())
      throw UsageError("move-to-home copies a server's database (--database SERVER) into a new home folder");
    options.folder = words[1];
  } else if (words[0] == "move-to-server") {
    if (words.size() != 2) throw UsageError("move-to-server takes the server's database: move-to-server SERVER");
    if (!options.database.empty())
      throw UsageError("move-to-server copies a home folder's database (--home), not a server's (--database)");
    options.command = Command::MoveToServer;
    options.server = hostcore::ServerSetting(words[1], "move-to-server");
  } else if (words[0] == "retention") {
    options.command = Command::Retention;
    using Kind = labdocs::labdoc::Retention::Kind;
    const std::string rule = words.size() > 1 ? words[1] : std::string();
    if (words.size() == 2 && rule == "keep-all") {
      options.retention = labdocs::labdoc::Retention{};
    } else if (words.size() == 3 && (rule == "last" || rule == "days")) {
      options.retention = labdocs::labdoc::Retention{rule == "last" ? Kind::KeepLast : Kind::KeepDays,
                                                     PositiveNumber(words[2], "N")};
    } else if (words.size() != 1) {
      throw UsageError("retention takes nothing (to show it), or keep-all, last N or days N");
    }
  } else if (words[0] == "prune") {
    if (words.size() != 1) throw UsageError("prune takes no arguments");
    options.command = Command::Prune;
  } else {
    throw UsageError("unknown command '" + words[0] +
                     "' (check, file, backup, restore, move-to-server, move-to-home, retention or prune; --help)");
  }
  return options;
}

}  // namespace admin
