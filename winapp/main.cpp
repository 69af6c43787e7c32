// brindle: the window.
#include <windows.h>

#include <commctrl.h>

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
  // For measuring the start-up time: end as soon as the window has been painted once.
  if (std::getenv("BRINDLE_EXIT_AFTER_SHOW") != nullptr) return 0;
  return application.Run();
}
