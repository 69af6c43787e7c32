// brindle: the window.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "winapp/Application.h"
#include "winapp/SystemLibrary.h"
#include "winapp/Text.h"
#include "winapp/Win32Prompts.h"

namespace {

// The disc image the window is started with: the one argument after the program's name, as
// Explorer's "Open with" and a file dropped on the program give it, made absolute the way the
// open dialog gives paths. Empty when there is none.
std::wstring ImageToOpen() {
  using SplitCommandLine = LPWSTR*(WINAPI*)(LPCWSTR, int*);
  const auto split =
      brindle::winapp::SystemFunction<SplitCommandLine>(L"shell32.dll", "CommandLineToArgvW");
  if (split == nullptr) return {};
  int count = 0;
  LPWSTR* arguments = split(GetCommandLineW(), &count);
  if (arguments == nullptr) return {};
  std::wstring path;
  if (count >= 2 && arguments[1][0] != L'\0') {
    const DWORD length = GetFullPathNameW(arguments[1], 0, nullptr, nullptr);
    if (length > 0) {
      path.resize(length);
      const DWORD written = GetFullPathNameW(arguments[1], length, path.data(), nullptr);
      path.resize(written < length ? written : 0);
    }
    if (path.empty()) path = arguments[1];
  }
  LocalFree(arguments);
  return path;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Libraries come from the program's folder and the system's, never the current folder.
  SetDllDirectoryW(L"");
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  brindle::winapp::Win32Prompts prompts;
  brindle::winapp::Application application(prompts);
  application.window().show();
  // For measuring the start-up time: end as soon as the window has been painted once, and say
  // on standard error how long that took since the process was created.
  if (std::getenv("BRINDLE_EXIT_AFTER_SHOW") != nullptr) {
    FILETIME created, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& time) {
      return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    std::fprintf(stderr, "shown after %.3f s\n",
                 static_cast<double>(ticks(now) - ticks(created)) / 1e7);
    return 0;
  }
  if (const std::wstring image = ImageToOpen(); !image.empty()) {
    application.window().OpenImageAt(brindle::winapp::ToUtf8(image));
  }
  return application.Run();
}
