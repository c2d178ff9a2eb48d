#include "console/verbs.h"

#include <algorithm>

namespace console {
namespace {

std::string_view Heading(Acts acts) {
  switch (acts) {
    case Acts::OnList: return "The tree and the list:";
    case Acts::OnForm: return "In a form:";
    case Acts::OnQuestion:
    case Acts::OnFileDialog: return "Questions and file dialogs:";
    case Acts::Checks: return "Checks (a script stops at the first one that fails):";
  }
  return {};
}

// Where the texts after the synopses start.
constexpr std::size_t kTextColumn = 24;

}  // namespace

std::vector<std::string> HelpLines() {
  std::vector<std::string> lines;
  std::string_view heading;
  for (const VerbRow& row : VerbTable::kRows) {
    if (row.synopsis.empty()) continue;
    if (Heading(row.acts) != heading) lines.emplace_back(heading = Heading(row.acts));
    if (!row.help.empty()) {
      std::string line = "  " + std::string(row.synopsis);
      line.resize(std::max(line.size() + 1, kTextColumn), ' ');
      lines.push_back(line + std::string(row.help));
      continue;
    }
    for (std::string_view rest = row.synopsis; !rest.empty();) {
      const std::size_t end = rest.find('\n');
      lines.push_back("  " + std::string(rest.substr(0, end)));
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
  }
  return lines;
}

std::string NothingWaits(const VerbRow& row) {
  switch (row.acts) {
    case Acts::OnQuestion: return "No question is waiting for an answer";
    case Acts::OnFileDialog: return "No file dialog is open";
    default: return "No form is shown: " + std::string(row.word) + " acts on a form";
  }
}

}  // namespace console
