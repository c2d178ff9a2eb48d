// TFrmSaveFile: the small dialog of the revision workflow that asks the user
// to save and close the document in its own program before it is stored
// back. "保存" closes it with OK, "取消" with cancel.
#pragma once

#include "runtime/ui/form.h"

namespace rt {
class TsuiForm;
class TsuiButton;
class TVexaLabel20;
}  // namespace rt

namespace labdocs {

class TFrmSaveFile : public rt::TForm {
 public:
  RT_COMPONENT_CLASS(TFrmSaveFile)
  explicit TFrmSaveFile(rt::TComponent* owner);

  // Construction (run through CreateForm): builds the dialog from its layout.
  void Create();

  rt::TsuiForm* sfrmCopyList = nullptr;
  rt::TVexaLabel20* VexaLabel201 = nullptr;
  rt::TsuiButton* BtnSave = nullptr;
  rt::TsuiButton* BtnCancel = nullptr;

 protected:
  virtual rt::Layout ClassLayout() const;
};

// The dialog while it is shown; nil otherwise.
extern TFrmSaveFile* FrmSaveFile;

// Shows a fresh TFrmSaveFile modally (owned by the application) and frees it
// afterwards. True when the user closed it with "保存" (modal result 1);
// false for "取消", the title bar's close button or any other way out.
bool ConfirmSaveToServer();

}  // namespace labdocs
