#include "runtime/ui/dialogs.h"

#include <algorithm>

#include "runtime/text/gbk.h"
#include "runtime/ui/application.h"

namespace rt {

RT_REGISTER_COMPONENT(TOpenDialog);
RT_REGISTER_COMPONENT(TSaveDialog);

bool TFileDialog::HasOption(std::string_view option) const {
  return std::any_of(Options.begin(), Options.end(), [&](const std::string& o) { return gbk::SameText(o, option); });
}

void TFileDialog::SetProperty(std::string_view name, const PropValue& value) {
  if (gbk::SameText(name, "FileName")) FileName = PropText(name, value);
  else if (gbk::SameText(name, "Filter")) Filter = PropText(name, value);
  else if (gbk::SameText(name, "DefaultExt")) DefaultExt = PropText(name, value);
  else if (gbk::SameText(name, "Title")) Title = PropText(name, value);
  else if (gbk::SameText(name, "InitialDir")) InitialDir = PropText(name, value);
  else if (gbk::SameText(name, "Options")) Options = PropList(name, value);
  else TComponent::SetProperty(name, value);
}

bool TOpenDialog::Execute() { return Application().GetPresenter().ExecuteOpenDialog(*this); }

bool TSaveDialog::Execute() { return Application().GetPresenter().ExecuteSaveDialog(*this); }

}  // namespace rt
