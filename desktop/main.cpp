// The desktop host: the same home folder, plug-in and browser as the
// terminal console (hostcore/home.h, hostcore/browser.h), shown in the system's
// windows. It takes the options every host takes (hostcore/start_options.h:
// --home DIR, --database, --empty, --plugin, the environment the plug-in
// sees) and starts as every host does (hostcore::StartHome); a problem before
// the main window opens is told in a message box and ends the program with
// the hosts' exit codes (hostcore/exit_codes.h). --version prints the version
// as the console does.
#include "runtime/platform/platform.h"

#include <commctrl.h>

#include <memory>
#include <optional>
#include <string>

#include "desktop/main_window.h"
#include "desktop/wide_text.h"
#include "desktop/win32_presenter.h"
#include "hostcore/browser.h"
#include "hostcore/code_page.h"
#include "hostcore/exit_codes.h"
#include "hostcore/home.h"
#include "hostcore/plugin.h"
#include "hostcore/start_options.h"
#include "labdocs/version.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/platform/console.h"
#include "runtime/ui/application.h"

namespace {

int Fail(const std::wstring& text, int code) {
  MessageBoxW(nullptr, text.c_str(), L"labdocs", MB_OK | MB_ICONERROR);
  return code;
}

// The version on standard output when the program was given one (a pipe
// or a file, as a script or a test starts it); started without, a windowed
// program has nowhere to print, and says it in a message box.
int ShowVersion() {
  const std::string line = "labdocs-desktop " + std::string(labdocs::kVersion);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) {
    MessageBoxW(nullptr, desktop::Wide(line).c_str(), L"labdocs", MB_OK | MB_ICONINFORMATION);
    return hostcore::kExitOk;
  }
  const std::string text = line + "\r\n";
  DWORD written = 0;
  return WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ? hostcore::kExitOk
                                                                                            : hostcore::kExitInternal;
}

int MessageLoop(desktop::MainWindow& window) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window.PreTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return hostcore::kExitOk;
}

int Run(const hostcore::StartOptions& options) {
  hostcore::HomeOpened opened;
  try {
    opened = hostcore::StartHome(options);
  } catch (const std::exception& error) {
    return Fail(desktop::Wide(error.what()), hostcore::kExitHome);
  }
  std::unique_ptr<hostcore::Plugin> plugin;
  try {
    plugin = std::make_unique<hostcore::Plugin>(options.plugin);
  } catch (const std::exception& error) {
    return Fail(desktop::Wide(error.what()), hostcore::kExitPlugin);
  }
  int code = hostcore::kExitOk;
  {
    std::optional<hostcore::Browser> browser;
    try {
      browser.emplace(*plugin, rt::CurrentDataSession());
    } catch (const rt::EDatabaseError& error) {
      return Fail(desktop::Wide(
                      hostcore::UnreadableDatabase(rt::CurrentDataSession().Shown(), opened.content_file, error)),
                  hostcore::kExitHome);
    }
    desktop::MainWindow window(*browser);
    desktop::Win32Presenter presenter(window.Handle());
    rt::Application().SetPresenter(&presenter);
    code = MessageLoop(window);
    rt::Application().SetPresenter(nullptr);
  }
  plugin.reset();
  rt::CloseSession();
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  hostcore::StartOptions options;
  try {
    options = hostcore::ParseStartOptions(rt::platform::CommandLineArguments(argc, argv));
  } catch (const std::exception& error) {
    return Fail(desktop::Wide(error.what()), hostcore::kExitUsage);
  }
  if (options.version) return ShowVersion();
  try {
    hostcore::RequireGbkCodePage();
    return Run(options);
  } catch (const hostcore::CodePageError& error) {
    return Fail(desktop::Wide(error.what()), hostcore::kExitCodePage);
  } catch (const std::exception& error) {
    return Fail(desktop::Wide(error.what()), hostcore::kExitInternal);
  }
}
