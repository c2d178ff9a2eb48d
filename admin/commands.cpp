#include "admin/commands.h"

#include "admin/exit_codes.h"
#include "admin/filing.h"
#include "admin/progress.h"
#include "console/terminal_text.h"
#include "runtime/data/session.h"
#include "runtime/host/environment.h"
#include "runtime/platform/console.h"

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

int RunCheck(const Options& options, std::ostream& out, std::ostream& err) {
  console::Output output(out);
  output.Line(rt::StatusLine(rt::Session()));
  const Progress::Shown shown = rt::platform::StandardErrorIsTerminal() ? Progress::Shown::InPlace
                                : options.progress                      ? Progress::Shown::Lines
                                                                        : Progress::Shown::Never;
  Progress progress(err, shown);
  const CheckResult result = Check(rt::Session(), progress);
  PrintCheck(output, result);
  return result.faults.empty() ? kExitOk : kExitFaults;
}

int RunFile(const Options& options, std::ostream& out, std::ostream& err) {
  rt::HostEnvironment who = rt::DefaultEnvironment();
  if (options.user_id) who.user_id = *options.user_id;
  if (options.user_name) who.user_name = *options.user_name;
  if (options.computer_name) who.computer_name = *options.computer_name;
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

}  // namespace admin
