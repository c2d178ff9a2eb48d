// The plug-in's boundary: the three functions the host calls. Each call
// builds a fresh documents view from the host's parameter text, asks it one
// thing and frees it, on every path. No exception leaves a function: an
// escaping error becomes a failure status, its reason left in the error info.
#include <string>

#include "module/documents/main_form.h"
#include "runtime/data/client_dataset.h"
#include "runtime/ole/error_info.h"
#include "runtime/services/plugin_abi.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/ui/application.h"

// The export list (a version script, or a module definition file on
// Windows) makes these three the library's only exported names.
#define LABDOCS_EXPORT extern "C"

namespace labdocs {
namespace {

// The form of one call: made by the constructor, freed by the destructor,
// and known as frmMain meanwhile.
class CallForm {
 public:
  explicit CallForm(const std::string& params) { frmMain = rt::CreateForm<TfrmMain>(&rt::Application(), params); }
  ~CallForm() {
    TfrmMain* form = frmMain;
    frmMain = nullptr;
    form->Free();
  }
  CallForm(const CallForm&) = delete;
  CallForm& operator=(const CallForm&) = delete;
  TfrmMain* operator->() const { return frmMain; }
};

// Runs one call: the result is 1 until the work stores its own; an error
// that escapes gives the failure status.
template <class Work>
HRESULT Call(std::int32_t* result, Work&& work) noexcept {
  if (!result) return E_POINTER;
  *result = 1;
  try {
    work();
    return S_OK;
  } catch (const std::exception& e) {
    try {
      rt::SetErrorInfo(e.what());
    } catch (...) {
    }
  } catch (...) {
  }
  return rt::plugin::kCallFailed;
}

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace
}  // namespace labdocs

LABDOCS_EXPORT HRESULT WINAPI InitViewData(const char* params, VARIANT* data, std::int32_t* result) {
  using namespace labdocs;
  return Call(result, [&] {
    if (!data) throw rt::Exception("No variant to receive the data");
    CallForm form(Text(params));
    *result = form->InitViewData(data);
  });
}

LABDOCS_EXPORT HRESULT WINAPI InitRightMenu(const char* params, std::int32_t menu_kind, rt::TsuiPopupMenu* host_menu,
                                            std::int32_t* result) {
  using namespace labdocs;
  return Call(result, [&] {
    CallForm form(Text(params));
    *result = form->BuildRightMenu(menu_kind, host_menu);
  });
}

LABDOCS_EXPORT HRESULT WINAPI ExecuteMenu(const char* params, VARIANT data, const char* menu_name,
                                          std::int32_t* result) {
  using namespace labdocs;
  return Call(result, [&] {
    // The caller's variant is held for the length of the call.
    rt::OleVariant selection(data);
    const std::string name = Text(menu_name);
    CallForm form(Text(params));
    form->cdsParams->SetData(selection.Get());
    *result = form->ExecuteMenuItem(name);
  });
}
