// brindle: the window.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "winapp/Application.h"
#include "winapp/Win32Prompts.h"

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
  return application.Run();
}
