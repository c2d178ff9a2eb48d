#include "console/form_view.h"

#include <cstdio>
#include <map>

#include "console/exit_codes.h"
#include "console/grid.h"
#include "console/terminal_text.h"
#include "hostcore/form_title.h"
#include "runtime/ui/form.h"
#include "runtime/ui/stdctrls.h"

namespace console {
namespace {

std::string KindOf(const rt::TWinControl& control) {
  if (dynamic_cast<const rt::TMemo*>(&control)) return "memo";
  if (dynamic_cast<const rt::TEdit*>(&control)) return "edit";
  if (dynamic_cast<const rt::TComboBox*>(&control)) return "combo";
  if (dynamic_cast<const rt::TListView*>(&control)) return "list";
  if (dynamic_cast<const rt::TButton*>(&control)) return "button";
  return "";
}

bool HoldsValue(const std::string& kind) { return kind == "edit" || kind == "memo" || kind == "combo"; }

// Labels that show, in the order the form holds them.
std::vector<rt::TLabel*> ShowingLabels(rt::TForm& form) {
  std::vector<rt::TLabel*> labels;
  for (int i = 0; i < form.ComponentCount(); ++i)
    if (auto* label = dynamic_cast<rt::TLabel*>(form.Components(i));
        label && label->Showing() && !label->Caption().empty())
      labels.push_back(label);
  return labels;
}

// How far a label stands before a control on the same line; negative when
// it does not stand before it.
int Distance(const rt::TLabel& label, const rt::TWinControl& control) {
  if (label.Parent() != control.Parent()) return -1;
  const bool same_line = label.Top() < control.Top() + control.Height() && control.Top() < label.Top() + label.Height();
  const int gap = control.Left() - (label.Left() + label.Width());
  if (!same_line || gap < -4) return -1;
  return gap < 0 ? 0 : gap;
}

}  // namespace

std::vector<FormControl> FormControls(rt::TForm& form) {
  std::vector<rt::TWinControl*> tab_list;
  form.GetTabOrderList(tab_list);
  std::vector<FormControl> controls;
  for (rt::TWinControl* control : tab_list) {
    const std::string kind = KindOf(*control);
    if (kind.empty() || !control->Showing()) continue;
    controls.push_back({control, kind, {}});
  }
  // Each label goes to the nearest control it stands before.
  std::map<std::size_t, int> best_distance;
  for (rt::TLabel* label : ShowingLabels(form)) {
    int best = -1;
    std::size_t best_index = 0;
    for (std::size_t i = 0; i < controls.size(); ++i) {
      const int distance = Distance(*label, *controls[i].control);
      if (distance >= 0 && (best < 0 || distance < best)) {
        best = distance;
        best_index = i;
      }
    }
    if (best < 0) continue;
    auto it = best_distance.find(best_index);
    if (it == best_distance.end() || best < it->second) {
      best_distance[best_index] = best;
      controls[best_index].label = label->Caption();
      controls[best_index].label_control = label;
    }
  }
  return controls;
}

rt::TControl& ControlNamed(rt::TForm& form, const std::string& name) {
  auto* control = dynamic_cast<rt::TControl*>(form.FindComponent(name));
  if (!control) throw CommandError("The form " + hostcore::FormTitle(form) + " has no control " + name);
  return *control;
}

rt::TListView& FormList(rt::TForm& form) {
  rt::TListView* found = nullptr;
  for (const FormControl& item : FormControls(form)) {
    auto* list = dynamic_cast<rt::TListView*>(item.control);
    if (!list) continue;
    if (found) throw CommandError("The form " + hostcore::FormTitle(form) + " shows more than one list");
    found = list;
  }
  if (!found) throw CommandError("The form " + hostcore::FormTitle(form) + " shows no list");
  return *found;
}

std::string QuoteText(std::string_view gbk) {
  std::string quoted = "\"";
  for (char c : ToTerminal(gbk)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"') quoted += "\\\"";
    else if (c == '\\') quoted += "\\\\";
    else if (c == '\n') quoted += "\\n";
    else if (c == '\r') quoted += "\\r";
    else if (c == '\t') quoted += "\\t";
    else if (byte < 32 || byte == 127) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::vector<std::string> RenderForm(rt::TForm& form) {
  std::vector<std::string> lines{"form: " + ToTerminal(OneLine(hostcore::FormTitle(form)))};
  const std::vector<FormControl> controls = FormControls(form);
  for (rt::TLabel* label : ShowingLabels(form)) {
    bool attached = false;
    for (const FormControl& control : controls) attached = attached || control.label_control == label;
    if (!attached) lines.push_back("  text: " + ToTerminal(OneLine(label->Caption())));
  }
  for (const FormControl& item : controls) {
    rt::TWinControl& control = *item.control;
    std::string line = control.Focused() ? "* " : "  ";
    line += ToTerminal(control.Name()) + " [" + item.kind + (control.Enabled() ? "" : ", disabled") + "]";
    if (!item.label.empty()) line += " " + ToTerminal(OneLine(item.label));
    line += ": ";
    const auto* list = dynamic_cast<const rt::TListView*>(&control);
    if (HoldsValue(item.kind)) line += QuoteText(control.Text());
    else if (list)
      line += std::to_string(list->Rows().rows.size()) + " rows" +
              (list->ItemIndex() < 0 ? ", none selected"
                                     : ", row " + std::to_string(list->ItemIndex() + 1) + " selected");
    else line += ToTerminal(OneLine(control.Caption()));
    if (const auto* combo = dynamic_cast<const rt::TComboBox*>(&control); combo && combo->Items().Count() > 0) {
      std::string choices;
      for (const std::string& choice : combo->Items().Items())
        choices += (choices.empty() ? "" : " | ") + ToTerminal(OneLine(choice));
      line += " (" + choices + ")";
    }
    lines.push_back(line);
    if (list) {
      std::vector<bool> selected(list->Rows().rows.size(), false);
      if (list->ItemIndex() >= 0) selected[static_cast<std::size_t>(list->ItemIndex())] = true;
      for (const std::string& row : RenderGrid(list->Rows(), hostcore::AllColumns(list->Rows()), selected))
        lines.push_back("    " + row);
    }
  }
  return lines;
}

}  // namespace console
