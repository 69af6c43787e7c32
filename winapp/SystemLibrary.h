// Functions of system libraries that the window needs only after it has been painted (the file
// dialogs, splitting the command line), looked up on first use. Linking them would have the
// loader map those libraries, and every library they pull in, before the window could show.
#pragma once

#include <windows.h>

#include <string>

namespace brindle::winapp {

// The function name of the system folder's library, or nullptr when it cannot be loaded. The
// library is loaded by its full path (never from the current folder) and stays loaded.
template <typename Function>
Function SystemFunction(const wchar_t* library, const char* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const HMODULE module = LoadLibraryW((std::wstring(folder, length) + L"\\" + library).c_str());
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace brindle::winapp
