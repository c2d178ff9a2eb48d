#include "admin/commands.h"

#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

#include "admin/backup.h"
#include "labdoc/content_chunks.h"
#include "labdoc/content_storage.h"
#include "labdoc/retention.h"
#include "admin/exit_codes.h"
#include "admin/filing.h"
#include "admin/progress.h"
#include "console/terminal_text.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/session.h"
#include "runtime/services/environment.h"
#include "runtime/platform/console.h"
#include "runtime/platform/platform.h"

namespace admin {
namespace {

using labdocs::labdoc::Retention;

// The setting as the program's lines say it, with the words a person
// reads in the documents' lists.
std::string RetentionShown(const Retention& retention) {
  std::string shown;
  switch (retention.kind) {
    case Retention::Kind::KeepAll: shown = "every revision"; break;
    case Retention::Kind::KeepLast:
      shown = "the last " + std::to_string(retention.count) + " revision" + (retention.count == 1 ? "" : "s") +
              " of each document";
      break;
    case Retention::Kind::KeepDays:
      shown = "the revisions replaced in the last " + std::to_string(retention.count) + " day" +
              (retention.count == 1 ? "" : "s");
      break;
  }
  return shown + " (" + labdocs::labdoc::RetentionText(retention) + ")";
}

std::string RevisionsText(std::uint64_t contents, std::uint64_t bytes) {
  return std::to_string(contents) + (contents == 1 ? " revision, " : " revisions, ") + SizeText(bytes);
}

// The setting, and what it gives up of the revisions kept now.
void PrintRetention(console::Output& out, const Retention& retention, std::uint64_t expired_contents,
                    std::uint64_t expired_bytes) {
  out.Line("Revisions kept: " + RetentionShown(retention) + ".");
  if (expired_contents > 0)
    out.Line("The setting gives up " + RevisionsText(expired_contents, expired_bytes) +
             " kept now: labdocs-admin prune removes them (a store removes its document's when it replaces the "
             "content).");
}

// The server's refusal of a right that the login lacks.
bool LacksRight(const rt::EDatabaseError& error) {
  return std::string_view(error.what()).find("SQLSTATE 42501") != std::string_view::npos;
}

}  // namespace

void PrintCheck(console::Output& out, const CheckResult& result) {
  out.Line("Documents: " + std::to_string(result.documents) + "; contents: " + std::to_string(result.contents) + ", " +
           SizeText(result.bytes) + " in all, of which kept revisions: " + std::to_string(result.kept_contents) + ", " +
           SizeText(result.kept_bytes));
  if (result.pending_live > 0)
    out.Line("Contents being stored by running stores (left alone): " + std::to_string(result.pending_live));
  PrintRetention(out, result.retention, result.expired_contents, result.expired_bytes);
  for (const Fault& fault : result.faults)
    out.Line(fault.kind + ": " + fault.directory + " / " + fault.file_name + " (" + fault.detail + ")");
  const std::size_t faults = result.faults.size();
  out.Line(faults == 0   ? std::string("All is well: every content read whole, as recorded.")
           : faults == 1 ? std::string("1 fault found.")
                         : std::to_string(faults) + " faults found.");
}

namespace {

namespace fs = std::filesystem;

Progress::Shown ProgressShown(const Options& options) {
  return rt::platform::StandardErrorIsTerminal() ? Progress::Shown::InPlace
         : options.progress                      ? Progress::Shown::Lines
                                                 : Progress::Shown::Never;
}

int Refused(std::ostream& err, const std::string& gbk_message) {
  err << "labdocs-admin: " << console::ToTerminal(gbk_message) << std::endl;
  return kExitRefused;
}

// What a copy holds, and the documents that were being added (the only
// faults a copy that is made may have).
void PrintCopy(console::Output& out, const std::string& what, const std::string& where, const CheckResult& result) {
  out.Line(what + " " + where + ": documents: " + std::to_string(result.documents) +
           "; contents: " + std::to_string(result.contents) + ", " + SizeText(result.bytes) + " in all; " +
           (result.faults.empty() ? std::string("the copy passes the check.")
                                  : "the copy passes the check but for documents that were being added when it "
                                    "was taken, stored without their records yet:" +
                                        FaultLines(result)));
}

}  // namespace

int RunCheck(const Options& options, std::ostream& out, std::ostream& err) {
  console::Output output(out);
  output.Line(rt::StatusLine(rt::CurrentDataSession()));
  Progress progress(err, ProgressShown(options));
  const CheckResult result = Check(rt::CurrentDataSession(), progress);
  PrintCheck(output, result);
  return result.faults.empty() ? kExitOk : kExitFaults;
}

int RunFile(const Options& options, std::ostream& out, std::ostream& err) {
  rt::HostEnvironment who = rt::DefaultEnvironment();
  options.workstation.ApplyTo(who);
  try {
    const Filed filed = FileDocument(rt::CurrentDataSession(), options.record_id, options.directory_id, who);
    console::Output(out).Line("Filed " + filed.file_name + " (record " + std::to_string(options.record_id) +
                              ", document " + std::to_string(filed.labdoc_id) + ") into " + filed.directory +
                              " (directory " + std::to_string(options.directory_id) + ")" +
                              (filed.audit_row_added ? "; its audit row was added" : "; its audit row was stamped") +
                              " by " + who.user_name + " (" + who.user_id + ") at " + who.computer_name + ".");
    return kExitOk;
  } catch (const EFilingRefused& refused) {
    err << "labdocs-admin: " << console::ToTerminal(refused.what()) << std::endl;
    return kExitRefused;
  }
}

namespace {

// A copy's command, its refusals told: ECopyRefused, and a damaged content
// met while copying.
template <class Copy>
int Copying(std::ostream& err, Copy&& copy) {
  try {
    return copy();
  } catch (const ECopyRefused& refused) {
    return Refused(err, refused.what());
  } catch (const labdocs::labdoc::EDamagedContent& damage) {
    return Refused(err, "A content is damaged; nothing was copied (labdocs-admin check names every fault): " +
                            std::string(damage.what()));
  }
}

}  // namespace

int RunBackup(const Options& options, std::ostream& out, std::ostream& err) {
  const fs::path destination = std::filesystem::absolute(rt::platform::Utf8Path(options.folder)).lexically_normal();
  std::error_code error;
  const bool made = !fs::exists(destination, error);
  if (!made && !(fs::is_directory(destination, error) && fs::is_empty(destination, error)))
    return Refused(err, "The folder " + rt::platform::AnsiPath(destination) +
                            " exists and is not empty: a copy is made in a new folder.");
  Progress progress(err, ProgressShown(options));
  const int code = Copying(err, [&] {
    // A home's pair is copied as it lies, page for page; a server's
    // database becomes a home's.
    rt::sqlite::Database* home = rt::sqlite::AsSqlite(rt::CurrentDataSession());
    const CheckResult result = home != nullptr ? CopyHome(*home, destination, progress)
                                               : CopyIntoNewHome(rt::CurrentDataSession(), destination, progress);
    console::Output output(out);
    PrintCopy(output, options.command == Command::Backup ? "Backed up into" : "Moved into the home",
              rt::platform::AnsiPath(destination), result);
    return int{kExitOk};
  });
  if (code != kExitOk && made) fs::remove(destination, error);  // only when empty
  return code;
}

int RunRestore(const Options& options, std::ostream& out, std::ostream& err) {
  const fs::path backup = std::filesystem::absolute(rt::platform::Utf8Path(options.folder)).lexically_normal();
  const fs::path home = std::filesystem::absolute(options.home.empty() ? rt::platform::DefaultHomeFolder()
                                                                       : rt::platform::Utf8Path(options.home))
                            .lexically_normal();
  std::error_code error;
  if (options.database.empty() && fs::exists(home / kDatabaseFileName, error))
    return Refused(err, "The home folder " + rt::platform::AnsiPath(home) +
                            " holds a database already: a backup is restored into a new home folder only.");
  if (!fs::is_regular_file(backup / kDatabaseFileName, error))
    return Refused(err,
                   "The folder " + rt::platform::AnsiPath(backup) + " holds no backup (no " + kDatabaseFileName + ").");
  Progress progress(err, ProgressShown(options));
  rt::sqlite::Database source(rt::platform::PathUtf8(backup / kDatabaseFileName), rt::OpenMode::OpenExisting);
  source.AttachContentFile();
  const CheckResult checked = Check(source, progress);
  if (RefusingFaults(checked) > 0)
    return Refused(err, "The backup " + rt::platform::AnsiPath(backup) +
                            " does not pass the check; nothing was restored." + FaultLines(checked));
  return Copying(err, [&] {
    const bool to_server = !options.database.empty();
    const CheckResult result = to_server ? CopyIntoServer(source, options.database, progress)
                                         : CopyHome(source, home, progress);
    console::Output output(out);
    PrintCopy(output, "Restored " + rt::platform::AnsiPath(backup) + " into",
              to_server ? rt::ShownSetting(options.database) : rt::platform::AnsiPath(home), result);
    return int{kExitOk};
  });
}

int RunMoveToServer(const Options& options, std::ostream& out, std::ostream& err) {
  Progress progress(err, ProgressShown(options));
  return Copying(err, [&] {
    const CheckResult result = CopyIntoServer(rt::CurrentDataSession(), options.server, progress);
    console::Output output(out);
    PrintCopy(output, "Moved " + rt::CurrentDataSession().Shown() + " into", rt::ShownSetting(options.server), result);
    output.Line("The home's database is left as it was: point the workstations at the server (--database), and "
                "keep or remove the home's files.");
    return int{kExitOk};
  });
}

int RunRetention(const Options& options, std::ostream& out, std::ostream& err) {
  rt::DataSession& db = rt::CurrentDataSession();
  if (options.retention) {
    try {
      labdocs::labdoc::WriteRetention(db, *options.retention);
    } catch (const rt::EDatabaseError& error) {
      if (!LacksRight(error)) throw;
      return Refused(err, "This login may not change the retention of revisions: only the laboratory's owner may "
                          "(docs/database.md). Nothing was changed.");
    }
  }
  const std::unique_ptr<labdocs::labdoc::ContentStorage> storage = labdocs::labdoc::MakeContentStorage(db);
  rt::Transaction read(db, rt::Transaction::Kind::Deferred);
  const Retention retention = labdocs::labdoc::ReadRetention(db);
  std::uint64_t contents = 0, bytes = 0;
  for (const labdocs::labdoc::ExpiredRevision& expired :
       labdocs::labdoc::ExpiredRevisions(*storage, retention, std::nullopt)) {
    ++contents;
    bytes += expired.size;
  }
  read.Commit();
  console::Output output(out);
  PrintRetention(output, retention, contents, bytes);
  return kExitOk;
}

int RunPrune(const Options&, std::ostream& out, std::ostream& err) {
  rt::DataSession& db = rt::CurrentDataSession();
  const std::unique_ptr<labdocs::labdoc::ContentStorage> storage = labdocs::labdoc::MakeContentStorage(db);
  labdocs::labdoc::Pruned pruned;
  try {
    // An administrator's explicit request: a database made before
    // incremental vacuuming is switched to it, rewriting the file once.
    pruned = labdocs::labdoc::PruneRevisions(*storage, std::nullopt, {}, labdocs::labdoc::OldFile::Switch);
  } catch (const rt::EDatabaseError& error) {
    if (!LacksRight(error)) throw;
    return Refused(err, "This login may not remove revisions: it may only read. Nothing was removed.");
  }
  console::Output output(out);
  output.Line("Revisions kept: " + RetentionShown(labdocs::labdoc::ReadRetention(db)) + ".");
  output.Line("Removed " + RevisionsText(pruned.contents, pruned.bytes) + "; their space is given back.");
  return kExitOk;
}

}  // namespace admin
