#include "admin/commands.h"

#include <filesystem>
#include <system_error>

#include "admin/backup.h"
#include "labdoc/content_chunks.h"
#include "admin/exit_codes.h"
#include "admin/filing.h"
#include "admin/progress.h"
#include "console/terminal_text.h"
#include "runtime/data/database.h"
#include "runtime/data/session.h"
#include "runtime/host/environment.h"
#include "runtime/platform/console.h"
#include "runtime/platform/platform.h"

namespace admin {

void PrintCheck(console::Output& out, const CheckResult& result) {
  out.Line("Documents: " + std::to_string(result.documents) + "; contents: " + std::to_string(result.contents) + ", " +
           SizeText(result.bytes) + " in all, of which kept revisions: " + std::to_string(result.kept_contents) +
           ", " + SizeText(result.kept_bytes));
  if (result.pending_live > 0)
    out.Line("Contents being stored by running stores (left alone): " + std::to_string(result.pending_live));
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
  output.Line(rt::StatusLine(rt::Session()));
  Progress progress(err, ProgressShown(options));
  const CheckResult result = Check(rt::Session(), progress);
  PrintCheck(output, result);
  return result.faults.empty() ? kExitOk : kExitFaults;
}

int RunFile(const Options& options, std::ostream& out, std::ostream& err) {
  rt::HostEnvironment who = rt::DefaultEnvironment();
  options.workstation.ApplyTo(who);
  try {
    const Filed filed = FileDocument(rt::Session(), options.record_id, options.directory_id, who);
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
    rt::Database* home = rt::AsSqlite(rt::Session());
    const CheckResult result = home != nullptr ? CopyHome(*home, destination, progress)
                                               : CopyIntoNewHome(rt::Session(), destination, progress);
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
  const fs::path home = std::filesystem::absolute(options.home.empty() ? fs::current_path()
                                                                       : rt::platform::Utf8Path(options.home))
                            .lexically_normal();
  std::error_code error;
  if (options.database.empty() && fs::exists(home / kDatabaseFileName, error))
    return Refused(err, "The home folder " + rt::platform::AnsiPath(home) +
                            " holds a database already: a backup is restored into a new home folder only.");
  if (!fs::is_regular_file(backup / kDatabaseFileName, error))
    return Refused(err, "The folder " + rt::platform::AnsiPath(backup) + " holds no backup (no " +
                            kDatabaseFileName + ").");
  Progress progress(err, ProgressShown(options));
  rt::Database source(rt::platform::PathUtf8(backup / kDatabaseFileName), rt::OpenMode::OpenExisting);
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
    const CheckResult result = CopyIntoServer(rt::Session(), options.server, progress);
    console::Output output(out);
    PrintCopy(output, "Moved " + rt::Session().Shown() + " into", rt::ShownSetting(options.server), result);
    output.Line("The home's database is left as it was: point the workstations at the server (--database), and "
                "keep or remove the home's files.");
    return int{kExitOk};
  });
}

}  // namespace admin
