// The standard open and save file dialogs. Execute hands the dialog to the
// presenter, which asks the user; on true FileName holds the choice.
#pragma once

#include <string>
#include <vector>

#include "runtime/ui/component.h"

namespace rt {

class TFileDialog : public TComponent {
 public:
  using TComponent::TComponent;

  std::string FileName;    // GBK path; the proposed name before, the choice after
  std::string Filter;      // "label|pattern|label|pattern..."
  std::string DefaultExt;  // appended when the chosen name has no extension
  std::string Title;
  std::string InitialDir;
  std::vector<std::string> Options;  // e.g. "ofOverwritePrompt", "ofFileMustExist"

  bool HasOption(std::string_view option) const;
  virtual bool Execute() = 0;
  void SetProperty(std::string_view name, const PropValue& value) override;
};

class TOpenDialog : public TFileDialog {
 public:
  RT_COMPONENT_CLASS(TOpenDialog)
  using TFileDialog::TFileDialog;
  bool Execute() override;
};

class TSaveDialog : public TFileDialog {
 public:
  RT_COMPONENT_CLASS(TSaveDialog)
  using TFileDialog::TFileDialog;
  bool Execute() override;
};

}  // namespace rt
