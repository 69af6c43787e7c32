// The window's modal conversations with the user: file dialogs, message boxes and the beep.
//
// frmMain asks for every dialog and message through this interface, so the real program shows
// the system's dialogs (Win32Prompts) while the window's tests answer them from a script before
// the action runs.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "reader/ReaderWindow.h"

namespace brindle::winapp {

class Prompts {
 public:
  virtual ~Prompts() = default;

  // An open-file dialog over owner: the chosen path (UTF-8), or nothing when cancelled. The
  // file need not exist.
  virtual std::optional<std::string> openFile(HWND owner,
                                              const reader::FileDialogRequest& request) = 0;
  // A save-file dialog over owner, without an overwrite question: the chosen path or nothing.
  virtual std::optional<std::string> saveFile(HWND owner,
                                              const reader::FileDialogRequest& request) = 0;
  // A modal box titled "Error" with the stop icon and one OK button.
  virtual void error(HWND owner, const std::string& message) = 0;
  // A modal box with the exclamation icon, the given title and one OK button.
  virtual void warning(HWND owner, const std::string& title, const std::string& message) = 0;
  // The system's default beep.
  virtual void beep() = 0;
};

}  // namespace brindle::winapp
