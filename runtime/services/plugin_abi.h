// The contract between the host and a view plug-in: the three functions a
// plug-in exports, found by name. Each returns an automation status (0 when
// the call ran to its end, negative when an error escaped) and writes its
// own 32-bit result through the last argument. Texts are zero-terminated
// GBK, read only for the length of the call; data packets travel in
// VARIANTs. On 32-bit Windows the functions use the standard calling
// convention with undecorated names.
#pragma once

#include <cstdint>

#include "runtime/ole/variant.h"
#include "runtime/platform/platform.h"

namespace rt {
class TsuiPopupMenu;
}

extern "C" {
// Replaces *data by the node's rows; *result: 0 when the view ran its query.
using TInitViewData = HRESULT(WINAPI*)(const char* params, VARIANT* data, std::int32_t* result);
// Appends the commands for the menu kind (0 no row, 1 one row, 2 several
// rows) to the host's menu; *result: 0 when the menu was built, 1 when not.
using TInitRightMenu = HRESULT(WINAPI*)(const char* params, std::int32_t menu_kind, rt::TsuiPopupMenu* host_menu,
                                        std::int32_t* result);
// Runs the named command on the selected rows (a data packet passed by
// value, each row's first column its parameter text); *result: what changed
// (0 nothing, 1 nothing was done, 2 records, 3 a directory deleted, 4 a
// directory copied).
using TExecuteMenu = HRESULT(WINAPI*)(const char* params, VARIANT data, const char* menu_name, std::int32_t* result);
}

namespace rt::plugin {

inline constexpr const char* kInitViewData = "InitViewData";
inline constexpr const char* kInitRightMenu = "InitRightMenu";
inline constexpr const char* kExecuteMenu = "ExecuteMenu";

// The status an export returns when an error escaped the call.
inline constexpr HRESULT kCallFailed = E_FAIL;

// MenuStatus values.
enum MenuStatus : std::int32_t {
  kNothingChanged = 0,
  kNothingDone = 1,
  kRecordsChanged = 2,
  kDirectoryDeleted = 3,
  kDirectoryCopied = 4,
};

}  // namespace rt::plugin
