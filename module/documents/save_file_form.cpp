#include "module/documents/save_file_form.h"

#include "runtime/services/sui_controls.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/ui/application.h"

namespace labdocs {

TFrmSaveFile* FrmSaveFile = nullptr;

TFrmSaveFile::TFrmSaveFile(rt::TComponent* owner) : rt::TForm(owner) {
  PublishField("sfrmCopyList", sfrmCopyList);
  PublishField("VexaLabel201", VexaLabel201);
  PublishField("BtnSave", BtnSave);
  PublishField("BtnCancel", BtnCancel);
}

void TFrmSaveFile::Create() { LoadLayout(ClassLayout()); }

bool ConfirmSaveToServer() {
  if (!FrmSaveFile) FrmSaveFile = rt::CreateForm<TFrmSaveFile>(&rt::Application());
  // The dialog lives for this one question, whatever ends the showing.
  struct Release {
    ~Release() {
      TFrmSaveFile* dialog = FrmSaveFile;
      FrmSaveFile = nullptr;
      if (dialog) dialog->Free();
    }
  } release;
  FrmSaveFile->ShowModal();
  return FrmSaveFile->GetModalResult() == rt::mrOk;
}

}  // namespace labdocs
