// The desktop host: the same home folder, plug-in and browser as the
// terminal console (host/home.h, host/browser.h), shown in the system's
// windows. It takes the options every host takes (host/start_options.h:
// --home DIR, --database, --empty, --plugin, the environment the plug-in
// sees) and starts as every host does (host::StartHome); a problem before
// the main window opens is told in a message box and ends the program with
// the hosts' exit codes (host/exit_codes.h). --version prints the version
// as the console does.
#include "runtime/platform/platform.h"

#include <commctrl.h>

#include <memory>
#include <optional>
#include <string>

#include "desktop/main_window.h"
#include "desktop/wide_text.h"
#include "desktop/win32_presenter.h"
#include "host/browser.h"
#include "host/code_page.h"
#include "host/exit_codes.h"
#include "host/home.h"
#include "host/plugin.h"
#include "host/start_options.h"
#include "labdocs/version.h"
#include "runtime/data/database.h"
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
    return host::kExitOk;
  }
  const std::string text = line + "\r\n";
  DWORD written = 0;
  return WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ? host::kExitOk
                                                                                             : host::kExitInternal;
}

int MessageLoop(desktop::MainWindow& window) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window.PreTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return host::kExitOk;
}

int Run(const host::StartOptions& options) {
  host::HomeOpened opened;
  try {
    opened = host::StartHome(options);
  } catch (const std::exception& error) {
    return Fail(desktop::Wide(error.what()), host::kExitHome);
  }
  std::unique_ptr<host::Plugin> plugin;
  try {
    plugin = std::make_unique<host::Plugin>(options.plugin);
  } catch (const std::exception& error) {
    return Fail(desktop::Wide(error.what()), host::kExitPlugin);
  }
  int code = host::kExitOk;
  {
    std::optional<host::Browser> browser;
    try {
      browser.emplace(*plugin, rt::Session());
    } catch (const rt::EDatabaseError& error) {
      return Fail(desktop::Wide(host::UnreadableDatabase(rt::Session().Shown(), opened.content_file, error)),
                  host::kExitHome);
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
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  host::StartOptions options;
  try {
    options = host::ParseStartOptions(rt::platform::CommandLineArguments(argc, argv));
  } catch (const std::exception& error) {
    return Fail(desktop::Wide(error.what()), host::kExitUsage);
  }
  if (options.version) return ShowVersion();
  try {
    host::RequireGbkCodePage();
    return Run(options);
  } catch (const host::CodePageError& error) {
    return Fail(desktop::Wide(error.what()), host::kExitCodePage);
  } catch (const std::exception& error) {
    return Fail(desktop::Wide(error.what()), host::kExitInternal);
  }
}
