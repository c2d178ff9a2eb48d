#include "hostcore/plugin.h"

#include <cstdio>

#include "runtime/data/packet.h"
#include "runtime/ole/error_info.h"

namespace hostcore {
namespace {

std::string LoadFailure(const std::string& file_name, DWORD error) {
  std::string reason = error == ERROR_MOD_NOT_FOUND || error == ERROR_FILE_NOT_FOUND
                           ? "not found beside the console or on the library path"
                           : "error " + std::to_string(error);
  return "The plug-in " + file_name + " could not be loaded: " + reason;
}

}  // namespace

std::string StatusText(HRESULT status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
  return text;
}

Plugin::Plugin(std::string file_name) : file_name_(std::move(file_name)) {
  SetLastError(ERROR_SUCCESS);
  library_ = LoadLibraryA(file_name_.c_str());
  if (!library_) throw PluginError(LoadFailure(file_name_, GetLastError()));
  auto find = [this](const char* name) {
    FARPROC proc = GetProcAddress(library_, name);
    if (!proc) {
      FreeLibrary(library_);
      library_ = nullptr;
      throw PluginError("The plug-in " + file_name_ + " has no export " + name);
    }
    return proc;
  };
  init_view_data_ = rt::platform::ProcAs<TInitViewData>(find(rt::plugin::kInitViewData));
  init_right_menu_ = rt::platform::ProcAs<TInitRightMenu>(find(rt::plugin::kInitRightMenu));
  execute_menu_ = rt::platform::ProcAs<TExecuteMenu>(find(rt::plugin::kExecuteMenu));
}

Plugin::~Plugin() {
  if (library_) FreeLibrary(library_);
}

CallResult Plugin::InitViewData(const std::string& params, rt::RowSet* rows) {
  CallResult call;
  rt::TakeErrorInfo();
  rt::OleVariant data;
  call.status = init_view_data_(params.c_str(), data.Ptr(), &call.result);
  if (!call.Ok()) {
    call.error = rt::TakeErrorInfo();
    return call;
  }
  *rows = rt::VariantToPacket(data.Get());
  return call;
}

CallResult Plugin::InitRightMenu(const std::string& params, std::int32_t menu_kind, rt::TsuiPopupMenu& menu) {
  CallResult call;
  rt::TakeErrorInfo();
  call.status = init_right_menu_(params.c_str(), menu_kind, &menu, &call.result);
  if (!call.Ok()) call.error = rt::TakeErrorInfo();
  return call;
}

CallResult Plugin::ExecuteMenu(const std::string& params, const rt::RowSet& selection, const std::string& menu_name) {
  CallResult call;
  rt::TakeErrorInfo();
  rt::OleVariant data;
  rt::PacketToVariant(selection, data.Ptr());
  // The packet is passed by value: the plug-in reads it for the length of
  // the call and the host keeps owning it.
  call.status = execute_menu_(params.c_str(), data.Get(), menu_name.c_str(), &call.result);
  if (!call.Ok()) call.error = rt::TakeErrorInfo();
  return call;
}

}  // namespace hostcore
