// A view plug-in as the host holds it: the shared library loaded by file
// name at start, its three exported functions found by name, and calls that
// report the automation status, the plug-in's own result and the error
// description that a failing call left behind.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/data/value.h"
#include "runtime/errors.h"
#include "runtime/services/plugin_abi.h"

namespace rt {
class TsuiPopupMenu;
}

namespace hostcore {

// The plug-in or one of its exports is missing.
class PluginError : public rt::Exception {
 public:
  using rt::Exception::Exception;
};

struct CallResult {
  HRESULT status = S_OK;
  std::int32_t result = 1;
  std::string error;  // the failing call's description (GBK), when it left one
  // A command's: whether a form of it closed with OK (the person confirmed
  // what it showed), whatever the call returned.
  bool confirmed = false;

  bool Ok() const { return SUCCEEDED(status); }
};

class Plugin {
 public:
  // Loads the library with LoadLibraryA ("labdocs.dll" finds labdocs.so
  // elsewhere) and finds the three exports. Raises PluginError naming the
  // library or the missing export.
  explicit Plugin(std::string file_name);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  const std::string& FileName() const { return file_name_; }

  // The node's rows. On success *rows receives the returned data packet;
  // a packet that cannot be read raises rt::EPacketError.
  CallResult InitViewData(const std::string& params, rt::RowSet* rows);
  CallResult InitRightMenu(const std::string& params, std::int32_t menu_kind, rt::TsuiPopupMenu& menu);
  // Runs a command on the selected rows (first column: each row's
  // parameter text).
  CallResult ExecuteMenu(const std::string& params, const rt::RowSet& selection, const std::string& menu_name);

 private:
  std::string file_name_;
  HMODULE library_ = nullptr;
  TInitViewData init_view_data_ = nullptr;
  TInitRightMenu init_right_menu_ = nullptr;
  TExecuteMenu execute_menu_ = nullptr;
};

// A status as the console shows it: "0x80004005".
std::string StatusText(HRESULT status);

}  // namespace hostcore
